#!/usr/bin/env python3
"""Writes the example data sets from the program's own model, so that the true
mutation location and age are known.

    examples/generate.py MUTLOC_BINARY

The VCF example (examples/vcf/) also needs bgzip and tabix (Debian: tabix).

A parameter file with "Run simulation" 1 makes mutloc draw a genealogy below
the given mutation age and let the marker alleles descend along it from the
ancestral haplotype, with crossovers around the given location; the leaf
haplotypes of that genealogy are written to its ".hap" file. The examples are
built from those haplotypes and from control chromosomes drawn here.
"""
import bisect
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MARKERS = 15
MAP = [round(0.02 * k / (MARKERS - 1), 6) for k in range(MARKERS)]  # 2 cM, in Morgans
TRUE_LOCATION = 0.0123
GROWTH = 0.05
SAMPLED = 0.01
AGE_BOUNDS = (1, 300)


def prior_age(u, n):
    """The mutation age at probability u of its prior for n chromosomes within
    AGE_BOUNDS: the largest of n node times, whose distribution function is
    F(T)^n with F(T) = K (1 - e) / (K - (K - 2r) e), e = exp(-rT)."""
    def cdf(t):
        e = math.exp(-GROWTH * t)
        return (SAMPLED * (1 - e) / (SAMPLED - (SAMPLED - 2 * GROWTH) * e)) ** n
    low, high = cdf(AGE_BOUNDS[0]), cdf(AGE_BOUNDS[1])
    y = (low + u * (high - low)) ** (1 / n)
    e = SAMPLED * (1 - y) / (SAMPLED - y * (SAMPLED - 2 * GROWTH))
    return -math.log(e) / GROWTH


# Drawn from the prior of the 60-chromosome example (a stream of its own, so
# that the other draws stay as they were): a true value the model finds
# plausible, so that a calibrated run's regions can hold it.
TRUE_AGE = round(prior_age(random.Random("examples/generate.py: the true age").random(), 60), 1)


def entry_text(settings):
    return "\n".join(f"{label}\n{value}" for label, value in settings) + "\n"


def control_table(rng, alleles):
    """200 control chromosomes as rows of count and alleles; every label occurs."""
    weights = [[rng.random() ** 2 + 0.05 for _ in range(a)] for a in alleles]
    rows = {}
    for _ in range(200):
        haplotype = tuple(rng.choices(range(1, a + 1), w)[0] for a, w in zip(alleles, weights))
        rows[haplotype] = rows.get(haplotype, 0) + 1
    for locus, a in enumerate(alleles):
        for label in range(1, a + 1):
            if not any(h[locus] == label for h in rows):
                h = list(next(iter(rows)))
                h[locus] = label
                rows[tuple(h)] = rows.get(tuple(h), 0) + 1
    return rows


def settings(seed, chromosomes, control, patients, genotypes=0, model=0, simulate=0, chains=3,
             burn_in=2000, iterations=20000, root=None, iterate="1 1 1 1", age="-99", store_ind=1,
             segments=None):
    control_rows = "\n".join(" ".join(map(str, (c,) + h)) for h, c in control.items())
    entries = [
        ("Data as genotypes", genotypes), ("Genetic model", model), ("Read old file", 0),
        ("Use fixed random seed", seed), ("# chromosomes", chromosomes), ("#loci per chromosome", MARKERS),
        ("Numbers of haplotypes in the normal pop", control_rows),
        ("Map distance (Morgans)", " ".join(map(str, MAP))), ("Run simulation", simulate),
        ("Mutation location for simulated data", TRUE_LOCATION),
        ("Mutation's low and high boundary", f"0 {MAP[-1]}"), ("#chains", chains),
        ("Starting value for mutation location (-99: random)", -99),
        ("Population growth rate", GROWTH), ("Proportion of population sampled", SAMPLED),
        ("Iterate ancestral state, mutation age, mutation location, allele freq", iterate),
        ("Flip all Loci", 0),
        ("Adjustment level for tree, recdist, ancestral, and internal states, alleles", "1 0.01 0.3 0.3 0.05"),
        ("Burn-in iteration", burn_in), ("Iterations", iterations),
        ("Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes",
         f"1000 50 1 1 {store_ind}"),
        ("Number of histogram bars", 40), ("Alpha level for recdist", 0.05), ("Mutation age", age),
        ("Mutation age boundaries", "%g %g" % AGE_BOUNDS), ("Star genealogy", 0),
        ("Loci for the root", " ".join(map(str, root or [1] * MARKERS))),
        ("Patient haplo- or genotypes:", patients),
    ]
    if segments:
        entries += [("Use sequence weights", 1), ("Weights for exons, introns, non-genes", segments)]
    else:
        entries += [("Use sequence weights", 0)]
    return entry_text(entries)


