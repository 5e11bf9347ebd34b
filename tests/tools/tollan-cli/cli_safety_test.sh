#!/usr/bin/env bash
# Runs of tollan-cli and kestrel that must never lose mail in silence or leave
# a broken file: damaged indexes, interrupted and killed runs, concurrent runs
# into one folder, odd file names, special files, existing files.
#
# usage: cli_safety_test.sh BUILD_DIR SHARED_DIR
set -uo pipefail
source "$(dirname "$0")/common.sh"

ok() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failures=$((failures + 1)); echo "FAIL $1"; [ -f "$work/log" ] && tail -n 25 "$work/log"; }
expect() {  # expect NAME CONDITION...: the condition (a command) must hold
  local name=$1; shift
  if "$@" >>"$work/check.log" 2>&1; then ok "$name"; else fail "$name"; fi
}

# 1. A folder file whose index yields fewer messages than its header declares
# is a failure of that file, with both counts.
for kind in truncated-half truncated-header root-zero root-mid-node; do
  "$gen" "$work/d-$kind" --folders Inbox --messages-per-folder 20 --damage "$kind" --quiet
  mkdir -p "$work/o-$kind"
  timeout 120 "$cli" --pst-per-file -o "$work/o-$kind" "$work/d-$kind/Inbox.dbx" >"$work/log" 2>&1
  rc=$?
  if [ $rc -eq 1 ] && grep -Eq "FAILED .*Inbox.dbx .*20 declared by its header.*lists [0-9]+ of the 20 messages" "$work/log" &&
     ! grep -q "0 message(s) could not be converted" "$work/log"; then
    ok "damaged index ($kind): failure with both counts"
  else
    fail "damaged index ($kind): exit $rc"
  fi
done
mkdir -p "$work/real" "$work/o-real"
cp "$shared/fixtures/real-store/Inbox.dbx" "$work/real/Inbox.dbx"
chmod u+w "$work/real/Inbox.dbx"
printf '\x55' | dd of="$work/real/Inbox.dbx" bs=1 seek=$((0x1e254)) conv=notrunc status=none
"$cli" --pst-per-file -o "$work/o-real" "$work/real/Inbox.dbx" >"$work/log" 2>&1
rc=$?
if [ $rc -eq 1 ] && grep -q "lists 0 of the 1 messages its header declares" "$work/log" &&
   [ -z "$(ls "$work/o-real" | grep '\.pst$')" ]; then
  ok "real Inbox with one index byte changed: failure, no empty .pst"
else
  fail "real Inbox with one index byte changed: exit $rc, outputs: $(ls "$work/o-real")"
fi
"$kestrel" export "$work/real/Inbox.dbx" "$work/x-real" >"$work/log" 2>&1
expect "kestrel export of a damaged folder exits non-zero" test $? -ne 0

