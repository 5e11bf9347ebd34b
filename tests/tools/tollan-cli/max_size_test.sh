#!/usr/bin/env bash
# --max-pst-size: a store converted at a small size limit comes out in parts,
# "NAME (part N).pst", each under the limit and passing pst-check, and the
# parts read in order with pypff give back every folder's messages in their
# order, each message in exactly one part.
#
# usage: max_size_test.sh BUILD_DIR SHARED_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"
pst_check=$build/tools/pst-check/pst-check

# listing EXPORT_DIR | listing PST...: per folder, "folder<TAB>subject<TAB>
# sender<TAB>Message-ID" of each message in order: of the exported messages,
# or of the .pst parts read one after the other.
listing() {
  /usr/bin/python3 - "$@" <<'PY'
import email, email.policy, os, re, sys, pypff
rows = {}
def add(folder, subject, sender, message_id):
    rows.setdefault(folder, []).append("\t".join([folder, subject or "", sender or "", message_id or ""]))
if os.path.isdir(sys.argv[1]):
    for folder in os.listdir(sys.argv[1]):
        for name in sorted(os.listdir(os.path.join(sys.argv[1], folder)), key=lambda n: int(re.match(r"\d+", n).group())):
            with open(os.path.join(sys.argv[1], folder, name), "rb") as f:
                m = email.message_from_binary_file(f, policy=email.policy.default)
            add(folder, str(m["subject"]), m["from"].addresses[0].display_name, str(m["message-id"]))
else:
    for path in sys.argv[1:]:
        f = pypff.file(); f.open(path)
        stack = [f.get_root_folder()]
        while stack:
            folder = stack.pop()
            for i in range(folder.number_of_sub_messages):
                m = folder.get_sub_message(i)
                headers = email.message_from_string(m.transport_headers or "", policy=email.policy.default)
                add(folder.name, m.subject, m.sender_name, str(headers["message-id"]))
            stack.extend(folder.get_sub_folder(i) for i in range(folder.number_of_sub_folders))
for folder in sorted(rows):
    print("\n".join(rows[folder]))
PY
}

# in order PREFIX: the .pst files of a run, the first part, then part 2, 3, ...
in_order() {
  local first; first=$(ls "$1"/*.pst | grep -v ' (part [0-9]*)\.pst$' | head -1)
  echo "$first"
  local n=2
  while [ -e "${first%.pst} (part $n).pst" ]; do echo "${first%.pst} (part $n).pst"; n=$((n + 1)); done
}

"$gen" "$work/big" --folders "Inbox,Archive" --messages-per-folder 30 --message-size 30000 --quiet
"$gen" "$work/small" --folders "Inbox,A1,A2,A3" --messages-per-folder 150 --quiet
for store in big small; do "$kestrel" export "$work/$store" "$work/export-$store" >/dev/null; done

# store | size | bytes | mode
while IFS='|' read -r store size bytes mode; do
  name="$store at $size ($mode)"
  out="$work/out-$store-$size$mode"
  if ! "$cli" $mode --max-pst-size "$size" --verify -o "$out" "$work/$store" >"$work/run.log" 2>&1; then
    failures=$((failures + 1)); echo "FAIL $name: tollan-cli"; tail -n 20 "$work/run.log"; continue
  fi
  parts=$(in_order "$out" | wc -l)
  problems=""
  [ "$parts" -ge 2 ] || problems+="only $parts file(s); "
  while IFS= read -r p; do
    [ "$(stat -c %s "$p")" -le "$bytes" ] || problems+="$p passes $bytes bytes; "
    "$pst_check" "$p" >/dev/null 2>&1 || problems+="pst-check fails on $p; "
    grep -qF "read back $p: verified" "$work/run.log" || problems+="$p not read back; "
  done < <(in_order "$out")
  ! ls "$out"/conversion-report*.csv >/dev/null 2>&1 || problems+="a report was written though nothing went wrong; "
  if ! diff <(listing "$work/export-$store" | grep -v '^Deleted Items') \
            <(mapfile -t files < <(in_order "$out"); listing "${files[@]}") >"$work/diff.txt"; then
    problems+="the parts do not hold every message once, in order: $(head -c 400 "$work/diff.txt")"
  fi
  if [ -z "$problems" ]; then
    passed=$((passed + 1)); echo "ok   $name: $parts parts"
  else
    failures=$((failures + 1)); echo "FAIL $name: $problems"
  fi
done <<'CASES'
big|1MB|1048576|--single-pst
small|1MB|1048576|--single-pst
CASES

if "$cli" --single-pst --max-pst-size 900KB -o "$work/out-tiny" "$work/big" >"$work/tiny.log" 2>&1 ||
   ! grep -q 'must be at least 1MB' "$work/tiny.log" || [ -e "$work/out-tiny" ]; then
  failures=$((failures + 1)); echo "FAIL a size below 1MB is refused before anything is written"
else
  passed=$((passed + 1)); echo "ok   a size below 1MB is refused before anything is written"
fi

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
