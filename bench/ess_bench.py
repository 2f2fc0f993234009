#!/usr/bin/env python3
"""What users wait for: bulk effective sample size of the location per second.

Usage: ess_bench.py [OPTIONS] BINARY_A [BINARY_B]

Simulates data sets as the calibration harness does (validation/calibrate.py:
truths drawn from the model's prior, data simulated from the model) of three
shapes -- 40 chromosomes x 12 markers, 100 x 20, and genotypes under genetic
model 0 of 40 x 12 -- and runs each binary on each of them with 3 chains,
2000 burn-in + 10000 sampling iterations and --mix (the options after --
replace it), the two binaries one after the other, in alternating order. Per
run: the wall time, the pooled bulk ESS of the location from PREFIX.summary.json,
and their ratio; per shape and binary the median over the data sets, and
B over A. Wall time is what is measured: run it alone on the machine (under
flock /work/heavy.lock here) and say what else ran.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "validation"))
import calibrate  # noqa: E402  (the data sets and their settings)

SHAPES = {
    "hap40x12": dict(data="haplotypes", chromosomes=40, loci=12),
    "hap100x20": dict(data="haplotypes", chromosomes=100, loci=20),
    "geno0-40x12": dict(data="genotypes0", chromosomes=40, loci=12),
}


def dataset_args(shape, binary, seed):
    """The calibration harness's settings for one shape (its defaults apart
    from the shape, the run length and the seed)."""
    args = calibrate.parse(["--burnin", "2000", "--iterations", "10000", "--seed", str(seed)])
    for key, value in SHAPES[shape].items():
        setattr(args, key, value)
    args.mutloc = binary
    return args


def run(binary, folder, options):
    start = time.monotonic()
    done = subprocess.run([binary, "run.txt", "--no-menu", "-q", *options], cwd=folder, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit("ess_bench: %s failed in %s:\n%s" % (binary, folder, done.stderr[-2000:]))
    with open(os.path.join(folder, "run.txt.summary.json")) as f:
        ess = json.load(f)["location"]["pooled"]["ess_bulk"] or 0.0
    return seconds, ess


def main(argv):
    own, passed = (argv[:argv.index("--")], argv[argv.index("--") + 1:]) if "--" in argv else (argv, ["--mix"])
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("binaries", nargs="+", metavar="BINARY")
    p.add_argument("-n", "--datasets", type=int, default=3, help="data sets per shape (default 3)")
    p.add_argument("--shapes", default=",".join(SHAPES), help="shapes to run (default all: %s)" % ",".join(SHAPES))
    p.add_argument("--seed", type=int, default=1, help="seed of the data sets (default 1: the calibration's)")
    p.add_argument("--work", help="folder for the data and runs (default: a temporary one)")
    args = p.parse_args(own)
    binaries = [os.path.abspath(b) for b in args.binaries]
    if len(binaries) > 2:
        p.error("one or two binaries")
    work = args.work or tempfile.mkdtemp(prefix="ess-bench-")
    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print("ess_bench: %s; options %s; %d data sets per shape; load at start %s" % (
        " vs ".join(binaries), " ".join(passed), args.datasets, load))
    letters = "AB"
    print("%-12s %3s  %s" % ("shape", "ds", "  ".join("%s: seconds  ESS  ESS/s" % letters[i]
                                                         for i in range(len(binaries)))))
    for shape in args.shapes.split(","):
        rates = [[] for _ in binaries]
        for index in range(1, args.datasets + 1):
            folders = []
            for i, binary in enumerate(binaries):
                folder = os.path.join(work, shape, "ds%03d" % index, letters[i])
                if not os.path.exists(os.path.join(folder, "run.txt")):
                    calibrate.make_dataset(dataset_args(shape, binaries[-1], args.seed), index, folder)
                folders.append(folder)
            order = range(len(binaries)) if index % 2 else reversed(range(len(binaries)))
            results = {}
            for i in order:
                results[i] = run(binaries[i], folders[i], passed)
            cells = []
            for i in range(len(binaries)):
                seconds, ess = results[i]
                rates[i].append(ess / seconds)
                cells.append("%9.1f %6.0f %6.1f" % (seconds, ess, ess / seconds))
            print("%-12s %3d  %s" % (shape, index, "   ".join(cells)), flush=True)
        medians = [statistics.median(r) for r in rates]
        line = "%-12s med  %s" % (shape, "   ".join("%s %6.1f ESS/s" % (letters[i], m) for i, m in enumerate(medians)))
        if len(binaries) == 2 and medians[0] > 0:
            line += "   B/A %.2f" % (medians[1] / medians[0])
        print(line, flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
