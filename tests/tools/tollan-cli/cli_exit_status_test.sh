#!/usr/bin/env bash
# The exit status and summary of tollan-cli tell what arrived: every way a
# message can fail to reach the .pst whole ends non-zero with its count; a
# closed terminal, a program that is not the import worker and a worker that
# hangs at Ctrl-C end the run cleanly; skipped files say what they hold.
#
# usage: cli_exit_status_test.sh BUILD_DIR SHARED_DIR
set -uo pipefail
source "$(dirname "$0")/common.sh"

ok() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failures=$((failures + 1)); echo "FAIL $1"; tail -n 25 "$2"; }

"$gen" "$work/s" --folders Inbox,Outbox --messages-per-folder 5 --quiet
"$gen" "$work/z" --folders Inbox --messages-per-folder 20 --quiet
"$gen" "$work/cut" --folders Inbox --messages-per-folder 6 --damage cyclic-chain --damage-message 2 --quiet
for n in 16 50 100; do
  mkdir -p "$work/t$n"
  head -c $n "$work/s/Inbox.dbx" >"$work/t$n/Inbox.dbx"
done
# The header's message count (0xC4) and index root (0xE4) zeroed.
printf '\0\0\0\0' | dd of="$work/z/Inbox.dbx" bs=1 seek=$((0xC4)) conv=notrunc status=none
printf '\0\0\0\0' | dd of="$work/z/Inbox.dbx" bs=1 seek=$((0xE4)) conv=notrunc status=none
odd=$work/$'new\nline'
mkdir -p "$odd"
cp "$work/s/Inbox.dbx" "$odd/In"$'\xff'".dbx"
mkdir -p "$work/bad"$'\n'"name"
head -c 16 "$work/s/Inbox.dbx" >"$work/bad"$'\n'"name/Inbox.dbx"
printf '#!/bin/sh\necho "I am not the worker"\nexec cat\n' >"$work/not-worker"
# It greets as the worker (the greeting is taken from the worker itself).
greeting=$(strings "$(dirname "$cli")/tollan-import-worker" | grep -m1 -x 'tollan-import-worker/[0-9]*')
printf '#!/bin/sh\nprintf "%s\\n"\nexec sleep 600\n' "$greeting" >"$work/hung-worker"
chmod +x "$work/not-worker" "$work/hung-worker"

# Converts with one .pst per file into a new folder and checks the exit
# status and a line of the output: run_case NAME EXIT PATTERN ARGS...
run_case() {
  local name=$1 want=$2 pattern=$3
  shift 3
  last_out=$work/out-$((passed + failures))
  mkdir -p "$last_out"
  timeout 120 "$cli" --pst-per-file --jobs 1 -o "$last_out" "$@" >"$work/log" 2>&1
  local rc=$?
  if [ $rc -eq "$want" ] && grep -Eq "$pattern" "$work/log"; then
    ok "$name: exit $rc"
  else
    fail "$name: exit $rc, wanted $want and /$pattern/" "$work/log"
  fi
}
for n in 16 50 100; do
  run_case "cut to $n bytes" 1 "FAILED .*t$n/Inbox.dbx .*cut short" "$work/t$n/Inbox.dbx"
done
run_case "count and root zeroed" 1 "^Not recovered: 20 message" "$work/z/Inbox.dbx"
run_case "count and root zeroed, recovered" 0 "^Recovered: 20 message" --recover "$work/z/Inbox.dbx"
run_case "a body cut short" 1 "^Converted in part: 1 message" "$work/cut/Inbox.dbx"
run_case "Outbox skipped" 0 "^Skipped: .*Outbox.dbx holds 5 message" "$work/s"
run_case "Outbox converted" 0 "^Messages: 10 converted" --convert-outbox "$work/s"
run_case "odd names quoted on one line" 0 "^  converted +[$]'$work/new[\\]nline/In[\\]xFF.dbx'" "$odd"
run_case "an error naming an odd path stays on its line" 1 \
  "^  FAILED +[$]'$work/bad[\\]nname/Inbox.dbx'  .*$work/bad[\\]nname/Inbox.dbx: the folder file is cut short" \
  "$work/bad"$'\n'"name/Inbox.dbx"
