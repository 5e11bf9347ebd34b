#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine:
#   scripts/install-deps.sh            everything: build, tests, benchmarks,
#                                      fuzzing, packaging, the test oracles,
#                                      the Windows cross-build (MinGW-w64,
#                                      widl, NSIS and zip for its installer
#                                      and archive), the tools that build
#                                      GLib and GMime for it from Debian's source
#                                      packages (with a deb-src entry for the
#                                      archive the machine already uses) and
#                                      Wine to test it
#   scripts/install-deps.sh --demo     only what scripts/demo.sh builds and runs
#   scripts/install-deps.sh --package  the programs, the wizard and what
#                                      scripts/package.sh needs
# Safe to run again: apt-get and npm skip what is already there. A step that
# fails says which one and why, and the script ends with status 1.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:---all}

demo=(cmake ninja-build g++ pkg-config libgmime-3.0-dev libhivex-dev libcli11-dev libmimalloc-dev libxxhash-dev)
package=("${demo[@]}" qt6-base-dev help2man dpkg-dev file lintian)
all=("${package[@]}" clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
     libhivex-bin xvfb xauth pff-tools python3-pypff pst-utils bc time procps
     mingw-w64 wine64-tools wine wine64 meson gtk-doc-tools autoconf automake libtool
     libz-mingw-w64-dev xz-utils nsis zip x11-apps x11-utils netpbm)
case "$mode" in
  --demo) packages=("${demo[@]}") ;;
  --package) packages=("${package[@]}") ;;
  --all) packages=("${all[@]}") ;;
  *) echo "usage: install-deps.sh [--demo | --package | --all]" >&2; exit 2 ;;
esac

fail() {
  echo "install-deps: $*" >&2
  exit 1
}

# The Windows cross-build takes GLib, GMime and what they need from Debian's
# source packages (apt-get source): a deb-src entry beside each deb entry
# of the archive this machine uses.
src_list=/etc/apt/sources.list.d/tollan-sources.sources
need_update=0
if [ "$mode" = --all ] && [ ! -f "$src_list" ] &&
   ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  [ "$(id -u)" -eq 0 ] || fail "no deb-src entry for apt-get source; run this script as root"
  [ -f /etc/apt/sources.list.d/debian.sources ] ||
    fail "no /etc/apt/sources.list.d/debian.sources to take the archive from; add a deb-src line for it by hand"
  sed -n '/^Types:/{s/.*/Types: deb-src/;p;d};p' /etc/apt/sources.list.d/debian.sources > "$src_list"
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "$mode" = --all ]; then
  # Node.js may come from elsewhere with its own npm; take Debian's only when absent.
  command -v node >/dev/null 2>&1 || missing+=(nodejs)
  command -v npm >/dev/null 2>&1 || missing+=(npm)
fi
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  [ "$(id -u)" -eq 0 ] || fail "missing packages: ${missing[*]}; run this script as root (or install them with sudo apt-get install)"
  export DEBIAN_FRONTEND=noninteractive
  log=$(mktemp)
  apt-get update -qq >"$log" 2>&1 ||
    { status=$?; tail -n 20 "$log" >&2
      fail "apt-get update failed (status $status): the package lists could not be fetched; check the network and /etc/apt/sources.list"; }
  [ ${#missing[@]} -eq 0 ] ||
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$log" 2>&1 ||
    { status=$?; tail -n 20 "$log" >&2
      fail "apt-get install of ${missing[*]} failed (status $status); see the lines above"; }
  rm -f "$log"
fi

# The JavaScript PST reader used as a third test oracle (tests only).
if [ "$mode" = --all ] && [ -f "$here/tests/oracles/package.json" ] &&
   [ ! -d "$here/tests/oracles/node_modules" ]; then
  log=$(mktemp)
  status=0
  (cd "$here/tests/oracles" && npm install --no-audit --no-fund --loglevel=error) >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 20 "$log" >&2
    rm -rf "$here/tests/oracles/node_modules"
    fail "npm install of the test oracles in tests/oracles failed (status $status): the tests that read .pst files with pst-extractor need them; check the network and the npm registry settings (npm config get registry)"
  fi
  rm -f "$log"
fi
