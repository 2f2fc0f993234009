#!/usr/bin/env bash
# The study workflow through a real Slurm: a one-node cluster on this machine
# (munged with its own key and socket, slurmctld and slurmd with a generated
# slurm.conf, all in a temporary folder and stopped at the end, whatever
# happens), the shipped two-region example submitted through it with the
# sample profile, then checks that every job went through Slurm (its job
# completion log) and that the study table equals that of a local run.
#
# Usage: tests/workflow/cluster_test.sh MUTLOC MUTLOC-PREPARE WORKDIR
# Needs root (the daemons run as root), and the Debian packages slurm-wlm,
# munge and snakemake.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 MUTLOC MUTLOC-PREPARE WORKDIR" >&2; exit 2; }
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
mutloc="$(realpath "$1")" prepare="$(realpath "$2")"
mkdir -p "$3" && work="$(cd "$3" && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "cluster_test: the one-node cluster runs as root" >&2; exit 1; }

tmp="$(mktemp -d /tmp/mutloc-slurm.XXXXXX)"
pids=()
stop_cluster() {
  local status=$? pid
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
  if [ $status -ne 0 ]; then
    echo "cluster_test: failed; the daemons' logs:" >&2
    tail -n 20 "$tmp"/*.log >&2 2> /dev/null || true
  fi
  rm -rf "$tmp"
  exit $status
}
trap stop_cluster EXIT
# Bash runs a trap only once its foreground command ends: the long commands
# run in the background, waited for, so that a stop is handled at once.
child=""
waited() { "$@" & child=$!; wait "$child"; }
trap '[ -z "$child" ] || kill "$child" 2> /dev/null; exit 130' INT TERM

# Started in the foreground mode each daemon has, so that its pid is ours;
# what they print goes beside their logs.
start() { "$@" > "$tmp/$(basename "$1").out.log" 2>&1 & pids+=($!); }

# munge: a key of its own and a socket in the temporary folder.
mkdir -m 700 "$tmp/munge"
mungekey --create --keyfile "$tmp/munge/munge.key"
start munged --foreground --force --socket "$tmp/munge/socket" --key-file "$tmp/munge/munge.key" \
  --pid-file "$tmp/munge/pid" --log-file "$tmp/munged.log" --seed-file "$tmp/munge/seed"
for _ in $(seq 100); do [ -S "$tmp/munge/socket" ] && break; sleep 0.1; done

# Free ports for the controller and the node, away from a cluster's usual ones.
read -r ctld_port node_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
host="$(hostname -s)"
mkdir -p "$tmp/state" "$tmp/spool"
cat > "$tmp/slurm.conf" << EOF
ClusterName=mutloctest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$tmp/munge/socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$tmp/jobcomp.log
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
MpiDefault=none
NodeName=mutlocnode NodeHostname=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=8000 State=UNKNOWN
PartitionName=test Nodes=mutlocnode Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$tmp/slurm.conf" USER="${USER:-$(id -un)}"
start slurmctld -D -i -f "$SLURM_CONF"
start slurmd -D -N mutlocnode -f "$SLURM_CONF"
for _ in $(seq 150); do
  sinfo -h -N -o %T 2> /dev/null | grep -q idle && break
  sleep 0.2
done
sinfo -h -N -o '%N %T' | grep -q idle || { echo "cluster_test: the node did not come up" >&2; exit 1; }

# The example twice: on this machine and through Slurm.
# Short runs: the flanking region holds no mutation, and in rounds it would
# sample to the example's --max-iterations twice (here and through Slurm).
settings=(mutloc="$mutloc" mutloc_prepare="$prepare" "mutloc_options=--mix --until-converged --max-iterations 6000")
for how in local cluster; do rm -rf "${work:?}/$how"; mkdir -p "$work/$how"; done
waited snakemake -s "$source_dir/workflow/Snakefile" --configfile "$source_dir/workflow/config.yaml" \
  --directory "$work/local" --cores 2 --config "${settings[@]}" > "$work/local.log" 2>&1 ||
  { tail -n 30 "$work/local.log" >&2; exit 1; }
waited snakemake -s "$source_dir/workflow/Snakefile" --configfile "$source_dir/workflow/config.yaml" \
  --directory "$work/cluster" --profile "$source_dir/workflow/profiles/slurm" --config "${settings[@]}" \
  > "$work/cluster.log" 2>&1 || { tail -n 30 "$work/cluster.log" >&2; exit 1; }

# Every job but the final "all" (which Snakemake runs itself) went through
# Slurm and completed there.
submitted=$(grep -c 'has been submitted with SLURM jobid' "$work/cluster.log" || true)
completed=$(grep -c 'JobState=COMPLETED' "$tmp/jobcomp.log" || true)
echo "cluster_test: $submitted jobs submitted through Slurm, $completed completed there"
[ "$submitted" -eq 8 ] && [ "$completed" -eq 8 ] ||
  { echo "cluster_test: expected 8 Slurm jobs (2 regions x prepare, mutloc, report; table; plot)" >&2; exit 1; }

# The same study table, but for the wall times.
without_seconds() { python3 -c '
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
for r in rows: r.pop("seconds")
print(rows)' "$1"; }
if [ "$(without_seconds "$work/local/results/regions.tsv")" != "$(without_seconds "$work/cluster/results/regions.tsv")" ]; then
  echo "cluster_test: the study tables differ:" >&2
  diff "$work/local/results/regions.tsv" "$work/cluster/results/regions.tsv" >&2 || true
  exit 1
fi
echo "cluster_test: the study table through Slurm equals the local one"
echo "1 passed, 0 failed"
