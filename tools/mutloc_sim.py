"""Data sets simulated from mutloc's own model (standard-library Python).

mutloc's simulation mode ("Run simulation" 1) draws a genealogy at a given
mutation location and age and the alleles of every node down from a random
ancestral haplotype. It is used here only to generate data: in that mode every
chain simulates a data set of its own and starts at the truth, so a run that
estimates anything gets a fresh parameter file ("Run simulation" 0) holding
the simulated patients. The simulation file has one chain, one burn-in and one
sampling iteration (no move touches a known leaf allele); its final genealogy
holds the leaves: `.hap` lists the haplotypes, `.mat` the leaves of genotype
data with their pairing into individuals.

Used by bench/make_datasets.py and validation/calibrate.py.
"""

import os
import subprocess


def control_table(rng, loci, alleles=(2, 6), size=None):
    """A few hundred control chromosomes (or size) with 2-6 alleles per marker
    (or as many as alleles allows), every label of a marker present at least
    once (the program rejects labels that occur nowhere)."""
    drawn = rng.randint(250, 400)
    size = drawn if size is None else size
    columns = []
    for _ in range(loci):
        k = rng.randint(*alleles)
        weights = [0.2 + rng.random() for _ in range(k)]
        column = list(range(1, k + 1))
        column += rng.choices(range(1, k + 1), weights=weights, k=size - k)
        rng.shuffle(column)
        columns.append(column)
    return ["1 " + " ".join(str(columns[j][i]) for j in range(loci)) for i in range(size)]


def marker_map(rng, loci, span):
    """Positions from 0 to about span (Morgans), evenly spaced with some
    jitter (the last one jitters too)."""
    step = span / (loci - 1)
    positions = [0.0]
    for i in range(1, loci):
        positions.append(round(i * step + rng.uniform(-0.3, 0.3) * step, 7))
    assert all(a < b for a, b in zip(positions, positions[1:]))
    return positions


def parameter_file(*, control, positions, patients, chromosomes, seed, genotypes=False, model=0, simulate=False,
                   sim_location=0.0, chains=1, growth=0.05, sampled=0.01, steps="1 0.001 0.5 0.5 0.05", burnin=1,
                   iterations=1, updates="1 1 1 1 1", bars=20, alpha=0.05, age=-99, age_bounds=(20, 200)):
    """The text of a parameter file. The location bounds run from the first
    marker to the last; a simulation file (simulate) samples nothing but the
    ancestral haplotype, at the fixed age, and needs one chain."""
    iterate = "1 0 0 0" if simulate else "1 1 1 1"
    lines = [
        "Data as genotypes", str(int(genotypes)),
        "Genetic model", str(model),
        "Read old file", "0",
        "Use fixed random seed", str(seed),
        "#chromosomes", str(chromosomes),
        "#loci per chromosome", str(len(positions)),
        "Numbers of haplotypes in the normal pop",
        *control,
        "Map distance", " ".join("%.7g" % p for p in positions),
        "Run simulation", "1" if simulate else "0",
        "Mutation location for simulation", "%.6g" % sim_location,
        "Mutation's low and high boundary", "0 %g" % positions[-1],
        "#chains", str(chains),
        "Starting value for mutation location", "-99",
        "Population growth rate", "%g" % growth,
        "Proportion of population sampled", "%g" % sampled,
        "Iterate ancestral state, mutation age, mutation location, allele freq", iterate,
        "Flip all Loci", "0",
        "Adjustment level for tree, recdist, ancestral, and internal states, alleles", steps,
        "Burn-in iteration", str(burnin),
        "Iterations", str(iterations),
        "Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes", updates,
        "Number of histogram bars", str(bars),
        "Alpha level for recdist", "%g" % alpha,
        "Mutation age", "%.10g" % age,
        "Mutation age boundaries", "%g %g" % age_bounds,
        "Star genealogy", "0",
        "Loci for the root", " ".join("1" for _ in positions),
        "Patient haplo- or genotypes:",
        *patients,
        "Use sequence weights", "0",
    ]
    return "\n".join(lines) + "\n"


