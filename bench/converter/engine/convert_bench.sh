#!/usr/bin/env bash
# Converting a generated store with tollan-cli in both modes, next to
# `kestrel export` writing the same messages as .eml files, in one run, all
# on a memory-backed folder so that disk write-back does not swamp the
# figures. Reports wall and CPU time, messages/s, MB/s and peak memory, and
# each conversion's time as a ratio of the export's. When the benchmarks are
# built, also the time GMime alone and the whole import take per message.
#
# usage: convert_bench.sh BUILD_DIR [MESSAGES [MESSAGE_SIZE [WORK_DIR]]]
#        (defaults: 100000 messages of 5000 bytes, in /dev/shm)
set -euo pipefail
build=$1
messages=${2:-100000}
size=${3:-5000}
work=$(mktemp -d "${4:-/dev/shm}/convert-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
bin=$build/tools

per_folder=$(( (messages + 3) / 4 ))
"$bin/make-sample-store/make-sample-store" "$work/store" --folders "Inbox,Sent Items,Archive,Work" \
  --messages-per-folder "$per_folder" --message-size "$size" --quiet
total=$(( per_folder * 4 ))
bytes=$(du -sb "$work/store" | cut -f1)
echo "store: $total messages, $((bytes / 1000000)) MB"

measure() {  # measure NAME COMMAND...: prints one line, sets LAST_WALL
  local name=$1; shift
  local log="$work/time.log"
  /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >/dev/null 2>&1
  read -r wall user sys rss <"$log"
  LAST_WALL=$wall
  local cpu
  cpu=$(echo "$user + $sys" | bc)
  printf '%-22s wall %7.2f s  cpu %7.2f s  %9.0f msgs/s  %7.1f MB/s  peak %6d MB\n' \
    "$name" "$wall" "$cpu" "$(echo "$total / $wall" | bc -l)" \
    "$(echo "$bytes / 1000000 / $wall" | bc -l)" "$((rss / 1024))"
}

measure "kestrel export" "$bin/kestrel/kestrel" export "$work/store" "$work/export"
base=$LAST_WALL
# The part of the import that is the MIME library's, on the same messages.
eml_bench=$build/bench/platform/mail/eml_dir_bench
if [ -x "$eml_bench" ]; then
  "$eml_bench" "$work/export"
  printf 'export: %.1f us/message\n' "$(echo "$base * 1000000 / $total" | bc -l)"
fi
rm -rf "$work/export"
mkdir -p "$work/single" "$work/each"
measure "tollan-cli single .pst" "$bin/tollan-cli/tollan-cli" --single-pst -o "$work/single" "$work/store"
single=$LAST_WALL
measure "tollan-cli per file" "$bin/tollan-cli/tollan-cli" --pst-per-file -o "$work/each" "$work/store"
each=$LAST_WALL
printf 'conversion / export time: single .pst %.2f, per file %.2f\n' \
  "$(echo "$single / $base" | bc -l)" "$(echo "$each / $base" | bc -l)"
