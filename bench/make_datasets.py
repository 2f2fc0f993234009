#!/usr/bin/env python3
"""Writes the benchmark parameter files.

Usage: make_datasets.py MUTLOC_BINARY OUTDIR [--iterations N] [--only NAME ...]

Each data set is simulated from the program's own model: a parameter file with
"Run simulation" 1 makes mutloc draw a genealogy and the leaves' alleles from
it; one short run (no move touches a known leaf allele) leaves those alleles
in the ".hap" tally, which becomes the patient table of the benchmark file
("Run simulation" 0). A few percent of the patient alleles are then marked
missing so that the missing-allele moves run too. Every random choice comes
from fixed seeds, so the files are the same on every run of this script.
"""

import argparse
import os
import random
import subprocess
import sys

# name: (seed, patient chromosomes, loci, genotypes, iterations, setting seed)
# The seed draws the simulation and the missing alleles; the setting seed the
# control table, the map, the simulated mutation location and the sampler's
# random state. The scaling series shares one setting, so only the number of
# chromosomes differs between its members.
# The iteration counts give runs of one to two seconds with the unoptimised
# sampler on a 2-core machine.
DATA_SETS = {
    "small": (11, 20, 10, False, 8000, 11),
    "medium": (12, 200, 30, False, 300, 12),
    "large": (13, 1000, 60, False, 30, 13),
    "geno": (14, 2000, 50, True, 12, 14),
    "scale125": (21, 125, 30, False, 600, 30),
    "scale250": (22, 250, 30, False, 300, 30),
    "scale500": (23, 500, 30, False, 150, 30),
    "scale1000": (24, 1000, 30, False, 60, 30),
}

CHAINS = 4
REGION = 0.02          # marker span in Morgans (about 2 cM)
MISSING_SHARE = 0.03   # share of patient alleles written as missing
MUTATION_AGE = 100     # generations, age of the simulated mutation
GROWTH_RATE = 0.05
SAMPLED = 0.01


def control_table(rng, loci):
    """A few hundred control chromosomes with 2-6 alleles per marker, every
    label of a marker present at least once (the program rejects labels that
    occur nowhere)."""
    size = rng.randint(250, 400)
    columns = []
    for _ in range(loci):
        k = rng.randint(2, 6)
        weights = [0.2 + rng.random() for _ in range(k)]
        column = list(range(1, k + 1))
        column += rng.choices(range(1, k + 1), weights=weights, k=size - k)
        rng.shuffle(column)
        columns.append(column)
    return ["1 " + " ".join(str(columns[j][i]) for j in range(loci)) for i in range(size)]


def marker_map(rng, loci):
    """Positions from 0 to about REGION, evenly spaced with some jitter."""
    step = REGION / (loci - 1)
    positions = [0.0]
    for i in range(1, loci):
        positions.append(round(i * step + rng.uniform(-0.3, 0.3) * step, 7))
    assert all(a < b for a, b in zip(positions, positions[1:]))
    return positions


def parameter_file(genotypes, chromosomes, loci, control, positions, simulate, sim_location, iterations,
                   updates, patients, run_seed):
    """The text of a parameter file; patients is the list of patient rows."""
    iterate = "1 0 0 0" if simulate else "1 1 1 1"
    lines = [
        "Data as genotypes", str(int(genotypes)),
        "Genetic model", "1" if genotypes else "0",
        "Read old file", "0",
        "Use fixed random seed", str(run_seed),
        "#chromosomes", str(chromosomes),
        "#loci per chromosome", str(loci),
        "Numbers of haplotypes in the normal pop",
        *control,
        "Map distance", " ".join("%.7g" % p for p in positions),
        "Run simulation", "1" if simulate else "0",
        "Mutation location for simulation", "%.6g" % sim_location,
        "Mutation's low and high boundary", "0 %g" % positions[-1],
        "#chains", "1" if simulate else str(CHAINS),
        "Starting value for mutation location", "-99",
        "Population growth rate", str(GROWTH_RATE),
        "Proportion of population sampled", str(SAMPLED),
        "Iterate ancestral state, mutation age, mutation location, allele freq", iterate,
        "Flip all Loci", "0",
        "Adjustment level for tree, recdist, ancestral, and internal states, alleles", "1 0.001 0.5 0.5 0.05",
        "Burn-in iteration", "1",
        "Iterations", str(iterations),
        "Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes",
        "%d %d 1 1 1" % (updates, updates),
        "Number of histogram bars", "20",
        "Alpha level for recdist", "0.05",
        "Mutation age", str(MUTATION_AGE) if simulate else "-99",
        "Mutation age boundaries", "20 200",
        "Star genealogy", "0",
        "Loci for the root", " ".join("1" for _ in range(loci)),
        "Patient haplo- or genotypes:",
        *patients,
        "Use sequence weights", "0",
    ]
    return "\n".join(lines) + "\n"


