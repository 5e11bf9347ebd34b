#!/usr/bin/env bash
# Seeds for fuzz_pst_check: the Outlook-written PST fixtures, and the inputs
# that once made the checker fail, kept in fuzz_pst_check.regressions/ as
# patches to a fixture (NAME.patch: "base FIXTURE", then "OFFSET HEXBYTES"
# lines written over a copy of it).
# usage: fuzz_pst_check.seeds.sh CORPUS_DIR [BUILD_DIR]
# The shared fixtures folder is TOLLAN_SHARED_DIR when set, else the sibling
# "shared" folder of the checkout.
set -euo pipefail
corpus=${1:?usage: $0 CORPUS_DIR [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
shared=${TOLLAN_SHARED_DIR:-$root/../shared}
mkdir -p "$corpus"
for f in "$shared"/fixtures/real-pst/*.pst; do
  [ -f "$f" ] || continue
  cp "$f" "$corpus/$(basename "$f")"
  chmod u+w "$corpus/$(basename "$f")"
done
for patch in "$here"/fuzz_pst_check.regressions/*.patch; do
  [ -f "$patch" ] || continue
  base=$(sed -n 's/^base //p' "$patch")
  [ -f "$shared/fixtures/real-pst/$base" ] || { echo "$patch: no fixture $base" >&2; exit 1; }
  out="$corpus/regression-$(basename "$patch" .patch).pst"
  cp "$shared/fixtures/real-pst/$base" "$out"
  chmod u+w "$out"
  grep -E '^0x[0-9a-fA-F]+ [0-9a-fA-F]+$' "$patch" | while read -r offset hex; do
    printf "$(echo "$hex" | sed 's/../\\x&/g')" | dd of="$out" bs=1 seek=$((offset)) conv=notrunc status=none
  done
done
