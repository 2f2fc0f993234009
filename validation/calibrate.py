#!/usr/bin/env python3
"""Calibration of mutloc on data simulated from its own model.

Usage: calibrate.py [OPTIONS] [-- MUTLOC OPTIONS]

Draws N true locations and ages, simulates a data set at each (see
tools/mutloc_sim.py), runs mutloc on it with the given options, and reports
per data set and in total whether the credible regions and the pooled 95 %
intervals hold the truth, how far the estimates fall from it, R-hat, the
effective sample sizes and the wall time. validation/README.md describes the
outputs and holds the figures of full runs.
"""

import argparse
import concurrent.futures
import json
import math
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import mutloc_sim as sim  # noqa: E402

# The sampler settings of examples/simulated/simulated.txt.
STEPS = "1 0.01 0.3 0.3 0.05"
BARS = 40
ALPHA = 0.05
UPDATES = "1000 50 1 1 1"

# data mode: (genotypes, genetic model)
DATA_MODES = {"haplotypes": (False, 0), "genotypes0": (True, 0), "genotypes1": (True, 1)}

COLUMNS = ["dataset", "seed", "truth_location", "truth_age",
           "loc_regions_hold", "loc_region_mass", "loc_interval_holds", "loc_mode_error", "loc_mean_error",
           "age_regions_hold", "age_region_mass", "age_interval_holds", "age_mode_error", "age_mean_error",
           "loc_rhat", "loc_ess_bulk", "loc_ess_tail", "sampled", "target_reached", "seconds"]
# With --sporadic-share: the data set's sporadic chromosomes and how well the
# founder probabilities (runs with --sporadic) tell them from the others.
SPORADIC_COLUMNS = ["sporadic_chromosomes", "founder_auc"]


def leaves(args):
    """Leaves of the genealogy: one per individual under genetic model 0."""
    genotypes, model = DATA_MODES[args.data]
    return args.chromosomes // 2 if genotypes and model == 0 else args.chromosomes


def node_time_cdf(t, r, K):
    """The prior distribution function of one node time."""
    e = math.exp(-r * t)
    return K * (1 - e) / (K - (K - 2 * r) * e)


def draw_age(u, n, r, K, low, high):
    """The age with prior distribution function F(T)^n (the largest of n node
    times) restricted to [low, high], at the probability u: inverts
    y = F(T) = K (1 - e) / (K - (K - 2r) e), e = exp(-rT), for e."""
    lo, hi = node_time_cdf(low, r, K) ** n, node_time_cdf(high, r, K) ** n
    y = (lo + u * (hi - lo)) ** (1 / n)
    e = K * (1 - y) / (K - y * (K - 2 * r))
    return min(max(-math.log(e) / r, low), high)


