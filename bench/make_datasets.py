#!/usr/bin/env python3
"""Writes the benchmark parameter files.

Usage: make_datasets.py MUTLOC_BINARY OUTDIR [--iterations N] [--only NAME ...]

Each data set is simulated from the program's own model: a parameter file with
"Run simulation" 1 makes mutloc draw a genealogy and the leaves' alleles from
it (tools/mutloc_sim.py); its ".hap" tally becomes the patient table of the
benchmark file ("Run simulation" 0). A few percent of the patient alleles are then marked
missing so that the missing-allele moves run too. Every random choice comes
from fixed seeds, so the files are the same on every run of this script.
"""

import argparse
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import mutloc_sim as sim  # noqa: E402

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


def simulate_chromosomes(binary, workdir, name, chromosomes, loci, control, positions, sim_location, seed):
    """The leaf haplotypes of a simulation run, one list of alleles per
    chromosome."""
    path = os.path.join(workdir, name + "_sim.txt")
    with open(path, "w") as f:
        f.write(sim.parameter_file(control=control, positions=positions,
                                   patients=sim.placeholder_patients(False, chromosomes, loci),
                                   chromosomes=chromosomes, seed=-seed, simulate=True, sim_location=sim_location,
                                   growth=GROWTH_RATE, sampled=SAMPLED, age=MUTATION_AGE))
    sim.run_simulation(binary, path)
    return sim.read_haplotypes(path + ".hap", loci, chromosomes)


def pair_at_random(rng, haplotypes):
    """Individuals of two random chromosomes each."""
    chromosomes = list(haplotypes)
    rng.shuffle(chromosomes)
    return list(zip(chromosomes[0::2], chromosomes[1::2]))


def make(binary, outdir, workdir, name, iterations):
    seed, chromosomes, loci, genotypes, default_iterations, setting_seed = DATA_SETS[name]
    iterations = iterations or default_iterations
    setting = random.Random(setting_seed)
    control = sim.control_table(setting, loci)
    positions = sim.marker_map(setting, loci, REGION)
    sim_location = round(setting.uniform(0.25, 0.75) * positions[-1], 6)
    rng = random.Random(seed)
    haplotypes = simulate_chromosomes(binary, workdir, name, chromosomes, loci, control, positions, sim_location,
                                      seed)
    if genotypes:
        patients = sim.genotype_rows(rng, pair_at_random(rng, haplotypes), MISSING_SHARE)
    else:
        patients = sim.haplotype_rows(rng, haplotypes, MISSING_SHARE)
    assert len(patients) <= 1000
    # Periodic reports and haplotype tallies at least a few times per run.
    updates = min(100, max(1, iterations // 4))
    path = os.path.join(outdir, name + ".txt")
    with open(path, "w") as f:
        f.write(sim.parameter_file(control=control, positions=positions, patients=patients, chromosomes=chromosomes,
                                   seed=-setting_seed, genotypes=genotypes, model=int(genotypes),
                                   sim_location=sim_location, chains=CHAINS, growth=GROWTH_RATE, sampled=SAMPLED,
                                   iterations=iterations, updates="%d %d 1 1 1" % (updates, updates)))
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
    try:
        for name in args.only or DATA_SETS:
            make(binary, args.outdir, workdir, name, args.iterations)
    except sim.SimulationFailed as failure:
        sys.exit(str(failure))


if __name__ == "__main__":
    main()
