#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# its seed corpus: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
CC=clang CXX=clang++ "$here/scripts/build.sh" "$here/build-fuzz" \
  -DTOLLAN_FUZZ=ON -DTOLLAN_TESTS=OFF -DTOLLAN_BENCH=OFF -DTOLLAN_GUI=OFF
shopt -s nullglob
for target in "$here"/build-fuzz/fuzz/*/fuzz_* "$here"/build-fuzz/fuzz/*/*/fuzz_* "$here"/build-fuzz/fuzz/*/*/*/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$here/build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  # A target may ship a seed maker: fuzz/<area>/<name>.seeds.sh CORPUS_DIR
  for seeds in "$here"/fuzz/*/"$name".seeds.sh "$here"/fuzz/*/*/"$name".seeds.sh "$here"/fuzz/*/*/*/"$name".seeds.sh; do
    bash "$seeds" "$corpus" "$here/build"
  done
  echo "-- $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>"$here/build-fuzz/$name.log" \
    || { tail -n 60 "$here/build-fuzz/$name.log"; echo "fuzz target $name failed"; exit 1; }
done
echo "fuzz targets: no crash, no hang"
