#!/usr/bin/env bash
# Reading a converted store's .pst back (what --verify does after the
# structural check) next to a plain read of the same file, in one run, on a
# memory-backed folder: a generated store of MESSAGES messages is converted
# into one .pst with tollan-cli, then pst_readback_bench times both reads
# (best of ROUNDS) and prints their ratio and the read-back's memory growth.
#
# With WORK_DIR on a disk, COLD=1 drops the file's cached pages before each
# timed read, so both come from the disk as a verifying run's would.
#
# usage: [COLD=1] readback_bench.sh BUILD_DIR [MESSAGES [ROUNDS [WORK_DIR]]]
#        (defaults: 20000 messages, 3 rounds, in /dev/shm)
set -euo pipefail
build=$1
messages=${2:-20000}
rounds=${3:-3}
work=$(mktemp -d "${4:-/dev/shm}/readback-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/tools/make-sample-store/make-sample-store" "$work/store" --messages-per-folder "$messages" --quiet
"$build/tools/tollan-cli/tollan-cli" --single-pst -q -o "$work/out" "$work/store" >/dev/null
pst=$(ls "$work"/out/*.pst)
"$build/bench/platform/pst/readback/pst_readback_bench" "$pst" "$rounds" ${COLD:+--cold}