def make_dataset(args, index, folder):
    """Simulates data set number index into folder and writes the parameter
    file run.txt of the run that estimates it; returns its truth and seed."""
    rng = random.Random("calibrate %d %d" % (args.seed, index))
    genotypes, model = DATA_MODES[args.data]
    loci, chromosomes = args.loci, args.chromosomes
    control = sim.control_table(rng, loci, alleles=(2, 2) if args.two_alleles else (2, 6), size=args.controls)
    if args.map:
        positions = list(args.map)
    else:
        positions = sim.marker_map(rng, loci, args.span)
        positions[-1] = args.span  # the region is exactly span long; the jitter keeps the markers before it below it
    # The truth as the files write it (six significant digits).
    drawn = rng.uniform(0, args.span)
    location = float("%.6g" % (drawn if args.location is None else args.location))
    age = float("%.6g" % draw_age(rng.random(), leaves(args), args.growth_rate, args.sampled, *args.age_bounds))
    sim_seed, run_seed = (-rng.randint(1, 2 ** 31 - 1) for _ in range(2))
    common = dict(control=control, positions=positions, chromosomes=chromosomes, genotypes=genotypes, model=model,
                  sim_location=location, growth=args.growth_rate, sampled=args.sampled, steps=STEPS,
                  age_bounds=tuple(args.age_bounds))

    os.makedirs(os.path.join(folder, "simulation"), exist_ok=True)
    path = os.path.join(folder, "simulation", "sim.txt")
    with open(path, "w") as f:
        f.write(sim.parameter_file(**common, patients=sim.placeholder_patients(genotypes, chromosomes, loci),
                                   seed=sim_seed, simulate=True, age=age))
    sim.run_simulation(args.mutloc, path)
    if genotypes:
        pairs = sim.read_genotype_pairs(path + ".mat", loci, model, chromosomes // 2)
        rng.shuffle(pairs)
        patients = sim.genotype_rows(rng, pairs, args.missing)
    else:
        haplotypes = sim.read_haplotypes(path + ".hap", loci, chromosomes)
        if args.sporadic_share is None:
            patients = sim.haplotype_rows(rng, haplotypes, args.missing)
        else:
            sporadic = make_sporadic(args, index, haplotypes, control)
            patients, counts = sim.haplotype_rows(rng, haplotypes, args.missing, labels=sporadic)
            # Which chromosomes of each patient row were drawn from the
            # population, for scoring the founder probabilities.
            with open(os.path.join(folder, "sporadic.tsv"), "w") as f:
                f.write("row\tchromosomes\tsporadic\n")
                for row, (text, count) in enumerate(zip(patients, counts), 1):
                    f.write("%d\t%s\t%d\n" % (row, text.split()[0], count))
    with open(os.path.join(folder, "run.txt"), "w") as f:
        f.write(sim.parameter_file(**common, patients=patients, seed=run_seed, chains=args.chains,
                                   burnin=args.burnin, iterations=args.iterations, updates=UPDATES, bars=BARS,
                                   alpha=ALPHA))
    return location, age, run_seed


def make_sporadic(args, index, haplotypes, control):
    """Replaces a share of the simulated chromosomes by population ones: each
    allele drawn from the control table's column, i.e. from the marker's
    control frequencies, independently. A stream of its own leaves every
    other draw of the data set as it is without the option. Returns the
    replaced chromosomes' flags."""
    rng = random.Random("sporadic %d %d" % (args.seed, index))
    columns = list(zip(*[[int(v) for v in row.split()[1:]] for row in control]))
    chosen = set(rng.sample(range(len(haplotypes)), round(args.sporadic_share * len(haplotypes))))
    for i in sorted(chosen):
        haplotypes[i] = [rng.choice(column) for column in columns]
    return [i in chosen for i in range(len(haplotypes))]


def founder_auc(folder, prefix):
    """The area under the ROC curve of the founder probabilities: the chance
    that a chromosome descended from the founder gets a higher probability
    than a sporadic one (ties count a half). A haplotype row's chromosomes
    share their row's probability. NaN without the founder table or without
    chromosomes of both kinds."""
    try:
        with open(prefix + ".founder.tsv") as f:
            probability = [float(line.split("\t")[3]) for line in f.readlines()[1:]]
    except OSError:
        return float("nan")
    founders, sporadics = [], []
    with open(os.path.join(folder, "sporadic.tsv")) as f:
        for line in f.readlines()[1:]:
            row, chromosomes, sporadic = (int(v) for v in line.split())
            sporadics += [probability[row - 1]] * sporadic
            founders += [probability[row - 1]] * (chromosomes - sporadic)
    if not founders or not sporadics:
        return float("nan")
    wins = sum((f > s) + 0.5 * (f == s) for f in founders for s in sporadics)
    return wins / (len(founders) * len(sporadics))


def regions(path, truth):
    """Per chain of a .sig or .tre file: whether its credible region (the
    bars flagged 1) holds the truth, and the region's mass. A bar covers its
    centre +- half the spacing of the centres."""
    chains, bars = [], []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if not fields:
                continue
            if fields[0].endswith("%"):  # the region lengths end a chain's bars
                chains.append(bars)
                bars = []
            else:
                bars.append([float(v) for v in fields[:4]])
    result = []
    for bars in chains:
        half = (bars[-1][0] - bars[0][0]) / (len(bars) - 1) / 2 if len(bars) > 1 else 0
        flagged = [b for b in bars if b[3] == 1]
        holds = any(c - half <= truth <= c + half for c, _, _, _ in flagged)
        result.append((holds, sum(b[1] for b in flagged)))
    return result


def score(prefix, location, age):
    """The columns of one finished run (outputs PREFIX.*) against its truth."""
    with open(prefix + ".summary.json") as f:
        summary = json.load(f)
    row = {}
    for key, name, truth, histogram in (("loc", "location", location, ".sig"), ("age", "age", age, ".tre")):
        chains = regions(prefix + histogram, truth)
        pooled = summary[name]["pooled"]
        low, high = pooled["interval95"]
        row[key + "_regions_hold"] = sum(holds for holds, _ in chains)
        row[key + "_region_mass"] = statistics.mean(mass for _, mass in chains)
        row[key + "_interval_holds"] = int(low <= truth <= high)
        row[key + "_mode_error"] = pooled["mode"] - truth
        row[key + "_mean_error"] = pooled["mean"] - truth
    pooled = summary["location"]["pooled"]
    for column, key in (("loc_rhat", "rhat"), ("loc_ess_bulk", "ess_bulk"), ("loc_ess_tail", "ess_tail")):
        value = pooled.get(key)
        row[column] = float("nan") if value is None else value
    # A run with --until-converged says how far it sampled and whether it
    # reached its target; others sample "Iterations" and have no target.
    rounds = summary.get("until_converged")
    row["sampled"] = rounds["iterations"] if rounds else summary["draws_per_chain"]
    row["target_reached"] = int(rounds["target_reached"]) if rounds else "NA"
    return row


def run_one(args, index):
    folder = os.path.join(args.out, "ds%03d" % index)
    location, age, seed = make_dataset(args, index, folder)
    command = [args.mutloc, "--no-menu", "-q", "run.txt", *args.mutloc_options]
    start = time.monotonic()
    run = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - start
    if run.returncode != 0:
        raise RuntimeError("mutloc failed on %s/run.txt (status %d):\n%s" % (folder, run.returncode,
                                                                          run.stderr[-2000:]))
    row = dict(dataset=index, seed=seed, truth_location=location, truth_age=age, seconds=seconds)
    row.update(score(os.path.join(folder, "run.txt"), location, age))
    if args.sporadic_share is not None:
        with open(os.path.join(folder, "sporadic.tsv")) as f:
            row["sporadic_chromosomes"] = sum(int(line.split()[2]) for line in f.readlines()[1:])
        row["founder_auc"] = founder_auc(folder, os.path.join(folder, "run.txt"))
    return row


def share(k, n, unit):
    return "%d of %d %s (%.1f %%)" % (k, n, unit, 100 * k / n if n else float("nan"))


def totals(rows, chains):
    """The total lines (key: value) of a list of rows."""
    runs = chains * len(rows)
    lines = []
    for key, name, unit in (("loc", "location", "Morgans"), ("age", "age", "generations")):
        lines += [
            "%s regions hold the truth: %s" % (name, share(sum(r[key + "_regions_hold"] for r in rows), runs,
                                                           "chain runs")),
            "%s region mass: %.1f %% (mean)" % (name, 100 * statistics.mean(r[key + "_region_mass"] for r in rows)),
            "%s 95 %% intervals hold the truth: %s" % (name, share(sum(r[key + "_interval_holds"] for r in rows),
                                                                   len(rows), "data sets")),
            "%s mode error: %.4g %s (mean absolute)" % (name, statistics.mean(abs(r[key + "_mode_error"])
                                                                              for r in rows), unit),
            "%s mean error: %.4g %s (mean absolute)" % (name, statistics.mean(abs(r[key + "_mean_error"])
                                                                              for r in rows), unit),
        ]
    lines += [
        "location R-hat <= 1.05: %s" % share(sum(r["loc_rhat"] <= 1.05 for r in rows), len(rows), "data sets"),
        "location ESS: bulk %.1f, tail %.1f (median)" % (statistics.median(r["loc_ess_bulk"] for r in rows),
                                                          statistics.median(r["loc_ess_tail"] for r in rows)),
        "wall time per run: median %.1f s, max %.1f s" % (statistics.median(r["seconds"] for r in rows),
                                                         max(r["seconds"] for r in rows)),
    ]
    if any(r["target_reached"] != "NA" for r in rows):
        lines.append("target reached: %s; sampling iterations: median %d, max %d" % (
            share(sum(r["target_reached"] == 1 for r in rows), len(rows), "data sets"),
            statistics.median(r["sampled"] for r in rows), max(r["sampled"] for r in rows)))
    aucs = [r["founder_auc"] for r in rows if "founder_auc" in r and not math.isnan(r["founder_auc"])]
    if aucs:
        lines.append("founder probability ROC AUC: median %.3f, min %.3f, >= 0.9 in %s" % (
            statistics.median(aucs), min(aucs), share(sum(a >= 0.9 for a in aucs), len(aucs), "data sets")))
    return lines


def describe(args):
    text = ("data: %d data sets of %s, %d chromosomes, %d markers over %g Morgans, %g %% missing, seed %d; "
            "%d chains, %d burn-in + %d iterations; mutloc options: %s" % (
                args.datasets, args.data, args.chromosomes, args.loci, args.span, 100 * args.missing, args.seed,
                args.chains, args.burnin, args.iterations, " ".join(args.mutloc_options) or "none"))
    extras = [("map from %s" % args.map_file) if args.map else "",
              "two-allele markers" if args.two_alleles else "",
              ("%d control chromosomes" % args.controls) if args.controls else "",
              ("location fixed at %g" % args.location) if args.location is not None else "",
              ("%g %% sporadic chromosomes" % (100 * args.sporadic_share)) if args.sporadic_share is not None else ""]
    extras = [e for e in extras if e]
    return text + ("; " + ", ".join(extras) if extras else "")


def parse(argv):
    own, passed = (argv[:argv.index("--")], argv[argv.index("--") + 1:]) if "--" in argv else (argv, [])
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                epilog="Options after -- go to every mutloc run (e.g. -- --threads 2).")
    p.add_argument("-n", "--datasets", type=int, default=60, help="data sets (default 60)")
    p.add_argument("--chromosomes", type=int, default=40, help="patient chromosomes (default 40)")
    p.add_argument("--loci", type=int, default=12, help="markers (default 12)")
    p.add_argument("--span", type=float, default=0.02, help="map span in Morgans, first to last marker (0.02)")
    p.add_argument("--data", choices=sorted(DATA_MODES), default="haplotypes",
                   help="haplotypes, or genotypes under genetic model 0 or 1 (default haplotypes)")
    p.add_argument("--missing", type=float, default=0, help="share of patient alleles written missing (default 0)")
    p.add_argument("--chains", type=int, default=3, help="chains per run (default 3)")
    p.add_argument("--burnin", type=int, default=5000, help="burn-in iterations (default 5000)")
    p.add_argument("--iterations", type=int, default=30000, help="sampling iterations (default 30000)")
    p.add_argument("--growth-rate", type=float, default=0.05, help="population growth rate r (default 0.05)")
    p.add_argument("--sampled", type=float, default=0.01, help="proportion of the population sampled K (0.01)")
    p.add_argument("--age-bounds", type=float, nargs=2, default=[1, 300], metavar=("LOW", "HIGH"),
                   help="age bounds in generations (default 1 300)")
    p.add_argument("--seed", type=int, default=1, help="seed of the truths and data (default 1)")
    p.add_argument("--sporadic-share", type=float, metavar="P",
                   help="a share P of the patient chromosomes drawn from the control population instead of "
                        "the genealogy (haplotype data); scores the founder probabilities of runs with --sporadic")
    p.add_argument("--map", dest="map_file", metavar="FILE",
                   help="marker positions in Morgans from FILE (whitespace-separated) instead of a drawn map; "
                        "sets --loci and --span")
    p.add_argument("--two-alleles", action="store_true", help="two alleles at every marker")
    p.add_argument("--controls", type=int, metavar="N", help="N control chromosomes (default 250-400, drawn)")
    p.add_argument("--location", type=float, metavar="X", help="the true location fixed at X Morgans")
    p.add_argument("--jobs", type=int, default=1, help="data sets run side by side (default 1)")
    p.add_argument("--out", default="calibration", help="output folder (default ./calibration)")
    p.add_argument("--mutloc", default=os.path.join(HERE, "..", "build", "mutloc"),
                   help="the mutloc binary (default build/mutloc)")
    one = p.add_mutually_exclusive_group()
    one.add_argument("--dataset", type=int, metavar="I",
                     help="only data set I: simulate, run and score it into OUT/dsIII/row.json")
    one.add_argument("--gather", action="store_true",
                     help="only the table and totals, from the rows that --dataset wrote for data sets 1..N")
    args = p.parse_args(own)
    args.mutloc_options = passed
    args.mutloc = os.path.abspath(args.mutloc)
    args.map = None
    if args.map_file:
        try:
            with open(args.map_file) as f:
                args.map = [float(v) for v in f.read().split()]
        except (OSError, ValueError) as failure:
            p.error("--map: %s" % failure)
        if len(args.map) < 2 or any(a >= b for a, b in zip(args.map, args.map[1:])) or args.map[0] < 0:
            p.error("--map: positions must be at least two, increasing, from 0 up")
        args.loci, args.span = len(args.map), args.map[-1]
    if args.sporadic_share is not None and (not 0 <= args.sporadic_share <= 1 or args.data != "haplotypes"):
        p.error("--sporadic-share needs haplotype data and 0 <= P <= 1")
    if args.location is not None and not 0 <= args.location <= args.span:
        p.error("--location must lie on the map")
    if args.controls is not None and args.controls < 6:
        p.error("--controls needs at least 6 chromosomes")
    if args.datasets < 1 or args.chains < 1 or args.loci < 2 or args.chromosomes < 4 or args.jobs < 1:
        p.error("need at least 1 data set, 1 chain, 2 loci, 4 chromosomes and 1 job")
    if args.dataset is not None and not 1 <= args.dataset <= args.datasets:
        p.error("--dataset should lie between 1 and the number of data sets (-n)")
    if DATA_MODES[args.data][0] and args.chromosomes % 2:
        p.error("genotype data need an even number of chromosomes")
    if not 0 <= args.missing < 1 or args.span <= 0 or not 0 <= args.age_bounds[0] < args.age_bounds[1]:
        p.error("need 0 <= missing < 1, span > 0 and 0 <= LOW < HIGH")
    return args


