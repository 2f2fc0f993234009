"""The Snakemake workflows on short runs: a study of the VCF example's two
regions and one too small for mutloc-prepare, run whole; run again (nothing to
do); stopped with Ctrl-C while a region's mutloc runs and started again (the
finished region stays done, the stopped one resumes from its checkpoint and
ends as if never stopped); and the calibration as one job per data set.

Usage: workflow_test.py MUTLOC MUTLOC-PREPARE WORKDIR
"""

import csv
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
MUTLOC, PREPARE, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
EXAMPLE = os.path.join(SOURCE, "examples", "vcf")

STUDY = """vcf: {example}/region.vcf.gz
cases: {example}/cases.txt
controls: {example}/controls.txt
map: {example}/region.map.txt
regions:
  - {{name: peak, region: "7:5,001,000-5,250,000"}}
  - {{name: flank, region: "7:5,250,000-5,400,000"}}
  - {{name: tiny, region: "7:5,000,000-5,010,000"}}
prepare_options: "--burn-in 200 --iterations 3000"
mutloc_options: "--mix --until-converged --max-iterations 6000"
checkpoint_every: 200
mutloc: {mutloc}
mutloc_prepare: {prepare}
"""


def study_folder(name):
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "study.yaml"), "w") as f:
        f.write(STUDY.format(example=EXAMPLE, mutloc=MUTLOC, prepare=PREPARE))
    return folder


def snakemake(folder, cores, **popen):
    command = ["snakemake", "-s", os.path.join(SOURCE, "workflow", "Snakefile"), "--configfile", "study.yaml",
               "--cores", str(cores)]
    return subprocess.Popen(command, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            **popen)


def finish(process):
    out = process.communicate()[0]
    return process.returncode, out


def read_table(folder):
    with open(os.path.join(folder, "results", "regions.tsv")) as f:
        return {row["region"]: row for row in csv.DictReader(f, delimiter="\t")}