# 2. Interrupted runs: SIGINT leaves a complete .pst under its final name
# holding exactly the messages reported saved; SIGKILL leaves no final name.
"$gen" "$work/big" --folders Inbox --messages-per-folder 6000 --quiet
"$kestrel" export "$work/big" "$work/x-big" >/dev/null
# Waits until a few hundred messages are in the temporary .pst in $1.
await_partial() {
  local size=0
  for _ in $(seq 600); do
    size=$(stat -c %s "$1"/*.partial 2>/dev/null | head -n 1)
    [ "${size:-0}" -gt 1500000 ] && break
    sleep 0.05
  done
}
# No process of $@ is left (a zombie the init has yet to reap is gone).
none_left() { ! ps -o stat= -p "$(echo "$@" | tr ' ' ,)" | grep -qv Z; }
# Starts a conversion with two import processes into $1 (of the big Inbox,
# or of the options and files given after $2), waits until a few hundred
# messages are in its temporary .pst, and sends signal $2.
interrupt() {
  local out=$1 sig=$2
  shift 2
  mkdir -p "$out"
  "$cli" --single-pst --jobs 2 -o "$out" "${@:-$work/big/Inbox.dbx}" >"$out.log" 2>&1 &
  local pid=$!
  await_partial "$out"
  pgrep -P $pid >"$out.workers"
  kill -"$sig" $pid
  wait $pid
}
interrupt "$work/int" INT
rc=$?
saved=$(sed -n 's/^Messages: \([0-9]*\) converted.*/\1/p' "$work/int.log")
pst=$(ls "$work/int"/*.pst 2>/dev/null)
if [ $rc -eq 130 ] && [ -n "$saved" ] && [ "$saved" -ge 100 ] && [ "$saved" -lt 6000 ] &&
   [ "$(echo "$pst" | wc -l)" -eq 1 ] && grep -q "^Interrupted" "$work/int.log"; then
  ok "SIGINT: exit 130, one .pst under its final name, $saved messages reported saved"
else
  cp "$work/int.log" "$work/log"; fail "SIGINT: exit $rc, saved '$saved', files: $(ls "$work/int")"
fi
mkdir -p "$work/x-saved/Inbox"
for n in $(seq "${saved:-0}"); do ln -s "$work/x-big/Inbox/$n.eml" "$work/x-saved/Inbox/$n.eml"; done
expect "SIGINT: the .pst lists exactly the messages reported saved" \
  $verify "$work/x-saved" "$pst" --all-read
expect "SIGINT: the .pst passes pst-check" "$build/tools/pst-check/pst-check" "$pst"
expect "SIGINT: no temporary files left" \
  test -z "$(ls "$work/int" | grep -v '\.pst$')"
# Also while recovery converts, and what it saved is counted.
"$gen" "$work/big-rz" --folders Inbox --messages-per-folder 6000 --damage root-zero --quiet
interrupt "$work/int-rz" INT --recover "$work/big-rz/Inbox.dbx"
rc=$?
saved=$(sed -n 's/^Interrupted: the run was stopped; \([0-9]*\) message.*/\1/p' "$work/int-rz.log")
held=$("$build/tools/pst-check/pst-check" "$work"/int-rz/*.pst | sed -n 's/^ok: .* \([0-9]*\) messages$/\1/p')
expect "SIGINT during recovery: exit 130, stopped early, the $saved reported saved are the $held the .pst holds" \
  test $rc -eq 130 -a "${saved:-0}" -gt 0 -a "${saved:-0}" -lt 6000 -a "$saved" = "$held"
interrupt "$work/kill" KILL
expect "SIGKILL: nothing under a final name" test -z "$(ls "$work/kill" | grep '\.pst$')"
sleep 0.2
expect "SIGKILL: no import process outlives the converter" \
  bash -c "test -s '$work/kill.workers' && $(declare -f none_left); none_left \$(cat '$work/kill.workers')"
leftover=$(ls "$work/kill" | sha256sum)
"$gen" "$work/small" --folders Inbox --messages-per-folder 5 --quiet
"$cli" --single-pst -o "$work/kill" "$work/small/Inbox.dbx" --verify >"$work/log" 2>&1
expect "after SIGKILL: the next run converts and leaves the leftovers alone" \
  bash -c "test $? -eq 0 && test \"\$(ls '$work/kill' | grep -v '\.pst$' | sha256sum)\" = '$leftover'"

# A terminal's Ctrl-C goes to the whole foreground group: the converter, and
# the reader of a pipe its output goes through, which ends. The run still
# ends as interrupted, its .pst complete, no import process or temporary
# file left.
mkdir -p "$work/group"
setsid env --default-signal=INT bash -c "{ '$cli' --single-pst --jobs 2 -o '$work/group' '$work/big/Inbox.dbx' 2>&1;
                                           echo \$? >'$work/group.rc'; } | cat >/dev/null" </dev/null &
leader=$!
await_partial "$work/group"
workers=$(pgrep -s $leader -x tollan-import-w | tr '\n' ' ')
kill -INT -- -$leader
wait $leader
sleep 0.2
pst=$(ls "$work/group"/*.pst 2>/dev/null)
n=$("$build/tools/pst-check/pst-check" "$pst" | sed -n 's/^ok: .* \([0-9]*\) messages$/\1/p')
mkdir -p "$work/x-group/Inbox"
for k in $(seq "${n:-0}"); do ln -s "$work/x-big/Inbox/$k.eml" "$work/x-group/Inbox/$k.eml"; done
expect "SIGINT to the group, output through a pipe: exit 130, one valid .pst of the first $n messages, nothing left" \
  bash -c "test \"\$(cat '$work/group.rc')\" = 130 && test -n '$workers' && test \"\$(ls '$work/group')\" = \"\$(basename '$pst')\" &&
           test '${n:-0}' -gt 0 && $verify '$work/x-group' '$pst' --all-read && $(declare -f none_left); none_left $workers"

# 3. Ten pairs of concurrent runs into one folder: twenty distinct valid
# files, each holding its own input.
"$gen" "$work/pa" --folders Alpha --messages-per-folder 4 --seed 1 --quiet
"$gen" "$work/pb" --folders Beta --messages-per-folder 4 --seed 2 --quiet
"$kestrel" export "$work/pa/Alpha.dbx" "$work/x-pa/Alpha" >/dev/null
"$kestrel" export "$work/pb/Beta.dbx" "$work/x-pb/Beta" >/dev/null
mkdir -p "$work/pairs"
for _ in $(seq 10); do
  "$cli" --single-pst -o "$work/pairs" "$work/pa/Alpha.dbx" >/dev/null 2>&1 &
  "$cli" --single-pst -o "$work/pairs" "$work/pb/Beta.dbx" >/dev/null 2>&1 &
  wait
done
alpha=0 beta=0
for f in "$work/pairs"/*.pst; do
  "$build/tools/pst-check/pst-check" "$f" >/dev/null 2>&1 || continue
  if $verify "$work/x-pa" "$f" --all-read >/dev/null 2>&1; then alpha=$((alpha + 1)); fi
  if $verify "$work/x-pb" "$f" --all-read >/dev/null 2>&1; then beta=$((beta + 1)); fi
done
expect "concurrent pairs: twenty valid files, ten of each input ($alpha + $beta)" \
  test "$(ls "$work/pairs" | wc -l)" -eq 20 -a $alpha -eq 10 -a $beta -eq 10

# 4-6. Names that are not UTF-8, a name too long for the stamp, a FIFO.
odd=$work/$'\xff\xfe'
mkdir -p "$odd" "$work/o-odd"
cp "$work/small/Inbox.dbx" "$odd/caf"$'\xe9'".dbx"
long=$(printf 'a%.0s' $(seq 246))
cp "$work/small/Inbox.dbx" "$odd/$long.dbx"
wide=$(printf '\xc3\xa9%.0s' $(seq 123))
cp "$work/small/Inbox.dbx" "$odd/$wide.dbx"
mkfifo "$odd/pipe.dbx"
timeout 60 "$cli" --pst-per-file -o "$work/o-odd" "$odd" --verify >"$work/log" 2>&1
rc=$?
expect "odd names: the run ends (no hang on a FIFO) and reports the FIFO ($rc)" \
  bash -c "test $rc -eq 1 && grep -q 'FAILED .*pipe.dbx.*named pipe' '$work/log'"
expect "odd names: Latin-1, long ASCII and long UTF-8 names all converted" \
  bash -c "test \$(grep -c '^  converted' '$work/log') -eq 3 && test \$(ls '$work/o-odd' | grep -c '\.pst$') -eq 3"
expect "long names: shortened on a character boundary, stamp and .pst kept" \
  /usr/bin/python3 -c "
import os, re, sys
names = [n for n in os.listdir(os.fsencode(sys.argv[1])) if n.endswith(b'.pst')]
assert all(len(n) <= 255 and re.search(rb'\d+\.\d+\.\d\d \d+\.\d+\.\d\d\.pst$', n) for n in names), names
wide = [n for n in names if n.startswith(b'\xc3\xa9')]
assert len(wide) == 1, names
wide[0].decode('utf-8')
" "$work/o-odd"

# kestrel export never overwrites a file of the user's.
mkdir -p "$work/x-own/Inbox"
echo "mine" >"$work/x-own/Inbox/1.eml"
"$kestrel" export "$work/small" "$work/x-own" >/dev/null 2>&1
expect "kestrel export: an existing 1.eml is kept, the message goes beside it" \
  bash -c "test \"\$(cat '$work/x-own/Inbox/1.eml')\" = mine && test -s '$work/x-own/Inbox/1 (2).eml'"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
