#!/usr/bin/env bash
# Seeds for fuzz_dbx_folderlist: the folder list of the real store and, when
# the sample-store generator is built, generated folder lists.
# Usage: fuzz_dbx_folderlist.seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
corpus=$1
build=${2:-}
here=$(cd "$(dirname "$0")/../../.." && pwd)
store="$here/../shared/fixtures/real-store"
mkdir -p "$corpus"
[ -f "$store/Folders.dbx" ] && cp "$store/Folders.dbx" "$corpus/real-Folders.dbx"
gen="$build/tools/make-sample-store/make-sample-store"
if [ -n "$build" ] && [ -x "$gen" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  "$gen" "$tmp/a" --folders Inbox,Work,Play,Archive --messages-per-folder 0 --fan-out 2 --quiet
  for f in "$tmp"/a/[Ff]olders.dbx; do cp "$f" "$corpus/gen-folders.dbx"; done
fi
exit 0
