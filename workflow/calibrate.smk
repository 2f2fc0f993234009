# Calibration on data simulated from the model (validation/README.md), one
# job per data set: a cluster runs hundreds of them in the time of a few.
#
#   snakemake -s workflow/calibrate.smk --configfile workflow/calibrate.yaml --cores 2
#
# Each job runs validation/calibrate.py --dataset I (simulate, run, score
# data set I); the last one gathers the rows into OUT/datasets.tsv and
# OUT/totals.txt, the same files as one run of calibrate.py with the same
# options. Data set I depends only on the seed and I, so adding data sets
# later runs only the new ones.

import os
import shlex

REPOSITORY = os.path.dirname(workflow.basedir)
CALIBRATE = os.path.join(REPOSITORY, "validation", "calibrate.py")
OUT = str(config.get("out", "calibration"))
DATASETS = int(config.get("datasets", 60))
# The harness's own options other than -n, --out, --mutloc and --jobs.
OPTIONS = str(config.get("calibrate_options", ""))
MUTLOC_OPTIONS = str(config.get("mutloc_options", ""))
MUTLOC = str(config.get("mutloc") or os.path.join(REPOSITORY, "build", "mutloc"))
THREADS = int(config.get("threads", 1))
HARNESS = "python3 %s -n %d --out %s --mutloc %s %s" % (CALIBRATE, DATASETS, shlex.quote(OUT),
                                                       shlex.quote(os.path.abspath(MUTLOC)), OPTIONS)


def mutloc_options(threads):
    """With streams of their own (--mix) the chains may use the job's threads
    without changing any output."""
    options = shlex.split(MUTLOC_OPTIONS)
    if {"--mix", "--streams"} & set(options) and "--threads" not in options:
        options += ["--threads", str(threads)]
    return shlex.join(options)


wildcard_constraints:
    index="[0-9]+",


rule all:
    input:
        OUT + "/totals.txt",


rule dataset:
    output:
        OUT + "/ds{index}/row.json",
    log:
        OUT + "/logs/ds{index}.log",
    params:
        mutloc=lambda wildcards, threads: mutloc_options(threads),
    threads: THREADS
    retries: int(config.get("retries", 1))
    resources:
        mem_mb=int(config.get("mem_mb", 1000)),
        runtime=int(config.get("runtime", 60)),
    shell:
        "{HARNESS} --dataset {wildcards.index} -- {params.mutloc} > {log} 2>&1"


rule totals:
    input:
        expand(OUT + "/ds{index}/row.json", index=["%03d" % i for i in range(1, DATASETS + 1)]),
    output:
        OUT + "/datasets.tsv",
        OUT + "/totals.txt",
    threads: 1
    resources:
        mem_mb=500,
        runtime=10,
    shell:
        "{HARNESS} --gather -- {MUTLOC_OPTIONS}"