run_case "report into a missing folder" 2 "the report cannot be written into .*no such folder" \
  --report "$work/nowhere/r.csv" "$work/s"
if [ ! -e "$work/nowhere" ] && [ -z "$(ls "$last_out")" ]; then
  ok "a refused report makes nothing"
else
  fail "a refused report makes nothing" /dev/null
fi
expect_report() {  # the report names the skipped Outbox with its count
  grep -q 'Outbox.dbx,,,,,folder file skipped,"it holds 5 message(s), not converted"' "$1"
}
out=$work/rep
mkdir -p "$out"
"$cli" --single-pst -q -o "$out" "$work/s" >"$work/log" 2>&1
if expect_report "$out/conversion-report.csv"; then ok "the report names the Outbox and its messages"
else fail "the report names the Outbox and its messages" "$work/log"; fi


# A program that is not the worker: told once, imported in this process.
mkdir -p "$work/nw"
TOLLAN_IMPORT_WORKER=$work/not-worker timeout 60 "$cli" --single-pst --jobs 2 -o "$work/nw" "$work/s" \
  >"$work/log" 2>&1
rc=$?
if [ $rc -eq 0 ] && grep -q "importing in this process only: .*not tollan-import-worker" "$work/log" &&
   grep -q "^Messages: 5 converted, 0 skipped, 0 failed" "$work/log"; then
  ok "not the worker: imported in this process"
else
  fail "not the worker: exit $rc" "$work/log"
fi

# A worker that hangs: Ctrl-C (and a closed terminal) end it at once, the
# run ends as interrupted with a valid .pst and names the messages it held.
for sig in INT HUP; do
  out=$work/hang-$sig
  mkdir -p "$out"
  TOLLAN_IMPORT_WORKER=$work/hung-worker "$cli" --single-pst --jobs 2 -o "$out" --report "$out.csv" \
    "$work/s/Inbox.dbx" >"$out.log" 2>&1 &
  pid=$!
  sleep 1
  start=$(date +%s)
  kill -$sig $pid
  wait $pid
  rc=$?
  took=$(($(date +%s) - start))
  pst=$(ls "$out"/*.pst 2>/dev/null)
  if [ $rc -eq 130 ] && [ $took -lt 15 ] && [ -n "$pst" ] && "$build/tools/pst-check/pst-check" "$pst" >/dev/null &&
     [ -z "$(ls "$out" | grep -v '\.pst$')" ] &&
     grep -q "the run was stopped while" "$out.csv"; then
    ok "hung worker, SIG$sig: exit 130 after ${took}s, a valid .pst, nothing left, the messages named"
  else
    fail "hung worker, SIG$sig: exit $rc after ${took}s, files: $(ls "$out")" "$out.log"
  fi
done

# A full disk (a small file system of a user namespace, where one can be
# made): no file counted as converted whose messages failed, and the report
# says as much as the summary.
if unshare -rm true 2>/dev/null; then
  "$gen" "$work/big" --folders Inbox,Archive --messages-per-folder 300 --message-size 4000 --quiet
  unshare -rm bash -c "mkdir -p '$work/full' && mount -t tmpfs -o size=1200k tmpfs '$work/full' &&
    '$cli' --single-pst --jobs 1 -o '$work/full' '$work/big' >'$work/log' 2>&1; echo \$? >'$work/full.rc';
    cp '$work/full'/*.csv '$work/full.csv' 2>/dev/null; true"
  rc=$(cat "$work/full.rc")
  if [ "$rc" = 1 ] && [ "$(grep -Ec '^  FAILED +.*big/(Inbox|Archive).dbx  \(0 of 300 messages, 300 failed\)' "$work/log")" = 2 ] &&
     grep -q '^Files: 2 converted, 0 converted in part, 3 skipped, 3 failed' "$work/log"; then
    ok "full disk: exit 1, the files whose messages failed counted as failed"
  else
    fail "full disk: exit $rc" "$work/log"
  fi
else
  echo "skip full disk: no user namespaces here"
fi

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
