#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# its seed corpus: scripts/fuzz.sh [SECONDS_PER_TARGET]
#
# Inputs that once made a target fail are kept in the repository, in
# fuzz/<area>/<name>.regressions/, and join its corpus on every run. When a
# target fails, the script prints the input that did it (base64 when small,
# else where it lies under build-fuzz/artifacts) and how to run it again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
CC=clang CXX=clang++ "$here/scripts/build.sh" "$here/build-fuzz" \
  -DTOLLAN_FUZZ=ON -DTOLLAN_TESTS=OFF -DTOLLAN_BENCH=OFF -DTOLLAN_GUI=OFF
artifacts="$here/build-fuzz/artifacts"
mkdir -p "$artifacts"

# report_failure NAME TARGET: the end of the log, then each input left behind.
report_failure() {
  local name=$1 target=$2 input size found=0
  tail -n 60 "$here/build-fuzz/$name.log"
  echo "fuzz target $name failed"
  for input in "$artifacts/$name"-*; do
    [ -f "$input" ] || continue
    found=1
    size=$(stat -c %s "$input")
    echo "failing input: $input ($size bytes)"
    if [ "$size" -le 4096 ]; then
      echo "base64 of the input (decode with: base64 -d > input):"
      base64 -w 76 "$input"
    fi
    echo "run it again: $target $input"
  done
  [ "$found" = 1 ] || echo "no input was kept: see the log $here/build-fuzz/$name.log"
  echo "keep it as a regression seed in fuzz/<area>/$name.regressions/ once the fault is mended"
}

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
  # and regression inputs (patches to fixtures are applied by its seed maker).
  for kept in "$here"/fuzz/*/"$name".regressions/* "$here"/fuzz/*/*/"$name".regressions/* \
              "$here"/fuzz/*/*/*/"$name".regressions/*; do
    case $kept in *.patch) ;; *) cp "$kept" "$corpus/regression-$(basename "$kept")" ;; esac
  done
  rm -f "$artifacts/$name"-*
  echo "-- $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    -artifact_prefix="$artifacts/$name-" "$corpus" 2>"$here/build-fuzz/$name.log" \
    || { report_failure "$name" "$target"; exit 1; }
done
echo "fuzz targets: no crash, no hang"