def simulate_carriers(binary, rng, control, root, count):
    """Leaf haplotypes of one genealogy drawn by mutloc under the true values."""
    text = settings(-rng.randint(1, 10**6), count, control, "1 " * 0 + f"{count} " + " ".join(map(str, root)),
                    simulate=1, chains=1, burn_in=1, iterations=1, root=root, iterate="0 0 0 0",
                    age=TRUE_AGE, store_ind=0)
    return simulated_leaves(binary, rng, text)


def simulated_leaves(binary, rng, text):
    """Runs mutloc on a simulation file; its leaf haplotypes, shuffled."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "sim.txt"), "w") as f:
            f.write(text)
        subprocess.run([binary, "sim.txt"], cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        haplotypes = []
        with open(os.path.join(folder, "sim.txt.hap")) as f:
            for line in f:
                values = list(map(int, line.split()))
                haplotypes += [values[1:]] * values[0]
    rng.shuffle(haplotypes)
    return haplotypes


def with_missing(rng, haplotype, share=0.03):
    return [-1 if rng.random() < share else a for a in haplotype]


def haplotype_rows(haplotypes):
    rows = {}
    for h in haplotypes:
        rows[tuple(h)] = rows.get(tuple(h), 0) + 1
    return "\n".join(" ".join(map(str, (c,) + h)) for h, c in rows.items())


def genotype_rows(rng, pairs):
    lines = []
    for first, second in pairs:
        cells = []
        for a, b in zip(first, second):
            if rng.random() < 0.5:
                a, b = b, a
            cells.append(f"{a}/{b}")
        lines.append(" ".join(cells))
    return "\n".join(lines)


def write_example(folder, name, text):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), "w") as f:
        f.write(text)


def main():
    binary = os.path.abspath(sys.argv[1])
    rng = random.Random(20261208)
    alleles = [rng.randint(3, 5) for _ in range(MARKERS)]
    control = control_table(rng, alleles)
    common = [max(range(1, a + 1), key=lambda label: sum(c for h, c in control.items() if h[k] == label))
              for k, a in enumerate(alleles)]
    root = common

    carriers = simulate_carriers(binary, rng, control, root, 60)
    patients = haplotype_rows([with_missing(rng, h) for h in carriers])
    # Long enough for the recommended run's chains to reach R-hat 1.01 and
    # an ESS of 400 (make run).
    write_example("simulated", "simulated.txt",
                  settings(-424242, 60, control, patients, root=root, burn_in=5000, iterations=50000))

    population = [h for h, c in control.items() for _ in range(c)]
    model0 = [(with_missing(rng, h), rng.choice(population)) for h in carriers[:30]]
    write_example("genotypes-model0", "genotypes0.txt",
                  settings(-515151, 60, control, genotype_rows(rng, model0), genotypes=1, model=0, root=root))

    carriers1 = simulate_carriers(binary, rng, control, root, 40)
    model1 = [(carriers1[2 * i], with_missing(rng, carriers1[2 * i + 1])) for i in range(20)]
    write_example("genotypes-model1", "genotypes1.txt",
                  settings(-616161, 40, control, genotype_rows(rng, model1), genotypes=1, model=1, root=root))

    # An exon around the true location carries most of the prior weight.
    segments = "\n".join(["10 1 0.2", "0.002 n", "0.004 e", "0.006 i", "0.0115 e", "0.0135 i", "0.016 n"])
    write_example("segment-weights", "weighted.txt",
                  settings(-717171, 60, control, patients, root=root, segments=segments))


# The VCF example: cases and controls of a region of chromosome 7 as a user
# holds them, with a HapMap-style genetic map.
VCF_REGION = (5_000_000, 5_400_000)
VCF_MARKERS = 20
VCF_TRUE_POSITION = 5_180_000      # base pairs
VCF_TRUE_AGE = 100.0
VCF_CASES = 30
VCF_CONTROLS = 100
# HapMap-style map rows every 25 kb: 4 cM/Mb, with a hotspot of 12 cM/Mb.
VCF_MAP_START, VCF_MAP_END, VCF_MAP_STEP, VCF_MAP_CM = 4_900_000, 5_500_000, 25_000, 12.0


def vcf_rate(position):
    return 12.0 if 5_250_000 <= position < 5_275_000 else 4.0


def vcf_map_rows():
    rows, cm = [], VCF_MAP_CM
    for position in range(VCF_MAP_START, VCF_MAP_END + 1, VCF_MAP_STEP):
        rows.append((position, vcf_rate(position), round(cm, 6)))
        cm += vcf_rate(position) * VCF_MAP_STEP / 1e6
    return rows


def vcf_centimorgans(rows, position):
    """Linear between the map rows, as mutloc-prepare interpolates."""
    k = bisect.bisect_left([r[0] for r in rows], position)
    if rows[k][0] == position:
        return rows[k][2]
    (p0, _, c0), (p1, _, c1) = rows[k - 1], rows[k]
    return c0 + (position - p0) / (p1 - p0) * (c1 - c0)


def vcf_morgans(rows, positions):
    """Map positions from the first marker on mutloc-prepare's 1e-10 Morgan grid."""
    grid = [round(vcf_centimorgans(rows, p) * 1e8) for p in positions]
    return [(g - grid[0]) / 1e10 for g in grid]


