#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine.
# Safe to run again: apt-get and npm skip what is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libgmime-3.0-dev libhivex-dev libhivex-bin libcli11-dev libmimalloc-dev
  qt6-base-dev xvfb xauth
  pff-tools python3-pypff pst-utils bc time
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Node.js may come from elsewhere with its own npm; take Debian's only when absent.
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The JavaScript PST reader used as a third test oracle.
if [ -f "$here/tests/oracles/package.json" ] && [ ! -d "$here/tests/oracles/node_modules" ]; then
  (cd "$here/tests/oracles" && npm install --no-audit --no-fund --silent)
fi