def row_path(args, index):
    return os.path.join(args.out, "ds%03d" % index, "row.json")


def write_outputs(args, rows):
    """OUT/datasets.tsv and OUT/totals.txt, and the totals on standard output."""
    rows.sort(key=lambda r: r["dataset"])
    columns = COLUMNS + (SPORADIC_COLUMNS if args.sporadic_share is not None else [])
    with open(os.path.join(args.out, "datasets.tsv"), "w") as f:
        f.write("\t".join(columns) + "\n")
        for r in rows:
            f.write("\t".join(("%.6g" % r[c]) if isinstance(r[c], float) else str(r[c]) for c in columns) + "\n")
    text = "\n".join([describe(args)] + totals(rows, args.chains)) + "\n"
    with open(os.path.join(args.out, "totals.txt"), "w") as f:
        f.write(text)
    print(text, end="")


def main(argv):
    args = parse(argv)
    os.makedirs(args.out, exist_ok=True)
    # One data set as a job of its own (a workflow engine runs them side by
    # side, workflow/calibrate.smk): its row, at full precision, so that the
    # gathered totals are those of a run of the whole set.
    if args.dataset:
        try:
            row = run_one(args, args.dataset)
        except (RuntimeError, sim.SimulationFailed) as failure:
            sys.exit("calibrate: %s" % failure)
        with open(row_path(args, args.dataset) + ".tmp", "w") as f:
            json.dump(row, f)
        os.replace(row_path(args, args.dataset) + ".tmp", row_path(args, args.dataset))
        return
    if args.gather:
        rows = []
        for i in range(1, args.datasets + 1):
            try:
                with open(row_path(args, i)) as f:
                    rows.append(json.load(f))
            except (OSError, ValueError):
                sys.exit("calibrate: no result of data set %d (%s); run it with --dataset %d" % (i, row_path(args, i),
                                                                                                i))
        write_outputs(args, rows)
        return
    rows = []
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = [pool.submit(run_one, args, i) for i in range(1, args.datasets + 1)]
        try:
            for future in concurrent.futures.as_completed(futures):
                row = future.result()
                rows.append(row)
                print("data set %d: location %.6g, %d of %d regions hold it, %.1f s" % (
                    row["dataset"], row["truth_location"], row["loc_regions_hold"], args.chains, row["seconds"]),
                    file=sys.stderr)
        except (RuntimeError, sim.SimulationFailed) as failure:
            for f in futures:
                f.cancel()
            sys.exit("calibrate: %s" % failure)
    write_outputs(args, rows)


if __name__ == "__main__":
    main(sys.argv[1:])