def vcf_simulation(binary, rng, control, alleles, morgans, location):
    """Leaf haplotypes drawn by mutloc on the example's markers, from an
    ancestral haplotype of random alleles."""
    root = [rng.randint(1, a) for a in alleles]
    chromosomes = 2 * VCF_CASES
    rows = "\n".join(" ".join(map(str, (c,) + h)) for h, c in control.items())
    text = entry_text([
        ("Data as genotypes", 0), ("Genetic model", 0), ("Read old file", 0),
        ("Use fixed random seed", -rng.randint(1, 10**6)), ("# chromosomes", chromosomes),
        ("#loci per chromosome", len(alleles)), ("Numbers of haplotypes in the normal pop", rows),
        ("Map distance", " ".join("%.10g" % m for m in morgans)), ("Run simulation", 1),
        ("Mutation location for simulation", location), ("Mutation's low and high boundary", f"0 {morgans[-1]}"),
        ("#chains", 1), ("Starting value for mutation location", -99), ("Population growth rate", GROWTH),
        ("Proportion of population sampled", SAMPLED),
        ("Iterate ancestral state, mutation age, mutation location, allele freq", "0 0 0 0"), ("Flip all Loci", 0),
        ("Adjustment level for tree, recdist, ancestral, and internal states, alleles", "1 0.001 0.3 0.3 0.05"),
        ("Burn-in iteration", 1), ("Iterations", 1),
        ("Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes", "1 1 0 0 0"),
        ("Number of histogram bars", 10), ("Alpha level for recdist", 0.05), ("Mutation age", VCF_TRUE_AGE),
        ("Mutation age boundaries", "1 300"), ("Star genealogy", 0), ("Loci for the root", " ".join(map(str, root))),
        ("Patient haplo- or genotypes:", f"{chromosomes} " + " ".join(map(str, root))), ("Use sequence weights", 0),
    ])
    return simulated_leaves(binary, rng, text)


def vcf_site(position, name, ref_alt, cells):
    return "\t".join(["7", str(position), name, ref_alt[0], ",".join(ref_alt[1:]), ".", "PASS", ".", "GT"] + cells)


