#!/usr/bin/env bash
# Seeds for fuzz_dbx_folderlist: the folder list of the real store and, when
# the sample-store generator is built, generated folder lists: the standard
# folders, a list with more folders and a deeper index, and one for every
# kind of damage the generator builds into a folder list.
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
  "$gen" "$tmp/standard" --messages-per-folder 0 --quiet
  cp "$tmp/standard/Folders.dbx" "$corpus/gen-standard.dbx"
  "$gen" "$tmp/more" --folders Inbox,Work,Play,Archive,Lists,Family,Travel --messages-per-folder 1 \
    --message-size 600 --fan-out 2 --quiet
  cp "$tmp/more/Folders.dbx" "$corpus/gen-more.dbx"
  for kind in $("$gen" --damage list | awk '{print $1}' | grep '^list-'); do
    "$gen" "$tmp/$kind" --folders Inbox,Work,Play --messages-per-folder 0 --fan-out 2 \
      --damage "$kind" --quiet
    cp "$tmp/$kind/Folders.dbx" "$corpus/gen-damage-$kind.dbx"
  done
fi
exit 0
