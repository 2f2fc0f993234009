"""The calibration harness on a few small data sets: it runs end to end, its
table has the columns the README documents and its totals add the table up,
its truths come from the age prior within the bounds, and a truth outside a
region is not counted as held.

Usage: calibrate_test.py MUTLOC WORKDIR
"""

import csv
import json
import math
import os
import re
import shutil
import subprocess
import sys
import unittest

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "validation"))
import calibrate  # noqa: E402

MUTLOC, WORK = sys.argv[1], os.path.abspath(sys.argv[2])
SMALL = ["--chromosomes", "8", "--loci", "4", "--chains", "2", "--burnin", "200", "--iterations", "2000",
         "--missing", "0.05", "--mutloc", MUTLOC]


def harness(out, *options):
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sys.executable, os.path.join(SOURCE, "validation", "calibrate.py"), "--out", out, *SMALL,
                    *options], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Harness(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = os.path.join(WORK, "haplotypes")
        harness(cls.out, "-n", "3", "--seed", "7")
        with open(os.path.join(cls.out, "datasets.tsv")) as f:
            cls.rows = list(csv.DictReader(f, delimiter="\t"))
        with open(os.path.join(cls.out, "totals.txt")) as f:
            cls.totals = dict(line.rstrip("\n").split(": ", 1) for line in f)

    def test_table_has_the_documented_columns(self):
        with open(os.path.join(SOURCE, "validation", "README.md")) as f:
            documented = re.findall(r"^\| `(\w+)` \|", f.read(), re.M)
        self.assertEqual(list(self.rows[0]), documented)
        self.assertEqual([r["dataset"] for r in self.rows], ["1", "2", "3"])

    def test_totals_add_up_the_table(self):
        for key, name in (("loc", "location"), ("age", "age")):
            held = sum(int(r[key + "_regions_hold"]) for r in self.rows)
            self.assertTrue(self.totals[name + " regions hold the truth"].startswith("%d of 6 chain runs" % held))
            held = sum(int(r[key + "_interval_holds"]) for r in self.rows)
            self.assertTrue(self.totals[name + " 95 % intervals hold the truth"].startswith("%d of 3 data" % held))
            error = sum(abs(float(r[key + "_mode_error"])) for r in self.rows) / 3
            self.assertAlmostEqual(float(self.totals[name + " mode error"].split()[0]), error, delta=1e-3 * error)
        converged = sum(float(r["loc_rhat"]) <= 1.05 for r in self.rows)
        self.assertTrue(self.totals["location R-hat <= 1.05"].startswith("%d of 3 data sets" % converged))
        self.assertIn("wall time per run", self.totals)

    def test_truths_lie_in_their_bounds(self):
        for r in self.rows:
            self.assertTrue(0 <= float(r["truth_location"]) <= 0.02)
            self.assertTrue(1 <= float(r["truth_age"]) <= 300)

    def test_a_truth_outside_a_region_is_not_held(self):
        prefix = os.path.join(self.out, "ds001", "run.txt")
        checked = 0
        for chain, bars in enumerate(read_bars(prefix + ".sig")):
            inside = [c for c, flag in bars if flag]
            outside = [c for c, flag in bars if not flag]
            if inside and outside:
                self.assertFalse(calibrate.regions(prefix + ".sig", outside[0])[chain][0])
                self.assertTrue(calibrate.regions(prefix + ".sig", inside[0])[chain][0])
                checked += 1
        self.assertGreater(checked, 0)
        self.assertEqual(calibrate.score(prefix, -1.0, -1.0)["loc_regions_hold"], 0)
        low, high = read_interval(prefix)
        self.assertEqual(calibrate.score(prefix, high + (high - low) / 100, 50)["loc_interval_holds"], 0)
        self.assertEqual(calibrate.score(prefix, (low + high) / 2, 50)["loc_interval_holds"], 1)

    def test_genotype_data_of_both_models_run(self):
        for mode in ("genotypes0", "genotypes1"):
            out = os.path.join(WORK, mode)
            harness(out, "-n", "1", "--data", mode)
            self.assertTrue(os.path.exists(os.path.join(out, "totals.txt")))


class SporadicShare(unittest.TestCase):
    def test_the_share_is_drawn_from_the_population_and_scored(self):
        out = os.path.join(WORK, "sporadic")
        harness(out, "-n", "1", "--seed", "7", "--sporadic-share", "0.5", "--", "--mix", "--sporadic")
        with open(os.path.join(out, "ds001", "sporadic.tsv")) as f:
            rows = [line.split() for line in f.readlines()[1:]]
        self.assertEqual(sum(int(r[2]) for r in rows), 4)
        self.assertTrue(all(0 <= int(r[2]) <= int(r[1]) for r in rows))
        with open(os.path.join(out, "datasets.tsv")) as f:
            row = next(csv.DictReader(f, delimiter="\t"))
        self.assertEqual(row["sporadic_chromosomes"], "4")
        self.assertTrue(0 <= float(row["founder_auc"]) <= 1)
        # A share of 0 leaves the data set as it is without the option.
        zero = os.path.join(WORK, "sporadic0")
        harness(zero, "-n", "1", "--seed", "7", "--sporadic-share", "0")
        with open(os.path.join(zero, "ds001", "run.txt")) as a, \
                open(os.path.join(WORK, "haplotypes", "ds001", "run.txt")) as b:
            self.assertEqual(a.read(), b.read())


class AgePrior(unittest.TestCase):
    def test_drawn_ages_follow_the_prior_within_the_bounds(self):
        # The prior density of the age (the model's), integrated numerically.
        def density(t, n, r, K):
            return math.exp(math.log(2.0 * n) + 2 * math.log(r) + n * math.log(K) - r * t +
                            (n - 1) * math.log(1 - math.exp(-r * t)) -
                            (n + 1) * math.log(K - (K - 2 * r) * math.exp(-r * t)))

        def mass(a, b, n, r, K, steps=2000):
            h = (b - a) / steps
            return h / 3 * sum((1 if i in (0, steps) else 4 if i % 2 else 2) * density(a + i * h, n, r, K)
                               for i in range(steps + 1))

        for n, r, K, low, high in ((40, 0.05, 0.01, 1, 300), (4, 0.05, 0.01, 1, 300), (20, 0.1, 0.05, 100, 150)):
            total = mass(low, high, n, r, K)
            for u in (0.05, 0.5, 0.95):
                age = calibrate.draw_age(u, n, r, K, low, high)
                self.assertTrue(low <= age <= high)
                self.assertAlmostEqual(mass(low, age, n, r, K) / total, u, delta=1e-4)


def read_bars(path):
    """Per chain, the (centre, flagged) pairs of a .sig file."""
    chains, bars = [], []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields and fields[0].endswith("%"):
                chains.append(bars)
                bars = []
            elif fields:
                bars.append((float(fields[0]), fields[3] == "1"))
    return chains


def read_interval(prefix):
    with open(prefix + ".summary.json") as f:
        return json.load(f)["location"]["pooled"]["interval95"]


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1])
