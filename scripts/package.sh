#!/usr/bin/env bash
# Builds the Debian package of the programs: scripts/package.sh [BUILD_DIR]
# makes BUILD_DIR/tollan_<version>_<arch>.deb (BUILD_DIR defaults to build).
# An existing build tree is reused as it is; a missing one is configured
# without tests and benchmarks. Needs dpkg-dev, file and help2man
# (scripts/install-deps.sh --package).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
for tool in dpkg-shlibdeps file help2man; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "package.sh: $tool is missing; run scripts/install-deps.sh --package" >&2; exit 1; }
done
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLLAN_TESTS=OFF -DTOLLAN_BENCH=OFF >/dev/null
elif grep -q '^TOLLAN_GUI:BOOL=OFF' "$dir/CMakeCache.txt" ||
     ! grep -q '^TOLLAN_HELP2MAN:FILEPATH=/' "$dir/CMakeCache.txt"; then
  # The wizard and the manual pages belong in the package.
  cmake -S "$here" -B "$dir" -DTOLLAN_GUI=ON -UTOLLAN_HELP2MAN >/dev/null
fi
cmake --build "$dir" --target tollan tollan-cli tollan-import-worker kestrel pst-check kestrel_server manpages
rm -f "$dir"/tollan_*.deb
if ! (cd "$dir" && cpack -G DEB --config CPackConfig.cmake >"$dir/cpack.log" 2>&1); then
  tail -n 40 "$dir/cpack.log" >&2
  echo "package.sh: cpack failed (full log: $dir/cpack.log)" >&2
  exit 1
fi
ls "$dir"/tollan_*.deb
