#!/usr/bin/env bash
# End-to-end runs of tollan-cli: generated, real and damaged stores in both
# modes, and the default store through a Wine prefix. Every output file must
# pass pst-check (--verify) and hold every message of its source, compared by
# verify_pst.py; damaged input must not crash the run and is never changed.
#
# usage: cli_e2e_test.sh BUILD_DIR SHARED_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"

check() {  # check NAME COMMAND...: runs a step, counts it
  local name=$1; shift
  if "$@" >"$work/step.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failures=$((failures + 1)); echo "FAIL $name"; tail -n 30 "$work/step.log"
  fi
}

# A generated store, plus a second Inbox.dbx in a subfolder (another
# identity's), so the single .pst must find a free folder name.
"$gen" "$work/store" --folders "Inbox,Sent Items,Archive,2005,Deleted Items" \
  --messages-per-folder 30 --quiet
"$gen" "$work/store/other" --folders Inbox --messages-per-folder 5 --seed 7 --quiet
"$kestrel" export "$work/store" "$work/export" >/dev/null
"$kestrel" export "$work/store/other" "$work/export-other" >/dev/null
sums_before=$(cd "$work/store" && find . -type f -print0 | sort -z | xargs -0 sha256sum)

mkdir -p "$work/out-single" "$work/out-each"
check "single .pst: converts and verifies" \
  bash -c "'$cli' --single-pst -o '$work/out-single' '$work/store' --verify >'$work/single.log'"
check "single .pst: every message read back as written" \
  grep -qE '^read back .*: verified ([1-9][0-9]*) of \1 messages$' "$work/single.log"
