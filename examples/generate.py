#!/usr/bin/env python3
"""Writes the example data sets from the program's own model, so that the true
mutation location and age are known.

    examples/generate.py MUTLOC_BINARY

A parameter file with "Run simulation" 1 makes mutloc draw a genealogy below
the given mutation age and let the marker alleles descend along it from the
ancestral haplotype, with crossovers around the given location; the leaf
haplotypes of that genealogy are written to its ".hap" file. The examples are
built from those haplotypes and from control chromosomes drawn here.
"""
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
TRUE_AGE = 40.0
GROWTH = 0.05
SAMPLED = 0.01


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
        ("Mutation age boundaries", "1 300"), ("Star genealogy", 0),
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
    write_example("simulated", "simulated.txt", settings(-424242, 60, control, patients, root=root))

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


if __name__ == "__main__":
    main()
