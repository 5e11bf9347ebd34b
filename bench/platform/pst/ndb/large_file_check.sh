#!/bin/sh
# Writes PSTs past each boundary of the file layout in turn: 2 GiB (past the
# first FPMap page at 0x7C004A00, about 1.94 GiB), 4.3 GiB (past the 4 GiB
# offset limit of 32-bit fields) and 10 GiB (past the second FPMap, in AMap
# interval 39936 at about 9.45 GiB). Each is read back with full checks, its
# map pages are listed and compared with the writer's layout, pffinfo looks
# at it, and it is removed before the next is written.
# Usage: large_file_check.sh BUILD_DIR [OUTPUT_DIR [GIB...]]
set -eu
build=${1:?usage: large_file_check.sh BUILD_DIR [OUTPUT_DIR [GIB...]]}
dir=${2:-${TMPDIR:-/tmp}}
[ $# -ge 2 ] && shift 2 || shift $#
[ $# -gt 0 ] || set -- 2 4.3 10
out=$dir/ndb-large-$$.pst
trap 'rm -f "$out"' EXIT
for gib in "$@"; do
  echo "== $gib GiB"
  "$build/bench/platform/pst/ndb/pst_ndb_large_file" "$out" "$gib"
  echo "pffinfo (the node database only; the file holds no message store):"
  pffinfo "$out" 2>&1 | head -5 || true
  rm -f "$out"
done