check "single .pst: every message of every folder" \
  $verify "$work/export" "$work/out-single"/*.pst --all-read --skip Outbox "Deleted Items"
check "single .pst: the second Inbox got a folder of its own" \
  bash -c "/usr/bin/python3 -c \"
import pypff,sys
f=pypff.file(); f.open(sys.argv[1]); top=f.get_root_folder().get_sub_folder(0)
names=[top.get_sub_folder(i).name for i in range(top.number_of_sub_folders)]
assert 'Inbox' in names and 'Inbox (2)' in names and '2005' in names, names
\" '$(ls "$work"/out-single/*.pst)'"
check "separate .pst files: converts and verifies" \
  "$cli" --pst-per-file --convert-deleted-items -o "$work/out-each" "$work/store" --verify
check "separate .pst files: every message of every folder" \
  $verify "$work/export" "$work/out-each"/*.pst --all-read --skip Outbox
check "separate .pst files: one file per converted folder file, same names kept apart" \
  test "$(ls "$work/out-each"/*.pst | wc -l)" -eq 10
check "input files unchanged" \
  bash -c "test \"\$(cd '$work/store' && find . -type f -print0 | sort -z | xargs -0 sha256sum)\" = '$sums_before'"
check "no temporary files left" \
  bash -c "! ls '$work'/out-single/*.eml '$work'/out-each/*.eml 2>/dev/null"

# The real Outlook Express store.
mkdir -p "$work/out-real"
check "real store: converts and verifies" \
  "$cli" --pst-per-file -o "$work/out-real" "$shared/fixtures/real-store" --verify
"$kestrel" export "$shared/fixtures/real-store" "$work/export-real" >/dev/null
check "real store: the message is intact" \
  $verify "$work/export-real" "$work/out-real"/*.pst --all-read --skip Outbox Offline

# Real messages (the import corpus) next to generated ones, converted with
# the import in this process and in three worker processes: the .pst files
# read back by libpff must be the same (every message, same order, every
# property and attachment), apart from the creation and modification times
# the import stamps from the clock.
corpus=$here/../../platform/mail/corpus
"$gen" "$work/mixed" --folders "Inbox,Work" --messages-per-folder 20 \
  --from-eml "$corpus" "$corpus/charsets" "$corpus/damaged" --quiet
oracle=$here/../../platform/pst/messaging/pst_oracle.py
# An embedded message's bytes hold its own stamps: its size is compared.
unstamp='
import sys
lines = [l for l in sys.stdin.read().splitlines() if not l.startswith(("P 30070040 ", "P 30080040 ",
                                                                      "AP 30070040 ", "AP 30080040 "))]
for i, l in enumerate(lines):
    if l.startswith("A "):
        j = i + 1
        while j < len(lines) and lines[j].startswith("AP "):
            if lines[j] == "AP 37050003 05000000":
                l = l.rsplit(" ", 1)[0] + " embedded"
            j += 1
    print(l)'
dump() {  # dump DIR: the libpff dump of every .pst in DIR, in name order, without clock stamps
  for f in "$1"/*.pst; do /usr/bin/python3 "$oracle" "$f"; done | /usr/bin/python3 -c "$unstamp"
}
summary() { grep -E '^(Files|Messages):|^  (converted|FAILED|skipped|passed over) ' "$1"; }
for mode in single-pst pst-per-file; do
  mkdir -p "$work/jobs1-$mode" "$work/jobs3-$mode"
  "$cli" --$mode --jobs 1 -o "$work/jobs1-$mode" "$work/mixed" >"$work/jobs1.log" 2>&1 || true
  "$cli" --$mode --jobs 3 -o "$work/jobs3-$mode" "$work/mixed" >"$work/jobs3.log" 2>&1 || true
  dump "$work/jobs1-$mode" >"$work/dump1"
  dump "$work/jobs3-$mode" >"$work/dump3"
  summary "$work/jobs1.log" >"$work/summary1"
  summary "$work/jobs3.log" >"$work/summary3"
  check "$mode: three import processes give the .pst and the summary of one" \
    bash -c "test \$(grep -c '^M ' '$work/dump1') -gt 90 && diff '$work/dump1' '$work/dump3' &&
             grep -q '^Messages: ' '$work/summary1' && diff '$work/summary1' '$work/summary3'"
done
# The same through the reader-conformance harness's views (embedded messages
# included, as pffexport shows them).
echo '{"folders": []}' >"$work/no-expectation.json"
check "single-pst: the readers' views of both .pst files are the same" \
  bash -c "for n in 1 3; do /usr/bin/python3 '$here/../../oracles/pst_readers.py' '$work'/jobs\$n-single-pst/*.pst \
             '$work/no-expectation.json' --readers pypff,pffexport --dump '$work/views'\$n --quiet || exit 1; done &&
           test \$(grep -c '\"subject\"' '$work/views1/pffexport.json') -gt 90 && diff -r '$work/views1' '$work/views3'"

# Damaged stores: no crash, no hang, readable messages converted, the rest
# reported with a non-zero exit.
for kind in cyclic-tree truncated-half bad-own-offset cyclic-chain body-position-8 \
            overlong-segment unterminated-text unrepresentable-date wrong-signature; do
  "$gen" "$work/damaged-$kind" --messages-per-folder 20 --damage "$kind" --quiet
  before=$(sha256sum "$work/damaged-$kind"/*.dbx)
  mkdir -p "$work/out-$kind"
  set +e
  timeout 120 "$cli" --single-pst -o "$work/out-$kind" "$work/damaged-$kind" --verify \
    >"$work/damaged.log" 2>&1
  rc=$?
  set -e
  if [ "$rc" -gt 1 ]; then
    failures=$((failures + 1)); echo "FAIL damaged $kind: exit $rc"; tail -n 20 "$work/damaged.log"
  elif ! grep -q "^pst-check .*: ok" "$work/damaged.log"; then
    failures=$((failures + 1)); echo "FAIL damaged $kind: output not verified"; tail -n 20 "$work/damaged.log"
  elif [ "$before" != "$(sha256sum "$work/damaged-$kind"/*.dbx)" ]; then
    failures=$((failures + 1)); echo "FAIL damaged $kind: input changed"
  else
    passed=$((passed + 1)); echo "ok   damaged $kind (exit $rc)"
  fi
done

# The default store of an identity in a Wine prefix, through the registered
# reader component.
export KESTREL_REGISTRATIONS="$work/registrations.ini"
"$kestrel" register >/dev/null
prefix="$work/prefix"
mkdir -p "$prefix/drive_c/OE Store"
cp "$work/store"/*.dbx "$prefix/drive_c/OE Store/"
printf 'WINE REGISTRY Version 2\n' >"$prefix/system.reg"
cat >"$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2

[Identities] 1700000000
"Default User ID"="{A}"

[Identities\\{A}] 1700000000
"UserName"="Main Identity"

[Identities\\{A}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"="C:\\OE Store"
REG
mkdir -p "$work/out-default"
check "default store: converts and verifies" \
  "$cli" --single-pst --default-store --wine-prefix "$prefix" -o "$work/out-default" --verify
check "default store: every message of every folder" \
  $verify "$work/export" "$work/out-default"/*.pst --skip Outbox "Deleted Items"

# The report (--damage-message counts from 0, the report from 1): two
# stores with one damaged message each (a body chain that
# loops: converted in part; a body that cannot be found: failed) and a clean
# one. The report names exactly those two messages, by subject and sender as
# the reader lists them; without --report it is written beside the outputs
# under a free name, and a clean run writes none.
"$gen" "$work/rep-a" --messages-per-folder 6 --damage cyclic-chain --damage-message 3 --quiet
"$gen" "$work/rep-b" --messages-per-folder 6 --damage body-position-8 --damage-message 5 --seed 2 --quiet
mkdir -p "$work/out-rep" "$work/out-rep2" "$work/out-clean"
set +e
"$cli" --single-pst -q -o "$work/out-rep" --report "$work/report.csv" \
  "$work/rep-a" "$work/rep-b" "$work/store/Sent Items.dbx" >"$work/rep.log" 2>&1
"$cli" --single-pst -q -o "$work/out-rep2" "$work/rep-a" "$work/rep-b" >"$work/rep2.log" 2>&1
"$cli" --single-pst -q -o "$work/out-rep2" "$work/rep-b" >/dev/null 2>&1
set -e
"$kestrel" messages "$work/rep-a/Inbox.dbx" >"$work/rep-a.json"
"$kestrel" messages "$work/rep-b/Inbox.dbx" >"$work/rep-b.json"
check "report: exactly the damaged messages, named as the reader lists them" \
  /usr/bin/python3 - "$work" <<'PY'
import csv, json, re, sys
w = sys.argv[1]
rows = list(csv.reader(open(f"{w}/report.csv", newline="", encoding="utf-8")))
assert rows[0] == ["folder file", "message number", "subject", "sender", "date",
                   "what happened", "why"], rows[0]
got = sorted((r[0], r[1], r[5]) for r in rows[1:])
# The body of rep-b's message 6 is a chain no record reaches: the run names
# it as not recovered (--recover would bring it back).
want = sorted([(f"{w}/rep-a/Inbox.dbx", "4", "incomplete"), (f"{w}/rep-b/Inbox.dbx", "6", "failed"),
               (f"{w}/rep-b/Inbox.dbx", "", "messages not recovered")])
assert got == want, got
for r in (r for r in rows[1:] if r[1]):
    store = "rep-a" if "/rep-a/" in r[0] else "rep-b"
    msgs = [json.loads(l) for l in open(f"{w}/{store}.json") if l.startswith("{") and "Subject" in l]
    m = msgs[int(r[1]) - 1]
    assert r[2] == m["Subject"] and m["SenderAddr"] in r[3] and r[4][:10] == m["DateReceived"][:10], (r, m)
    assert r[6] and all(n == r[1] for n in re.findall(r"message (\d+)", r[6])), r
PY
check "report: the quiet summary names it" grep -q "report.csv" "$work/rep.log"
check "report: written beside the outputs without --report, under a free name" \
  bash -c "grep -q 'conversion-report.csv' '$work/rep2.log' &&
           test \"\$(tail -n +2 '$work/out-rep2/conversion-report.csv')\" = \"\$(tail -n +2 '$work/report.csv')\" &&
           test -f '$work/out-rep2/conversion-report (2).csv'"
check "report: a clean run writes none" \
  bash -c "'$cli' --single-pst -q -o '$work/out-clean' '$work/store/Inbox.dbx' && ! ls '$work'/out-clean/*.csv 2>/dev/null"
check "report: an existing report file is refused before converting" \
  bash -c "! '$cli' --single-pst -q -o '$work/out-clean' --report '$work/report.csv' '$work/store/Inbox.dbx' &&
           test \$(ls '$work'/out-clean/*.pst | wc -l) -eq 1"

# Recovery. A store whose Inbox lost a message the way Outlook Express
# deletes them before compacting: without --recover the run converts the
# rest and says what --recover would bring back; with it they come back in
# "Recovered" below Inbox, equal to what `kestrel recover` finds. A clean
# store gets no "Recovered". The real Inbox with one changed byte in its
# root node lists nothing; with --recover its message comes back whole.
"$gen" "$work/deleted" --messages-per-folder 8 --damage deleted --damage-message 2 --quiet
"$kestrel" recover "$work/deleted" "$work/rec-del" >/dev/null
mkdir -p "$work/exp-del/Inbox" "$work/exp-del/Recovered" "$work/out-norec" "$work/out-rec"
cp "$work/rec-del/Inbox/live/"*.eml "$work/exp-del/Inbox/"
cp "$work/rec-del/Inbox/recovered/1.eml" "$work/exp-del/Recovered/1.eml"
check "recover: without --recover the run names what the index does not reach" \
  bash -c "'$cli' --pst-per-file -o '$work/out-norec' '$work/deleted/Inbox.dbx' |
           grep -q 'Inbox.dbx holds 1 message(s) that its index does not reach; run again with --recover'"
check "recover: deleted messages come back in \"Recovered\"" \
  bash -c "'$cli' --pst-per-file --recover --verify -o '$work/out-rec' '$work/deleted/Inbox.dbx' |
           grep -q '1 recovered into \"Recovered\"' &&
           $verify '$work/exp-del' '$work'/out-rec/*.pst --all-read"
check "recover: a clean store gets no \"Recovered\"" \
  bash -c "mkdir -p '$work/out-clean-rec' &&
           '$cli' --single-pst --recover -q -o '$work/out-clean-rec' '$work/store/other' &&
           /usr/bin/python3 -c \"
import pypff,sys
f=pypff.file(); f.open(sys.argv[1]); stack=[f.get_root_folder()]; names=[]
while stack:
    d=stack.pop(); subs=[d.get_sub_folder(i) for i in range(d.number_of_sub_folders)]
    names += [x.name for x in subs]; stack += subs
assert 'Recovered' not in names, names
\" \"\$(ls '$work'/out-clean-rec/*.pst)\""
mkdir -p "$work/real-damaged" "$work/out-real-rec" "$work/exp-real-rec/Recovered"
cp "$shared/fixtures/real-store/"*.dbx "$work/real-damaged/"
chmod u+w "$work/real-damaged/"*.dbx
printf '\x55' | dd of="$work/real-damaged/Inbox.dbx" bs=1 seek=$((0x1E254)) conv=notrunc status=none
cp "$work/export-real/Inbox/1.eml" "$work/exp-real-rec/Recovered/1.eml"
# The file still fails (its index is damaged), but its .pst is kept with the
# message that recovery brought back.
check "recover: the real Inbox with a damaged root node gives its message back" \
  bash -c "'$cli' --pst-per-file --recover --verify -o '$work/out-real-rec' '$work/real-damaged/Inbox.dbx';
           test \$? -eq 1 && $verify '$work/exp-real-rec' '$work'/out-real-rec/*.pst --all-read"
# The same through the default store: an Inbox whose index lists nothing
# gives its messages back in "Recovered" as the file picked by hand does.
"$gen" "$work/rz" --messages-per-folder 12 --damage root-zero --quiet
"$kestrel" recover "$work/rz/Inbox.dbx" "$work/rec-rz" >/dev/null
mkdir -p "$work/exp-rz" "$work/prefix-rz/drive_c" "$work/out-rz"
cp -r "$work/rec-rz/recovered" "$work/exp-rz/Recovered"
cp "$prefix"/*.reg "$work/prefix-rz/"
ln -s "$work/rz" "$work/prefix-rz/drive_c/OE Store"
check "recover: through the default store as by hand" \
  bash -c "'$cli' --single-pst --recover --verify -o '$work/out-rz' --default-store --wine-prefix '$work/prefix-rz' |
           grep -q 'Inbox.dbx  (0 of 0 messages, 12 declared by its header, 12 recovered into \"Recovered\")' &&
           $verify '$work/exp-rz' '$work'/out-rz/*.pst"

# Bad arguments.
check "a missing output folder is made, with its parents" \
  bash -c "'$cli' --single-pst -o '$work/new/out' '$work/store/other' && ls '$work'/new/out/*.pst"
touch "$work/a-file"
check "an output folder that cannot be made is refused" \
  bash -c "out=\$('$cli' --single-pst -o '$work/a-file/out' '$work/store/other' 2>&1); rc=\$?
           test \$rc -eq 2 && grep -q 'cannot create the output folder' <<<\"\$out\""
check "no mode: the option message, non-zero exit" \
  bash -c "! '$cli' -o '$work' '$work/store' | grep -q 'Please Select Option for Creating Outlook (.pst) files'; test \${PIPESTATUS[0]} -ne 0"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
