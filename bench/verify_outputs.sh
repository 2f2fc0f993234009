#!/usr/bin/env bash
# Checks that a mutloc build reproduces, byte for byte, the output files the
# sampler gave before its optimisations, on every benchmark data set run for
# 10000 sampling iterations. bench/reference/outputs.sha256 holds the checksums
# of those earlier outputs (and of the data files, which must match too).
#
# Usage: bench/verify_outputs.sh BINARY [WORKDIR]
# VERIFY_SETS limits the check to some data sets (default: all).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
# Absolute, since the checksums are compared from inside it.
work="${2:-$(mktemp -d)}"
mkdir -p "$work" && work="$(cd "$work" && pwd)"
sets="${VERIFY_SETS:-small medium scale125 scale250 scale500 scale1000 large geno}"

python3 "$here/make_datasets.py" "$binary" "$work/data" --iterations 10000 --only $sets >/dev/null
for name in $sets; do
  mkdir -p "$work/runs/$name"
  cp "$work/data/$name.txt" "$work/runs/$name/p.txt"
  start=$(date +%s)
  (cd "$work/runs/$name" && "$binary" p.txt </dev/null >stdout.txt 2>/dev/null)
  echo "$name: $(( $(date +%s) - start )) s"
done
cd "$work"
for name in $sets; do grep -E " (data/$name\.txt|runs/$name/)" "$here/reference/outputs.sha256"; done > "$work/expected.sha256"
sha256sum --quiet -c "$work/expected.sha256" && echo "The outputs of $sets are byte-identical to the reference."
