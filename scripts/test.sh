#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build, then the Windows cross-build, its installer and zip under
# Wine, once under AddressSanitizer + UndefinedBehaviorSanitizer, then each
# fuzz target for a bounded time on its seed corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/install-deps.sh"

echo "== build and test (warnings are errors)"
# Everything on, whatever an earlier main job (scripts/demo.sh) left configured.
"$here/scripts/build.sh" build -DTOLLAN_WERROR=ON -DTOLLAN_TESTS=ON -DTOLLAN_BENCH=ON -DTOLLAN_GUI=ON
ctest --test-dir build --output-on-failure --parallel "$(nproc)"

echo "== Windows build (MinGW-w64) and its tests under Wine"
"$here/scripts/build-windows.sh" build-windows -DTOLLAN_WERROR=ON
timeout 1200 "$here/scripts/test-windows.sh" build-windows build
# The installer and the zip, installed, unpacked and run in a fresh prefix.
"$here/scripts/package-windows.sh" build-windows >/dev/null
timeout 900 "$here/tests/windows/setup_wizard_test.sh" build-windows build

echo "== build and test under ASan + UBSan"
"$here/scripts/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DTOLLAN_SANITIZE=ON -DTOLLAN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)"

echo "== fuzz targets"
"$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
