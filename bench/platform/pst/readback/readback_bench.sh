#!/usr/bin/env bash
# Reading a converted store's .pst back (what --verify does after the
# structural check) next to a plain read of the same file, in one run, on a
# memory-backed folder: a generated store of MESSAGES messages is converted
# into one .pst with tollan-cli, then pst_readback_bench times both reads
# (best of ROUNDS) and prints their ratio and the read-back's memory growth.
#
# With WORK_DIR on a disk, COLD=1 drops the file's cached pages before each
# timed read, so both come from the disk as a verifying run's would. A
# virtual machine's disk is often served from the host's memory; READ_MBPS=N
# (root, cgroup v1 blkio) holds the reads of WORK_DIR's disk to N MB/s, as a
# real disk would (200: a hard disk, 500: a SATA SSD).
#
# usage: [COLD=1] [READ_MBPS=N] readback_bench.sh BUILD_DIR [MESSAGES [ROUNDS [WORK_DIR]]]
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
bench=("$build/bench/platform/pst/readback/pst_readback_bench" "$pst" "$rounds" ${COLD:+--cold})
if [ -n "${READ_MBPS:-}" ]; then
  group=/sys/fs/cgroup/blkio/readback-bench.$$
  disk=$(lsblk -no PKNAME "$(df --output=source "$work" | tail -n 1)" 2>/dev/null || true)
  device=$(lsblk -dno MAJ:MIN "/dev/${disk:-$(basename "$(df --output=source "$work" | tail -n 1)")}" | tr -d ' ')
  mkdir "$group"
  trap 'rmdir "$group" 2>/dev/null; rm -rf "$work"' EXIT
  echo "$device $((READ_MBPS * 1048576))" >"$group/blkio.throttle.read_bps_device"
  echo "reads of $device held to $READ_MBPS MB/s"
  bash -c 'echo $$ >"$0/cgroup.procs"; exec "$@"' "$group" "${bench[@]}"
else
  "${bench[@]}"
fi