def vcf_example(binary):
    """examples/vcf/: region.vcf.gz (+ .tbi), region.map.txt, cases.txt, controls.txt."""
    if not shutil.which("bgzip") or not shutil.which("tabix"):
        sys.exit("The VCF example needs bgzip and tabix (Debian package tabix).")
    rng = random.Random(20261210)
    low, high = VCF_REGION
    step = (high - low - 2_000) // (VCF_MARKERS - 1)
    positions = [low + 1_000 + k * step + (rng.randint(-step // 4, step // 4) // 100 * 100 if 0 < k < VCF_MARKERS - 1
                                           else 0) for k in range(VCF_MARKERS)]
    bases = "ACGT"
    ref_alt = []
    for k in range(VCF_MARKERS):
        ref = rng.choice(bases)
        others = [b for b in bases if b != ref]
        ref_alt.append([ref] + rng.sample(others, 2 if k == 7 else 1))  # one triallelic marker
    alleles = [len(r) for r in ref_alt]

    # Control chromosomes: independent markers, minor allele frequencies 0.1 - 0.5.
    controls = []
    weights = [[1.0] + [rng.uniform(0.15, 1.0) for _ in range(a - 1)] for a in alleles]
    for _ in range(2 * VCF_CONTROLS):
        controls.append(tuple(rng.choices(range(1, a + 1), w)[0] for a, w in zip(alleles, weights)))
    for k, a in enumerate(alleles):  # every allele carried by some control
        for label in range(1, a + 1):
            if not any(h[k] == label for h in controls):
                h = list(controls[k])
                h[k] = label
                controls[k] = tuple(h)
    table = {}
    for h in controls:
        table[h] = table.get(h, 0) + 1

    rows = vcf_map_rows()
    morgans = vcf_morgans(rows, positions)
    location = round(vcf_morgans(rows, [positions[0], VCF_TRUE_POSITION])[1], 10)
    cases = vcf_simulation(binary, rng, table, alleles, morgans, location)

    # Samples interleaved; a few case genotypes missing.
    samples = [(f"case{i + 1:02d}", cases[2 * i], cases[2 * i + 1]) for i in range(VCF_CASES)]
    samples += [(f"ctrl{i + 1:03d}", controls[2 * i], controls[2 * i + 1]) for i in range(VCF_CONTROLS)]
    rng.shuffle(samples)
    lines = ["##fileformat=VCFv4.2", "##source=examples/generate.py (simulated)", "##contig=<ID=7,length=159345973>",
             '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
             "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t" + "\t".join(s[0] for s in samples)]
    def genotype(name, a, b):
        if name.startswith("case") and rng.random() < 0.02:
            return ".|."
        return f"{a - 1}|{b - 1}"
    def filler(position, name, carriers):
        """A site that mutloc-prepare leaves out: carried by `carriers` controls only."""
        ref, alt = rng.sample(bases, 2)
        chosen = set(rng.sample([s[0] for s in samples if s[0].startswith("ctrl")], carriers))
        return vcf_site(position, name, [ref, alt], ["0|1" if s[0] in chosen else "0|0" for s in samples])
    sites = []
    for position in (4_950_000, 4_975_000, 5_430_000, 5_470_000):  # outside the region
        sites.append((position, filler(position, f"rs{position}", 40)))
    sites.append((positions[3] + 250, filler(positions[3] + 250, "rare1", 1)))   # control MAF 0.005
    sites.append((positions[11] + 250, filler(positions[11] + 250, "mono1", 0)))  # monomorphic
    for k, position in enumerate(positions):
        sites.append((position, vcf_site(position, f"rs{position}", ref_alt[k],
                                         [genotype(s[0], s[1][k], s[2][k]) for s in samples])))
    # An indel at a marker's position: the first site of a map position is kept.
    indel = positions[15]
    sites.append((indel, vcf_site(indel, "indel1", [ref_alt[15][0], ref_alt[15][0] + "T"],
                                  [genotype(s[0], s[1][15], s[2][15]) for s in samples])))
    sites.sort(key=lambda site: site[0])

    folder = os.path.join(HERE, "vcf")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "region.vcf"), "w") as f:
        f.write("\n".join(lines + [s[1] for s in sites]) + "\n")
    subprocess.run(["bgzip", "-f", os.path.join(folder, "region.vcf")], check=True)
    subprocess.run(["tabix", "-f", "-p", "vcf", os.path.join(folder, "region.vcf.gz")], check=True)
    with open(os.path.join(folder, "region.map.txt"), "w") as f:
        f.write("Chromosome\tPosition(bp)\tRate(cM/Mb)\tMap(cM)\n")
        f.writelines(f"chr7\t{p}\t{r}\t{c}\n" for p, r, c in rows)
    for name, prefix in (("cases.txt", "case"), ("controls.txt", "ctrl")):
        with open(os.path.join(folder, name), "w") as f:
            f.writelines(s[0] + "\n" for s in sorted(samples) if s[0].startswith(prefix))
    print(f"examples/vcf: true location {VCF_TRUE_POSITION} bp = {location} Morgans from the first marker "
          f"({positions[0]} bp), true age {VCF_TRUE_AGE} generations")


if __name__ == "__main__":
    main()
    vcf_example(os.path.abspath(sys.argv[1]))
