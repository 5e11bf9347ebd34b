#!/usr/bin/env bash
# Seeds for fuzz_pst_readback: the Outlook-written PST fixtures.
# usage: fuzz_pst_readback.seeds.sh CORPUS_DIR [BUILD_DIR]
# The shared fixtures folder is TOLLAN_SHARED_DIR when set, else the sibling
# "shared" folder of the checkout.
set -euo pipefail
corpus=${1:?usage: $0 CORPUS_DIR [BUILD_DIR]}
root=$(cd "$(dirname "$0")/../../../.." && pwd)
shared=${TOLLAN_SHARED_DIR:-$root/../shared}
mkdir -p "$corpus"
for f in "$shared"/fixtures/real-pst/*.pst; do
  [ -f "$f" ] || continue
  cp "$f" "$corpus/$(basename "$f")"
  chmod u+w "$corpus/$(basename "$f")"
done
