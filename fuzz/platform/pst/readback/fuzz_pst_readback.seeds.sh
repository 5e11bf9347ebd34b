#!/usr/bin/env bash
# Seeds for fuzz_pst_readback: the Outlook-written PST fixtures, and a store
# of our own writer's.
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
# And a small store of our own writer's (recipient and attachment tables,
# attachments, embedded messages), when BUILD_DIR holds the tools.
build=${2:-}
if [ -n "$build" ] && [ -x "$build/tools/make-sample-store/make-sample-store" ] && [ -x "$build/tools/tollan-cli/tollan-cli" ]; then
  work=$(mktemp -d)
  "$build/tools/make-sample-store/make-sample-store" "$work/store" --messages-per-folder 2 --quiet
  "$build/tools/tollan-cli/tollan-cli" --single-pst -q -o "$work/out" "$work/store" >/dev/null
  cp "$work"/out/*.pst "$corpus/writer-sample.pst"
  rm -rf "$work"
fi
