#!/usr/bin/env bash
# The main job: installs what is missing, builds, makes a sample store and reads
# it back with the kestrel tool.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" build
echo "demo: nothing to run yet"