def simulate_chromosomes(binary, workdir, name, chromosomes, loci, control, positions, sim_location, seed):
    """Runs mutloc on a simulation file; returns the leaf haplotypes, one list
    of alleles per chromosome, in the order of the ".hap" tally."""
    path = os.path.join(workdir, name + "_sim.txt")
    placeholder = ["%d " % chromosomes + " ".join("1" for _ in range(loci))]
    with open(path, "w") as f:
        f.write(parameter_file(False, chromosomes, loci, control, positions, True, sim_location, 1, 1,
                               placeholder, -seed))
    run = subprocess.run([binary, os.path.basename(path)], cwd=workdir, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        sys.exit("simulation of %s failed (status %d):\n%s%s" % (name, run.returncode, run.stdout[-2000:],
                                                                 run.stderr[-2000:]))
    haplotypes = []
    with open(path + ".hap") as f:
        for line in f:
            values = [int(v) for v in line.split()]
            if not values:
                continue
            if len(values) != loci + 1 or min(values[1:]) < 1:
                sys.exit("unexpected line in %s.hap: %s" % (path, line.strip()))
            haplotypes += [values[1:]] * values[0]
    if len(haplotypes) != chromosomes:
        sys.exit("%s.hap lists %d chromosomes, expected %d" % (path, len(haplotypes), chromosomes))
    return haplotypes


def mask(rng, alleles):
    """Marks a few alleles missing (negative)."""
    return [-1 if rng.random() < MISSING_SHARE else a for a in alleles]


def haplotype_rows(rng, haplotypes):
    """Patient rows: distinct masked haplotypes with their counts, in the
    order first met after a shuffle."""
    chromosomes = [mask(rng, h) for h in haplotypes]
    rng.shuffle(chromosomes)
    counts = {}
    for h in chromosomes:
        key = tuple(h)
        counts[key] = counts.get(key, 0) + 1
    return ["%d " % count + " ".join(map(str, key)) for key, count in counts.items()]


def genotype_rows(rng, haplotypes, loci):
    """One row per individual: two random chromosomes, the two alleles of
    each locus written smaller first (unphased)."""
    chromosomes = list(haplotypes)
    rng.shuffle(chromosomes)
    rows = []
    for i in range(0, len(chromosomes), 2):
        p, q = chromosomes[i], chromosomes[i + 1]
        pair = []
        for j in range(loci):
            pair += sorted((p[j], q[j]))
        rows.append(" ".join(map(str, mask(rng, pair))))
    return rows


def make(binary, outdir, workdir, name, iterations):
    seed, chromosomes, loci, genotypes, default_iterations, setting_seed = DATA_SETS[name]
    iterations = iterations or default_iterations
    setting = random.Random(setting_seed)
    control = control_table(setting, loci)
    positions = marker_map(setting, loci)
    sim_location = round(setting.uniform(0.25, 0.75) * positions[-1], 6)
    rng = random.Random(seed)
    haplotypes = simulate_chromosomes(binary, workdir, name, chromosomes, loci, control, positions, sim_location,
                                      seed)
    patients = genotype_rows(rng, haplotypes, loci) if genotypes else haplotype_rows(rng, haplotypes)
    assert len(patients) <= 1000
    # Periodic reports and haplotype tallies at least a few times per run.
    updates = min(100, max(1, iterations // 4))
    path = os.path.join(outdir, name + ".txt")
    with open(path, "w") as f:
        f.write(parameter_file(genotypes, chromosomes, loci, control, positions, False, sim_location, iterations,
                               updates, patients, -setting_seed))
    print("%s: %d chromosomes, %d loci, %d patient rows, %d iterations" % (path, chromosomes, loci,
                                                                             len(patients), iterations))


def main():
    parser = argparse.ArgumentParser(description="Writes the benchmark parameter files into OUTDIR.")
    parser.add_argument("binary", help="the mutloc program used to simulate the patients")
    parser.add_argument("outdir")
    parser.add_argument("--iterations", type=int, default=0,
                        help="sampling iterations of every file (default: a few seconds' worth per data set)")
    parser.add_argument("--only", nargs="+", choices=sorted(DATA_SETS), help="write only these data sets")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    workdir = os.path.join(args.outdir, "simulation")
    os.makedirs(workdir, exist_ok=True)
    for name in args.only or DATA_SETS:
        make(binary, args.outdir, workdir, name, args.iterations)


if __name__ == "__main__":
    main()