def regions_run(out, rule):
    """The regions of the jobs of a rule that a Snakemake log shows."""
    regions = []
    for block in out.split("\n\n"):
        lines = block.strip().splitlines()
        if any(line.strip() == "rule %s:" % rule for line in lines):
            regions += [line.split("region=")[1] for line in lines if "wildcards: region=" in line]
    return regions


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class Study(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.whole = study_folder("whole")
        cls.status, cls.log = finish(snakemake(cls.whole, 2))

    def test_every_region_is_in_the_table_and_a_failed_one_says_why(self):
        self.assertEqual(self.status, 0, self.log)
        table = read_table(self.whole)
        self.assertEqual(list(table), ["peak", "flank", "tiny"])
        tiny = table["tiny"]
        self.assertEqual(tiny["status"], "failed")
        self.assertIn("fewer than two usable markers", tiny["message"])
        self.assertEqual(tiny["location_median"], "NA")
        for name, markers in (("peak", "12"), ("flank", "8")):
            row = table[name]
            self.assertEqual((row["status"], row["markers"], row["chromosomes"], row["chromosome"]),
                             ("ok", markers, "60", "7"))
            with open(os.path.join(self.whole, "results", name, "region.txt.summary.json")) as f:
                summary = json.load(f)
            pooled = summary["location"]["pooled"]
            self.assertEqual(int(row["location_median_bp"]), pooled["base_pairs"]["median"])
            self.assertEqual(int(row["location_high_bp"]), pooled["base_pairs"]["interval95"][1])
            self.assertAlmostEqual(float(row["location_low"]), pooled["interval95"][0], delta=1e-5 * pooled["interval95"][0])
            self.assertAlmostEqual(float(row["age_median"]), summary["age"]["pooled"]["median"], places=2)
            self.assertAlmostEqual(float(row["location_rhat"]), pooled["rhat"], places=4)
            self.assertEqual(row["converged"], "yes" if summary["until_converged"]["target_reached"] else "no")
            self.assertTrue(os.path.exists(os.path.join(self.whole, "results", name, "region.txt.report",
                                                        "hist-location.png")))
        self.assertTrue(read_bytes(os.path.join(self.whole, "results", "regions.pdf")).startswith(b"%PDF"))

    def test_a_second_invocation_does_nothing(self):
        self.assertEqual(self.status, 0, self.log)
        table = os.path.join(self.whole, "results", "regions.tsv")
        before = os.stat(table).st_mtime_ns
        status, out = finish(snakemake(self.whole, 2))
        self.assertEqual(status, 0, out)
        self.assertIn("Nothing to be done", out)
        self.assertEqual(os.stat(table).st_mtime_ns, before)

    def test_a_stopped_study_resumes_where_it_stopped(self):
        self.assertEqual(self.status, 0, self.log)
        folder = study_folder("stopped")
        # One job at a time: once one region has finished and the other's run
        # has written a checkpoint, Ctrl-C reaches the whole process group.
        process = snakemake(folder, 1, start_new_session=True)
        deadline = time.monotonic() + 300
        while True:
            done = glob.glob(os.path.join(folder, "results", "*", "mutloc.done"))
            running = glob.glob(os.path.join(folder, "results", "*", "region.txt.ckpt"))
            if done and running:
                break
            self.assertIsNone(process.poll(), "the study finished before it could be stopped")
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        os.killpg(process.pid, signal.SIGINT)
        status, out = finish(process)
        self.assertNotEqual(status, 0)
        while True:  # until mutloc has written its files and ended
            try:
                os.killpg(process.pid, 0)
            except ProcessLookupError:
                break
            time.sleep(0.05)
        finished = os.path.basename(os.path.dirname(done[0]))
        stopped = os.path.basename(os.path.dirname(running[0]))
        self.assertTrue(os.path.exists(running[0]), "the stopped run keeps its checkpoint")
        finished_at = os.stat(done[0]).st_mtime_ns

        status, out = finish(snakemake(folder, 2))
        self.assertEqual(status, 0, out)
        self.assertEqual(regions_run(out, "mutloc"), [stopped])
        self.assertEqual(os.stat(done[0]).st_mtime_ns, finished_at)
        with open(os.path.join(folder, "results", stopped, "mutloc.log")) as f:
            self.assertIn("study: resuming from", f.read())
        for suffix in (".dat", ".sig", ".tre"):
            self.assertEqual(read_bytes(os.path.join(folder, "results", stopped, "region.txt" + suffix)),
                             read_bytes(os.path.join(self.whole, "results", stopped, "region.txt" + suffix)), suffix)
        resumed, whole = read_table(folder), read_table(self.whole)
        for name in whole:
            del resumed[name]["seconds"], whole[name]["seconds"]
        self.assertEqual(resumed, whole)


class Calibration(unittest.TestCase):
    def test_jobs_per_data_set_gather_the_harness_totals(self):
        options = ["--chromosomes", "8", "--loci", "4", "--chains", "2", "--burnin", "200", "--iterations", "1000",
                   "--seed", "3"]
        out = os.path.join(WORK, "calibration")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        subprocess.run([sys.executable, os.path.join(SOURCE, "validation", "calibrate.py"), "-n", "3", *options,
                        "--mutloc", MUTLOC, "--out", "direct"], cwd=out, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        run = subprocess.run(["snakemake", "-s", os.path.join(SOURCE, "workflow", "calibrate.smk"), "--cores", "2",
                              "--config", "datasets=3", "calibrate_options=" + " ".join(options),
                              "mutloc=" + MUTLOC, "out=jobs"], cwd=out, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
        self.assertEqual(run.returncode, 0, run.stdout)

        def without_wall_time(path):
            with open(os.path.join(out, path)) as f:
                return [line.rsplit("\t", 1)[0] for line in f if not line.startswith("wall time")]

        for name in ("totals.txt", "datasets.tsv"):
            self.assertEqual(without_wall_time("jobs/" + name), without_wall_time("direct/" + name), name)
        self.assertEqual(len(without_wall_time("jobs/datasets.tsv")), 4)


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1])
