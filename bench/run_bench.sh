#!/usr/bin/env bash
# Whole-run timing of the benchmark data sets with one or two mutloc binaries,
# side by side (for example a build before an optimisation and one after).
#
# Usage: bench/run_bench.sh BINARY_A [BINARY_B]
#
# Environment:
#   MUTLOC_BENCH_DATA  folder of the data sets (default: build/bench/data); when
#                      files are missing they are simulated there with the last
#                      binary given
#   BENCH_REPS         runs per measurement, the median is kept (default 3)
#   BENCH_SETS         data sets to run (default: all, in the order below)
#   BENCH_OPTIONS_A, BENCH_OPTIONS_B
#                      options given to binary A and B (e.g. "--threads 1" and
#                      "--threads 2" with the same binary twice)
#
# Every data set is run twice per binary: as written (burn-in 1 plus its
# sampling iterations) and with a single sampling iteration. The difference of
# the two times over the difference of their iteration counts is the time per
# iteration, free of the set-up and of the end-of-run summaries. With two
# binaries the output files of their full runs are compared as well.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "Usage: $0 BINARY_A [BINARY_B]" >&2
  exit 2
fi
binaries=()
for b in "$@"; do
  [[ -x "$b" ]] || { echo "not an executable: $b" >&2; exit 2; }
  binaries+=("$(cd "$(dirname "$b")" && pwd)/$(basename "$b")")
done
data="${MUTLOC_BENCH_DATA:-$here/../build/bench/data}"
reps="${BENCH_REPS:-3}"
read -r -a sets <<< "${BENCH_SETS:-small medium large geno scale125 scale250 scale500 scale1000}"
extensions=(dat log sig hap hin hpf mat tre)

missing=0
for s in "${sets[@]}"; do [[ -f "$data/$s.txt" ]] || missing=1; done
if [[ $missing == 1 ]]; then
  echo "Simulating the data sets into $data ..."
  python3 "$here/make_datasets.py" "${binaries[-1]}" "$data" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Value on the line after the label line $2 of parameter file $1.
entry() { awk -v label="$2" 'found { print; exit } $0 == label { found = 1 }' "$1"; }

# Copy of parameter file $1 with $3 sampling iterations, written to $2.
with_iterations() { awk -v n="$3" 'set { print n; set = 0; next } $0 == "Iterations" { set = 1 } { print }' "$1" > "$2"; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Arithmetic on decimal numbers: calc EXPRESSION.
calc() { awk "BEGIN { print $1 }"; }

# Median wall time in seconds of running binary $1 on parameter file $2 (in
# its own folder, so the output files land beside it).
time_run() {
  local binary="$1" file="$2" options="$3" dir name start end
  dir="$(dirname "$file")"
  name="$(basename "$file")"
  if command -v hyperfine >/dev/null; then
    (cd "$dir" && hyperfine --runs "$reps" --style none --export-json "$name.json" \
      "'$binary' '$name' $options </dev/null >/dev/null 2>&1" >/dev/null)
    python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$dir/$name.json"
    return
  fi
  for _ in $(seq "$reps"); do
    start=$(date +%s.%N)
    # shellcheck disable=SC2086 # the options are words
    if ! (cd "$dir" && "$binary" "$name" $options </dev/null >"$name.stdout" 2>&1); then
      printf '\n%s failed on %s:\n' "$binary" "$file" >&2
      tail -5 "$dir/$name.stdout" >&2
      return 1
    fi
    end=$(date +%s.%N)
    calc "$end - $start"
  done | median
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'); load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Timing: $(command -v hyperfine >/dev/null && echo hyperfine || echo 'date +%s.%N'), median of $reps runs"
letters=(A B)
option_sets=("${BENCH_OPTIONS_A:-}" "${BENCH_OPTIONS_B:-}")
for i in "${!binaries[@]}"; do echo "Binary ${letters[$i]}: ${binaries[$i]} ${option_sets[$i]}"; done
echo

printf "%-10s %6s %5s %6s" "data set" "chrom" "loci" "iters"
for i in "${!binaries[@]}"; do
  printf " %10s %11s" "${letters[$i]} run s" "${letters[$i]} s/iter"
done
[[ ${#binaries[@]} == 2 ]] && printf " %8s  %s" "A/B" "outputs"
echo

declare -A per_iteration
for s in "${sets[@]}"; do
  file="$data/$s.txt"
  iterations=$(entry "$file" "Iterations")
  burn_in=$(entry "$file" "Burn-in iteration")
  chromosomes=$(entry "$file" "#chromosomes")
  loci=$(entry "$file" "#loci per chromosome")
  printf "%-10s %6d %5d %6d" "$s" "$chromosomes" "$loci" "$((burn_in + iterations))"
  for i in "${!binaries[@]}"; do
    mkdir -p "$work/$i"
    cp "$file" "$work/$i/$s.txt"
    with_iterations "$file" "$work/$i/${s}_short.txt" 1
    full=$(time_run "${binaries[$i]}" "$work/$i/$s.txt" "${option_sets[$i]}")
    short=$(time_run "${binaries[$i]}" "$work/$i/${s}_short.txt" "${option_sets[$i]}")
    each=$(calc "($full - $short) / ($iterations - 1)")
    per_iteration[$i,$s]=$each
    printf " %10.3f %11.6f" "$full" "$each"
  done
  if [[ ${#binaries[@]} == 2 ]]; then
    printf " %8.2f " "$(calc "${per_iteration[0,$s]} / ${per_iteration[1,$s]}")"
    differ=""
    for e in "${extensions[@]}"; do
      cmp -s "$work/0/$s.txt.$e" "$work/1/$s.txt.$e" || differ="$differ .$e"
    done
    printf " %s" "${differ:+differ:$differ}"
    [[ -z "$differ" ]] && printf " identical"
  fi
  echo
done

# Growth of the time per iteration with the number of chromosomes at 30 loci.
if [[ " ${sets[*]} " == *" scale125 "* && " ${sets[*]} " == *" scale1000 "* ]]; then
  echo
  for i in "${!binaries[@]}"; do
    printf "Scaling %s, 125 -> 1000 chromosomes (8x): time per iteration x%.2f\n" "${letters[$i]}" \
      "$(calc "${per_iteration[$i,scale1000]} / ${per_iteration[$i,scale125]}")"
  done
fi
