#!/usr/bin/env bash
# The main job: installs what is missing, builds the programs (no tests, no
# benchmarks), makes a sample Outlook Express store, shows what the reader
# sees in it, converts it with tollan-cli into one .pst for all folders and
# one .pst per folder, and checks every output file with pst-check.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

step() {  # step WHAT COMMAND...: runs a set-up step, names it when it fails
  local what=$1; shift
  local status=0
  "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "demo: $what failed (status $status); see the messages above" >&2
    exit 1
  fi
}

step "installing the build dependencies (scripts/install-deps.sh --demo)" \
  "$here/scripts/install-deps.sh" --demo
step "configuring the build in build/" \
  cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLLAN_TESTS=OFF -DTOLLAN_BENCH=OFF -DTOLLAN_GUI=OFF
step "building the programs" \
  cmake --build "$here/build" --parallel "$(nproc)" \
    --target make-sample-store kestrel kestrel_server tollan-cli tollan-import-worker pst-check
bin=$here/build/tools
demo=$here/build/demo
rm -rf "$demo"

echo "== a sample store"
"$bin/make-sample-store/make-sample-store" "$demo/store" \
  --folders "Inbox,Sent Items,Archive,Deleted Items" --messages-per-folder 25

echo "== the folder list as the reader sees it"
"$bin/kestrel/kestrel" folders "$demo/store"

echo "== the first messages of the Inbox"
# Through a file: a pipe into head would end kestrel early with SIGPIPE.
"$bin/kestrel/kestrel" messages "$demo/store/Inbox.dbx" > "$demo/inbox-messages.jsonl"
head -n 4 "$demo/inbox-messages.jsonl" | cut -c1-200

echo "== convert into one .pst for all folders"
"$bin/tollan-cli/tollan-cli" --single-pst -o "$demo/out-single" "$demo/store" --verify

echo "== convert into one .pst per folder"
"$bin/tollan-cli/tollan-cli" --pst-per-file -o "$demo/out-each" "$demo/store" --verify

echo "== the output files"
for pst in "$demo"/out-*/*.pst; do
  printf '%s\n  ' "$pst"
  "$bin/pst-check/pst-check" "$pst"
done