def placeholder_patients(genotypes, chromosomes, loci):
    """Patient rows a simulation file must hold (the simulation replaces them)."""
    if genotypes:
        return [" ".join("1" for _ in range(2 * loci))] * (chromosomes // 2)
    return ["%d " % chromosomes + " ".join("1" for _ in range(loci))]


class SimulationFailed(Exception):
    pass


def run_simulation(binary, path):
    """Runs mutloc on the simulation file at path (from its folder)."""
    run = subprocess.run([binary, os.path.basename(path)], cwd=os.path.dirname(path) or ".",
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        raise SimulationFailed("simulation %s failed (status %d):\n%s%s" % (path, run.returncode, run.stdout[-2000:],
                                                                            run.stderr[-2000:]))


def read_haplotypes(path, loci, chromosomes):
    """The leaf haplotypes of a simulation's ".hap" tally, one list of alleles
    per chromosome, in the order of the tally."""
    haplotypes = []
    with open(path) as f:
        for line in f:
            values = [int(v) for v in line.split()]
            if not values:
                continue
            if len(values) != loci + 1 or min(values[1:]) < 1:
                raise SimulationFailed("unexpected line in %s: %s" % (path, line.strip()))
            haplotypes += [values[1:]] * values[0]
    if len(haplotypes) != chromosomes:
        raise SimulationFailed("%s lists %d chromosomes, expected %d" % (path, len(haplotypes), chromosomes))
    return haplotypes


def read_genotype_pairs(path, loci, model, individuals):
    """The two chromosomes of every simulated individual, from a simulation's
    ".mat" (genotype data): under genetic model 0 one leaf holds both (the
    carrier's alleles, then the population chromosome's), under model 1 a
    leaf holds one and its partner column names the leaf with the other. The
    alleles end every row; the row after the 2n - 1 node rows is the
    ancestral haplotype."""
    with open(path) as f:
        rows = [[int(float(v)) for v in line.split()] for line in f if line.strip()]
    leaves = 2 * individuals if model == 1 else individuals
    nodes = rows[:2 * leaves - 1]
    alleles = {row[0]: row[-2 * loci:] if model == 0 else row[-loci:] for row in nodes if row[1] == -1}
    if len(alleles) != leaves or any(min(a) < 1 for a in alleles.values()):
        raise SimulationFailed("%s does not hold %d complete leaves" % (path, leaves))
    if model == 0:
        return [(a[:loci], a[loci:]) for _, a in sorted(alleles.items())]
    partner = {row[0]: row[7] for row in nodes if row[1] == -1}
    pairs = [(alleles[p], alleles[q]) for p, q in sorted(partner.items()) if p < q and partner.get(q) == p]
    if len(pairs) != individuals:
        raise SimulationFailed("%s pairs %d leaves into %d individuals, expected %d" % (path, leaves, len(pairs),
                                                                                       individuals))
    return pairs


def mask(rng, alleles, share):
    """Marks a share of the alleles missing (negative)."""
    return [-1 if rng.random() < share else a for a in alleles]


def haplotype_rows(rng, haplotypes, share, labels=None):
    """Patient rows: distinct masked haplotypes with their counts, in the
    order first met after a shuffle. With labels (a flag per haplotype), also
    how many flagged chromosomes each row holds."""
    chromosomes = [(mask(rng, h, share), flag) for h, flag in zip(haplotypes, labels or [False] * len(haplotypes))]
    rng.shuffle(chromosomes)
    counts, flagged = {}, {}
    for h, flag in chromosomes:
        key = tuple(h)
        counts[key] = counts.get(key, 0) + 1
        flagged[key] = flagged.get(key, 0) + flag
    rows = ["%d " % count + " ".join(map(str, key)) for key, count in counts.items()]
    return rows if labels is None else (rows, list(flagged.values()))


def genotype_rows(rng, pairs, share):
    """One row per individual (pair of chromosomes): the two alleles of each
    locus written smaller first (unphased), then masked."""
    rows = []
    for p, q in pairs:
        row = []
        for a, b in zip(p, q):
            row += sorted((a, b))
        rows.append(" ".join(map(str, mask(rng, row, share))))
    return rows
