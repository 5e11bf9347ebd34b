#!/usr/bin/env bash
# Seeds for fuzz_dbx_folder: the folder files of the real store and, when the
# sample-store generator is built, small generated stores (sound and damaged).
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
  for f in "$tmp"/plain/*.dbx; do
    case "$(basename "$f")" in [Ff]olders.dbx) continue ;; esac
    cp "$f" "$corpus/gen-$(basename "$f")"
  done
  for kind in $("$gen" --damage list 2>/dev/null | awk '{print $1}'); do
    "$gen" "$tmp/$kind" --messages-per-folder 3 --fan-out 2 --damage "$kind" --quiet 2>/dev/null || continue
    [ -f "$tmp/$kind/Inbox.dbx" ] && cp "$tmp/$kind/Inbox.dbx" "$corpus/gen-damage-$kind.dbx"
  done
fi
exit 0
