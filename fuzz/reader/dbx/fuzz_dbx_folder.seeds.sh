#!/usr/bin/env bash
# Seeds for fuzz_dbx_folder: the folder files of the real store and, when the
# sample-store generator is built, small generated folder files: sound ones
# with indexes of several levels, and one for every kind of damage the
# generator builds into a folder file.
# Usage: fuzz_dbx_folder.seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
corpus=$1
build=${2:-}
here=$(cd "$(dirname "$0")/../../.." && pwd)
store="$here/../shared/fixtures/real-store"
mkdir -p "$corpus"
for f in Inbox.dbx Outbox.dbx Offline.dbx; do
  [ -f "$store/$f" ] && cp "$store/$f" "$corpus/real-$f"
done
gen="$build/tools/make-sample-store/make-sample-store"
if [ -n "$build" ] && [ -x "$gen" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  "$gen" "$tmp/plain" --messages-per-folder 3 --message-size 1200 --fan-out 2 --quiet
  cp "$tmp/plain/Inbox.dbx" "$corpus/gen-inbox.dbx"
  cp "$tmp/plain/Outbox.dbx" "$corpus/gen-empty.dbx"
  "$gen" "$tmp/levels" --messages-per-folder 12 --message-size 700 --fan-out 1 --seed 2 --quiet
  cp "$tmp/levels/Inbox.dbx" "$corpus/gen-levels.dbx"
  for kind in $("$gen" --damage list | awk '{print $1}' | grep -v '^list-'); do
    "$gen" "$tmp/$kind" --messages-per-folder 3 --message-size 700 --fan-out 2 \
      --damage "$kind" --quiet
    cp "$tmp/$kind/Inbox.dbx" "$corpus/gen-damage-$kind.dbx"
  done
fi
exit 0
