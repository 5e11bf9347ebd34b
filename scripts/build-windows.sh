#!/usr/bin/env bash
# Cross-builds for 64-bit Windows with MinGW-w64 into build-windows/ (or the
# folder given first): kestrel.dll, the in-process COM server with its type
# library, kestrel.exe, the command-line tool, and the test client; and the
# converter, tollan-cli.exe and pst-check.exe, with the DLLs of GLib and
# GMime beside them (their licences in licenses/, their sources in
# sources/). GLib, GMime and what they need are built from Debian's source
# packages by scripts/windows-deps.sh into a cache outside the clone, once
# per set of source versions. Further arguments go to CMake.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build-windows"}
shift || true
case "$build" in /*) ;; *) build="$here/$build" ;; esac
# The libraries build at low priority: the machine is shared.
deps=$(nice -n 10 "$here/scripts/windows-deps.sh")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTOLLAN_WINDOWS_DEPS="$deps" "$@"
elif [ $# -gt 0 ] || ! grep -qxF "TOLLAN_WINDOWS_DEPS:PATH=$deps" "$build/CMakeCache.txt"; then
  cmake "$build" -DTOLLAN_WINDOWS_DEPS="$deps" "$@"
fi
cmake --build "$build"
