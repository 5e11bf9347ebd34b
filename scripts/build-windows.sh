#!/usr/bin/env bash
# Cross-builds the Kestrel reader component for 64-bit Windows with MinGW-w64
# into build-windows/ (or the folder given first): kestrel.dll, the
# in-process COM server with its type library, kestrel.exe, the command-line
# tool, and the test client. Further arguments go to CMake.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build-windows"}
shift || true
case "$build" in /*) ;; *) build="$here/$build" ;; esac
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "$@"
elif [ $# -gt 0 ]; then
  cmake "$build" "$@"
fi
cmake --build "$build"
