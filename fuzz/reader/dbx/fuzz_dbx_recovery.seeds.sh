#!/usr/bin/env bash
# Seeds for fuzz_dbx_recovery: the same folder files as fuzz_dbx_folder,
# plus a generated folder with deleted messages.
# Usage: fuzz_dbx_recovery.seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
corpus=$1
build=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/fuzz_dbx_folder.seeds.sh" "$corpus" "$build"
gen="$build/tools/make-sample-store/make-sample-store"
if [ -n "$build" ] && [ -x "$gen" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  "$gen" "$tmp/deleted" --messages-per-folder 4 --message-size 900 --fan-out 2 \
    --damage deleted --damage root-mid-node --quiet
  cp "$tmp/deleted/Inbox.dbx" "$corpus/gen-deleted-root-mid-node.dbx"
fi
exit 0
