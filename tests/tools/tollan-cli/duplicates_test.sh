#!/usr/bin/env bash
# --skip-duplicates over two overlapping backups of one store: every message
# once, the rest counted as left out. Read back with pypff.
#
# usage: merge_split_test.sh BUILD_DIR SHARED_DIR
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
# subjects EXPORT_DIR | subjects PST...: "folder<TAB>subject" lines, sorted,
# of the exported messages or of every message in the .pst files.
subjects() {
  /usr/bin/python3 - "$@" <<'PY'
import email, email.policy, os, sys, pypff
rows = []
if os.path.isdir(sys.argv[1]):
    for folder in os.listdir(sys.argv[1]):
        for name in os.listdir(os.path.join(sys.argv[1], folder)):
            with open(os.path.join(sys.argv[1], folder, name), "rb") as f:
                rows.append("Inbox\t" + str(email.message_from_binary_file(f, policy=email.policy.default)["subject"]))
else:
    for path in sys.argv[1:]:
        f = pypff.file(); f.open(path)
        stack = [f.get_root_folder()]
        while stack:
            folder = stack.pop()
            for i in range(folder.number_of_sub_messages):
                rows.append("Inbox\t" + (folder.get_sub_message(i).subject or ""))
            stack.extend(folder.get_sub_folder(i) for i in range(folder.number_of_sub_folders))
print("\n".join(sorted(rows)))
PY
}

# Two backups of one Inbox: the second holds the first's 10 messages and 5 newer ones.
"$gen" "$work/backup1" --folders Inbox --messages-per-folder 10 --quiet
"$kestrel" export "$work/backup1" "$work/export1" >/dev/null
"$gen" "$work/backup2" --folders Inbox --from-eml "$work/export1/Inbox" --messages-per-folder 5 --seed 5 --quiet
"$kestrel" export "$work/backup2" "$work/export2" >/dev/null
set +e
"$cli" --single-pst --skip-duplicates -o "$work/merged" "$work/backup1" "$work/backup2" --verify >"$work/merge.log" 2>&1
status=$?
set -e
cat "$work/merge.log"
check "--skip-duplicates: every message of both backups once" \
  bash -c "test $status -eq 0 && diff <(subjects '$work/export2') <(subjects '$work'/merged/*.pst)"
check "--skip-duplicates: the summary and the report count the 10 left out" \
  bash -c "grep -q 'Duplicates left out (already in the output): 10 message' '$work/merge.log' &&
           test \$(grep -c 'left out as a duplicate' '$work'/merged/conversion-report*.csv) -eq 10"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
