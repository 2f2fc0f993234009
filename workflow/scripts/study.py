#!/usr/bin/env python3
"""The steps of the study workflow (workflow/Snakefile) that need more than a
command line: standard library only, so that a cluster node needs nothing but
Python, the programs and R.

  study.py prepare  mutloc-prepare for one region (its options after --),
                    then mutloc --check on the parameter file; writes
                    REGION/prepare.json, which says whether the region can
                    run (and if not, the tool's message) and the memory to
                    reserve for its run
  study.py run      mutloc on one region, resumed from its checkpoint when an
                    earlier attempt was stopped; fails unless the run
                    completed, and then writes the note --done names
  study.py table    the study table (results/regions.tsv) from every region's
                    prepare.json and PREFIX.summary.json

A failing mutloc-prepare or mutloc --check is the region's result, not the
workflow's failure: it ends up in the table and the other regions go on. A
tool killed by a signal, or one that cannot be started, fails the job, so that
Snakemake (or Slurm) tries again.
"""

import argparse
import json
import math
import os
import re
import shlex
import signal
import subprocess
import sys

PARAM = "region.txt"  # a region's parameter file, in its own folder

COLUMNS = ["region", "span", "status", "chromosome", "markers", "chromosomes",
           "location_median", "location_mode", "location_low", "location_high",
           "location_median_bp", "location_mode_bp", "location_low_bp", "location_high_bp",
           "age_median", "age_low", "age_high",
           "location_rhat", "location_ess_bulk", "age_rhat", "age_ess_bulk", "converged", "seconds", "message"]

# The program's own aim (its warning when a run falls short of it).
RHAT_AIM, ESS_AIM = 1.01, 400


def first_message(text, tool):
    """The line a tool's failure is known by: its own "tool: " line if it
    wrote one, otherwise the first line of its output."""
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    for line in lines:
        if line.startswith(tool + ": ") and "warning" not in line:
            return line[len(tool) + 2:]
    return lines[0] if lines else "(no message)"


def write_json(path, value):
    with open(path + ".tmp", "w") as f:
        json.dump(value, f, indent=2)
        f.write("\n")
    os.replace(path + ".tmp", path)


def memory_bytes(check_output):
    """The "Estimated memory: about 97.7 MB." line of mutloc --check."""
    match = re.search(r"^Estimated memory: about ([0-9.]+) (kB|MB|GB)", check_output, re.M)
    if not match:
        return None
    return float(match.group(1)) * {"kB": 1e3, "MB": 1e6, "GB": 1e9}[match.group(2)]


def tool_failed(run, what):
    """A status the tool gives to bad input (1, 2, 255) is the region's
    result; a signal or anything else is the job's failure."""
    if run.returncode not in (1, 2, 255):
        sys.exit("%s ended with status %d:\n%s" % (what, run.returncode, run.stdout + run.stderr))


def prepare(args):
    folder = os.path.dirname(os.path.abspath(args.out))
    param = os.path.join(folder, PARAM)
    # A new parameter file makes an earlier run's checkpoint useless (mutloc
    # would refuse it as belonging to another file).
    for stale in (param + ".ckpt", param + ".ckpt.options", param + ".samples"):
        if os.path.exists(stale):
            os.remove(stale)
    result = {"region": args.name, "span": args.span}
    command = [args.mutloc_prepare, *args.options, "-o", param]
    print(" ".join(command), flush=True)
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    print(run.stdout + run.stderr, end="", flush=True)
    if run.returncode != 0:
        tool_failed(run, "mutloc-prepare")
        result.update(status="failed", message="mutloc-prepare: " + first_message(run.stderr + run.stdout,
                                                                                  "mutloc-prepare"))
        write_json(args.out, result)
        return
    command = [args.mutloc, "--check", "--no-menu", param, *args.mutloc_options]
    print(" ".join(command), flush=True)
    check = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, cwd=folder)
    print(check.stdout + check.stderr, end="", flush=True)
    if check.returncode != 0:
        tool_failed(check, "mutloc --check")
        result.update(status="failed", message="mutloc: " + first_message(check.stdout + check.stderr, "mutloc"))
    else:
        result.update(status="ok", memory_bytes=memory_bytes(check.stdout))
    write_json(args.out, result)


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return None


def summary_of(prefix):
    try:
        with open(prefix + ".summary.json") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def run(args):
    param = os.path.abspath(args.param)
    folder, name = os.path.split(param)
    checkpoint = param + ".ckpt"
    options_note = checkpoint + ".options"  # the options the checkpointed run was started with
    options = json.dumps(args.options)
    # A resume is the fresh run's command with --resume CHECKPOINT after the
    # program, the command mutloc itself writes into the summary of a run
    # that stopped (resume_command).
    command = [args.mutloc]
    if os.path.exists(checkpoint):
        if read_text(options_note) == options:
            print("study: resuming from %s" % checkpoint, flush=True)
            command += ["--resume", name + ".ckpt"]
        else:
            print("study: %s was written with other mutloc options; starting afresh" % checkpoint, flush=True)
            os.remove(checkpoint)
    with open(options_note, "w") as f:
        f.write(options)
    command += ["--no-menu", "-q", "--checkpoint-every", str(args.checkpoint_every), name, *args.options]
    # The thread count is the job's, not part of the run's options: it changes
    # no output (chains on streams of their own), and a resumed run may have
    # another.
    if {"--mix", "--streams"} & set(args.options) and "--threads" not in args.options:
        command += ["--threads", str(args.threads)]
    print(" ".join(command), flush=True)
    # A stop reaches mutloc itself (Ctrl-C reaches the whole process group,
    # Slurm signals every process of the job): it then writes its checkpoint
    # and its files, and ends with 128 + the signal. This process only waits
    # for it and passes no signal on: one that came more than a second after
    # the first would end mutloc at once.
    for stop in (signal.SIGINT, signal.SIGTERM):
        signal.signal(stop, lambda *_: None)
    status = subprocess.call(command, cwd=folder, stdin=subprocess.DEVNULL)
    summary = summary_of(param)
    # A summary that says whether the run completed is believed; without that
    # field, a run that stopped early keeps its checkpoint.
    if summary is not None and "completed" in summary:
        completed = status == 0 and bool(summary["completed"])
    else:
        completed = status == 0 and summary is not None and not os.path.exists(checkpoint)
    if not completed:
        sys.exit("\nstudy: mutloc on %s did not complete (status %d)%s" % (
            param, status, "; the next attempt resumes from " + checkpoint if os.path.exists(checkpoint) else ""))
    os.remove(options_note)
    write_json(args.done, {"param": param, "status": status, "resumed": "--resume" in command})


