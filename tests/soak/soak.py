#!/usr/bin/env python3
"""Soak test: many short runs of the sanitizer build over the examples and over
random valid parameter files, each with its own random seed. Every run must
end with "Finished", exit 0 and leave complete output files.

    tests/soak/soak.py BINARY [RUNS]
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXTENSIONS = [".dat", ".log", ".sig", ".hap", ".hin", ".hpf", ".mat", ".tre"]


def random_parameter_file(rng):
    genotypes = rng.random() < 0.4
    model = rng.randint(0, 1) if genotypes else 0
    individuals = rng.randint(2, 8)
    chromosomes = individuals * 2 if genotypes else rng.randint(2, 16)
    leaves = individuals if genotypes and model == 0 else chromosomes
    loci = rng.randint(1, 6)
    alleles = [rng.randint(1, 4) for _ in range(loci)]
    chains = rng.randint(1, 3)
    iterate = [rng.randint(0, 1) for _ in range(4)]
    map_positions = [0.0]
    for _ in range(loci - 1):
        map_positions.append(round(map_positions[-1] + rng.uniform(0.0005, 0.005), 6))
    high = round(map_positions[-1] + rng.uniform(0.001, 0.01), 6)
    control = []
    for locus in range(loci):  # every label occurs among the controls
        for label in range(1, alleles[locus] + 1):
            row = [rng.randint(1, 5)] + [rng.randint(1, alleles[k]) for k in range(loci)]
            row[locus + 1] = label
            control.append(" ".join(map(str, row)))

    def allele(k):
        return -1 if rng.random() < 0.1 else rng.randint(1, alleles[k])

    if genotypes:
        rows = individuals if model == 0 else chromosomes // 2
        patients = [" ".join(f"{allele(k)}/{allele(k)}" for k in range(loci)) for _ in range(rows)]
    else:
        counts, left = [], chromosomes
        while left > 0:
            counts.append(rng.randint(1, left))
            left -= counts[-1]
        patients = [" ".join(map(str, [c] + [allele(k) for k in range(loci)])) for c in counts]
    burn_in, iterations = rng.randint(1, 40), rng.randint(1, 80)
    age_iterated = iterate[1] == 1
    lines = [
        "Data as genotypes", str(int(genotypes)), "Genetic model", str(model), "Read old file", "0",
        "Use fixed random seed", str(-rng.randint(1, 2**31 - 2)), "#chromosomes", str(chromosomes),
        "#loci per chromosome", str(loci), "Numbers of haplotypes in the normal pop", *control,
        "Map distance", " ".join(map(str, map_positions)), "Run simulation", "0",
        "Mutation location for simulation", "0", "Mutation's low and high boundary", f"0 {high}",
        "#chains", str(chains), "Starting value for mutation location", rng.choice(["-99", str(high / 2)]),
        "Population growth rate", str(round(rng.uniform(0.01, 2), 3)),
        "Proportion of population sampled", str(round(rng.uniform(0.001, 0.5), 4)),
        "Iterate ancestral state, mutation age, mutation location, allele freq", " ".join(map(str, iterate)),
        "Flip all Loci", str(rng.randint(0, 1)),
        "Adjustment level for tree, recdist, ancestral, and internal states, alleles",
        f"{round(rng.uniform(0.01, 5), 3)} {round(rng.uniform(0, min(0.5, high)), 5)} "
        f"{rng.random():.3f} {rng.random():.3f} {rng.random():.3f}",
        "Burn-in iteration", str(burn_in), "Iterations", str(iterations),
        "Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes",
        f"{rng.randint(0, 10)} {rng.randint(0, 10)} {rng.randint(0, 1)} {rng.randint(0, 1)} {rng.randint(0, 2)}",
        "Number of histogram bars", str(rng.randint(1, 20)), "Alpha level for recdist", str(rng.choice([0.05, 0.2, 0.5])),
        "Mutation age", rng.choice(["-99", "20"]) if age_iterated else "20",
        "Mutation age boundaries", "1 200" if age_iterated else "",
        "Star genealogy", str(rng.randint(0, 1)),
        "Loci for the root", " ".join(str(rng.randint(1, a)) for a in alleles),
        "Patient haplo- or genotypes:", *patients,
    ]
    if rng.random() < 0.3:
        step = high / 4
        lines += ["Use sequence weights", "1", "Weights for exons, introns, non-genes", "5 1 0.5",
                  f"{step:.6f} n", f"{2 * step:.6f} e", f"{3 * step:.6f} i"]
    else:
        lines += ["Use sequence weights", "0"]
    return "\n".join(lines) + "\n", chains, leaves


def check_run(binary, folder, name, chains, leaves):
    result = subprocess.run([binary, name], cwd=folder, stdin=subprocess.DEVNULL, capture_output=True,
                            text=True, timeout=600)
    problems = []
    if result.returncode != 0 or not result.stdout.endswith("Finished"):
        problems.append(f"exit {result.returncode}, output ends {result.stdout[-200:]!r}, errors {result.stderr[-2000:]!r}")
        return problems
    for ext in EXTENSIONS:
        if not os.path.exists(os.path.join(folder, name + ext)):
            problems.append(f"{name}{ext} missing")
    with open(os.path.join(folder, name + ".log")) as log:
        bars = int(log.read().split("Histogram bars\n")[1].split("\n")[0])
    for ext in (".sig", ".tre"):
        with open(os.path.join(folder, name + ext)) as f:
            lines = f.read().splitlines()
        if chains is not None and len(lines) != chains * (bars + 1):
            problems.append(f"{ext} has {len(lines)} lines, expected {chains * (bars + 1)}")
    with open(os.path.join(folder, name + ".mat")) as f:
        rows = f.read().split("\n")
    if leaves is not None and len(rows) != 2 * leaves:
        problems.append(f".mat has {len(rows) - 1} rows, expected {2 * leaves - 1}")
    return problems


def main():
    binary = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(int.from_bytes(os.urandom(8), "little"))
    # Parameter files only: some examples ship sample lists and maps as .txt.
    examples = []
    for base, _, files in os.walk(os.path.join(ROOT, "examples")):
        for name in files:
            path = os.path.join(base, name)
            if name.endswith(".txt") and "\nUse fixed random seed\n" in open(path, errors="replace").read():
                examples.append(path)
    failures = 0
    for run in range(runs):
        with tempfile.TemporaryDirectory() as folder:
            if run % 5 == 0 and examples:
                source = rng.choice(examples)
                with open(source) as f:
                    text = f.read()
                seed = -rng.randint(1, 2**31 - 2)
                lines = text.split("\n")
                index = next(i for i, line in enumerate(lines) if line.strip() and line.strip()[0] in "uU")
                lines[index + 1] = str(seed)
                for other in os.listdir(os.path.dirname(source)):
                    path = os.path.join(os.path.dirname(source), other)
                    if os.path.isfile(path):
                        shutil.copy(path, folder)
                text, chains, leaves, label = "\n".join(lines), None, None, f"{source} seed {seed}"
            else:
                text, chains, leaves = random_parameter_file(rng)
                label = "random parameter file"
            with open(os.path.join(folder, "p.txt"), "w") as f:
                f.write(text)
            problems = check_run(binary, folder, "p.txt", chains, leaves)
            if problems:
                failures += 1
                kept = tempfile.mkdtemp(prefix="mutloc-soak-failure-")
                shutil.copy(os.path.join(folder, "p.txt"), kept)
                print(f"run {run} ({label}) failed, parameters kept in {kept}:", *problems, sep="\n  ")
    print(f"{runs} runs, {failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
