#!/bin/sh
# Writes a PST of about 4.3 GiB (past the first FPMap page near 2 GiB and past
# the 4 GiB offset limit of 32-bit fields), reads it back with full checks,
# runs pffinfo on it, and removes it.
# Usage: large_file_check.sh BUILD_DIR [OUTPUT_DIR [GIB]]
set -eu
build=${1:?usage: large_file_check.sh BUILD_DIR [OUTPUT_DIR [GIB]]}
out=${2:-${TMPDIR:-/tmp}}/ndb-large-$$.pst
gib=${3:-4.3}
trap 'rm -f "$out"' EXIT
"$build/bench/platform/pst/ndb/pst_ndb_large_file" "$out" "$gib"
echo "pffinfo (the node database only; the file holds no message store):"
pffinfo "$out" 2>&1 | head -5 || true