def parameter_counts(param):
    """#chromosomes and #loci of a parameter file (the value under each label)."""
    counts = {}
    with open(param) as f:
        lines = [line.strip() for line in f]
    for label, key in (("#chromosomes", "chromosomes"), ("#loci per chromosome", "markers")):
        if label in lines:
            counts[key] = int(lines[lines.index(label) + 1].split()[0])
    return counts


def text(value):
    if value is None or (isinstance(value, float) and not math.isfinite(value)):
        return "NA"
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, float):
        return "%.6g" % value
    return str(value)


def region_row(folder):
    with open(os.path.join(folder, "prepare.json")) as f:
        prepared = json.load(f)
    row = dict(region=prepared["region"], span=prepared["span"], status=prepared["status"],
               message=prepared.get("message", ""))
    if prepared["status"] != "ok":
        return row
    prefix = os.path.join(folder, PARAM)
    row.update(parameter_counts(prefix))
    summary = summary_of(prefix)
    location, age = summary["location"], summary["age"]
    pooled = location["pooled"]
    row.update(location_median=pooled["median"], location_mode=pooled["mode"],
               location_low=pooled["interval95"][0], location_high=pooled["interval95"][1],
               chromosome=location.get("chromosome"))
    bp = pooled.get("base_pairs")
    if bp:
        row.update(location_median_bp=bp["median"], location_mode_bp=bp["mode"],
                   location_low_bp=bp["interval95"][0], location_high_bp=bp["interval95"][1])
    row.update(age_median=age["pooled"]["median"], age_low=age["pooled"]["interval95"][0],
               age_high=age["pooled"]["interval95"][1])
    for key, quantity in (("location", location), ("age", age)):
        row[key + "_rhat"] = quantity["pooled"].get("rhat")
        row[key + "_ess_bulk"] = quantity["pooled"].get("ess_bulk")
    if "until_converged" in summary:
        # A run in rounds says whether it reached its own targets.
        row["converged"] = bool(summary["until_converged"]["target_reached"])
    else:
        diagnostics = [(row[k + "_rhat"], row[k + "_ess_bulk"]) for k in ("location", "age")]
        # One chain has no R-hat: its ESS alone decides.
        row["converged"] = all((rhat is None or rhat <= RHAT_AIM) and ess is not None and ess >= ESS_AIM
                               for rhat, ess in diagnostics)
    row["seconds"] = round(summary["seconds"], 1)
    return row


def table(args):
    rows = [region_row(os.path.join(args.results, name)) for name in args.regions]
    with open(args.out + ".tmp", "w") as f:
        f.write("\t".join(COLUMNS) + "\n")
        for row in rows:
            f.write("\t".join(text(row.get(c)).replace("\t", " ") for c in COLUMNS) + "\n")
    os.replace(args.out + ".tmp", args.out)
    failed = [r["region"] for r in rows if r["status"] != "ok"]
    print("study: %d regions, %d ran%s" % (len(rows), len(rows) - len(failed),
                                          "; failed: " + ", ".join(failed) if failed else ""))


def parse(argv):
    # Everything after "--" goes to the tool unchanged.
    own, passed = (argv[:argv.index("--")], argv[argv.index("--") + 1:]) if "--" in argv else (argv, [])
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    steps = p.add_subparsers(dest="step", required=True)
    s = steps.add_parser("prepare")
    s.add_argument("--name", required=True)
    s.add_argument("--span", required=True, help="CHR:START-END, as the table gives it")
    s.add_argument("--mutloc-prepare", required=True)
    s.add_argument("--mutloc", required=True)
    s.add_argument("--mutloc-options", default="", help="the run's mutloc options, for its check")
    s.add_argument("--out", required=True, help="REGION/prepare.json")
    s = steps.add_parser("run")
    s.add_argument("--mutloc", required=True)
    s.add_argument("--param", required=True)
    s.add_argument("--checkpoint-every", type=int, default=1000)
    s.add_argument("--threads", type=int, default=1, help="the job's threads")
    s.add_argument("--done", required=True, help="the note written once the run has completed")
    s = steps.add_parser("table")
    s.add_argument("--results", required=True)
    s.add_argument("--out", required=True)
    s.add_argument("regions", nargs="+")
    args = p.parse_args(own)
    if args.step == "prepare":
        args.mutloc_options = shlex.split(args.mutloc_options)
    args.options = passed
    return args


def main(argv):
    args = parse(argv)
    {"prepare": prepare, "run": run, "table": table}[args.step](args)


if __name__ == "__main__":
    main(sys.argv[1:])
