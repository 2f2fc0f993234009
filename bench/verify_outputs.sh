#!/usr/bin/env bash
# Checks that a mutloc build reproduces, byte for byte, the output files of
# every benchmark data set run for 10000 sampling iterations:
# - with --symmetric-genealogy, the outputs the sampler gave before its
#   optimisations (bench/reference/symmetric.sha256), when the genealogy move
#   still lacked its Hastings term;
# - without options, the outputs of the build that added the term
#   (bench/reference/outputs.sha256).
# Both files also hold the checksums of the data files, which must match too.
#
# Usage: bench/verify_outputs.sh BINARY [WORKDIR]
# VERIFY_SETS limits the check to some data sets (default: all).
# VERIFY_REGENERATE=1 rewrites outputs.sha256 from this build first (read the
# diff, and say why in CHANGELOG.md, before committing it).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
# Absolute, since the checksums are compared from inside it.
work="${2:-$(mktemp -d)}"
mkdir -p "$work" && work="$(cd "$work" && pwd)"
sets="${VERIFY_SETS:-small medium scale125 scale250 scale500 scale1000 large geno}"

python3 "$here/make_datasets.py" "$binary" "$work/data" --iterations 10000 --only $sets >/dev/null
for name in $sets; do
  for kind in runs symmetric; do
    mkdir -p "$work/$kind/$name"
    cp "$work/data/$name.txt" "$work/$kind/$name/p.txt"
    options=()
    [ $kind = symmetric ] && options=(--symmetric-genealogy)
    start=$(date +%s)
    (cd "$work/$kind/$name" && "$binary" p.txt "${options[@]}" </dev/null >stdout.txt 2>/dev/null)
    echo "$name ($kind): $(( $(date +%s) - start )) s"
  done
done
cd "$work"
if [ "${VERIFY_REGENERATE:-}" = 1 ]; then
  for name in $sets; do
    sha256sum "data/$name.txt" runs/$name/stdout.txt runs/$name/p.txt.{dat,log,sig,tre,hap,hpf,hin,mat}
  done > "$here/reference/outputs.sha256"
  echo "Rewrote bench/reference/outputs.sha256 for $sets."
fi
for name in $sets; do
  grep -E " (data/$name\.txt|runs/$name/)" "$here/reference/outputs.sha256"
  grep -E " symmetric/$name/" "$here/reference/symmetric.sha256"
done > "$work/expected.sha256"
sha256sum --quiet -c "$work/expected.sha256" &&
  echo "The outputs of $sets are byte-identical to the reference, with and without --symmetric-genealogy."
