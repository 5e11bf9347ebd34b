#!/usr/bin/env bash
# --from-disk on a generated old disk: two profiles, three identities (one
# with a non-ASCII name, store roots with %USERPROFILE% and as plain paths,
# one whose store folder is gone) and two stray store folders, one without
# its folder list (Folders.dbx). Every store
# must arrive in the .pst named for it (read back with pypff), the gone one
# must be named, and nothing on the disk may change.
#
# usage: old_disk_test.sh BUILD_DIR SHARED_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$here/hive.sh"

check() {  # check NAME COMMAND...: runs a step, counts it
  local name=$1; shift
  if "$@" >"$work/step.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failures=$((failures + 1)); echo "FAIL $name"; tail -n 30 "$work/step.log"
  fi
}
export KESTREL_REGISTRATIONS="$work/registrations.ini"
unset KESTREL_REGISTRY WINEPREFIX
"$kestrel" register >/dev/null

disk=$work/disk
users="$disk/Documents and Settings"
alice_store="$users/alice/Local Settings/Application Data/Identities/{A}/Microsoft/Outlook Express"
mkdir -p "$users/alice" "$users/bob" "$disk/Backup"
# Sizes differ per store, so a folder's message count tells them apart.
"$gen" "$alice_store" --folders "Inbox,Sent Items" --messages-per-folder 5 --quiet
"$gen" "$users/bob/Mail" --folders "Inbox,Archive" --messages-per-folder 3 --seed 4 --quiet
"$gen" "$disk/Backup/OE copy" --folders "Inbox,Old" --messages-per-folder 2 --seed 8 --quiet
# A stray copy of folder files without their folder list.
"$gen" "$disk/Backup/Loose" --folders "Inbox,Kept" --messages-per-folder 3 --seed 6 --quiet
for s in "$alice_store:alice" "$users/bob/Mail:bob" "$disk/Backup/OE copy:stray" "$disk/Backup/Loose:loose"; do
  "$kestrel" export "${s%:*}" "$work/export-${s##*:}" >/dev/null
done
rm "$disk/Backup/Loose/Folders.dbx"
make_hive "$users/alice/NTUSER.DAT" "{A}" \
  "{A}" "Main Identity" '%USERPROFILE%\Local Settings\Application Data\Identities\{A}\Microsoft\Outlook Express' \
  "{K}" "Kids" 'C:\Documents and Settings\alice\Kids Mail'
make_hive "$users/bob/NTUSER.DAT" "{J}" "{J}" "Jürgen" 'C:\Documents and Settings\bob\Mail'
sums_before=$(cd "$disk" && find . -type f -print0 | sort -z | xargs -0 sha256sum)

set +e
"$cli" --from-disk "$disk" -o "$work/out" --verify >"$work/run.log" 2>&1
status=$?
set -e
cat "$work/run.log"
check "it prints what it found: the profiles, the identities with their stores, the stray folder" \
  bash -c "grep -q 'identity Main Identity: .*/alice/Local Settings/.*Outlook Express (10 messages)' '$work/run.log' &&
           grep -q 'identity Jürgen: .*/bob/Mail (6 messages)' '$work/run.log' &&
           grep -q 'identity Kids: .*/alice/Kids Mail (.*could not be opened' '$work/run.log' &&
           grep -qx '  $disk/Backup/OE copy' '$work/run.log' && grep -qx '  $disk/Backup/Loose' '$work/run.log'"
check "the identity whose store is gone is named as failed, and the run ends with status 1" \
  bash -c "test $status -eq 1 && grep -q 'FAILED.*Kids Mail.*alice - Kids: the store could not be opened' '$work/run.log' &&
           test \$(grep -c FAILED '$work/run.log') -eq 1"
check "one .pst per store, named after profile and identity (strays after their path)" \
  bash -c "cd '$work/out' && ls alice\\ -\\ Main\\ Identity*.pst bob\\ -\\ Jürgen*.pst Backup\\ -\\ OE\\ copy*.pst &&
           ls Backup\\ -\\ Loose*.pst && test \$(ls | grep -c '\\.pst$') -eq 4"
check "every message is in the .pst named for its store" \
  bash -c "$verify '$work/export-alice' '$work'/out/alice*.pst --skip Outbox 'Deleted Items' &&
           $verify '$work/export-bob' '$work'/out/bob*.pst --skip Outbox 'Deleted Items' &&
           $verify '$work/export-stray' '$work'/out/Backup\\ -\\ OE*.pst --skip Outbox 'Deleted Items' &&
           $verify '$work/export-loose' '$work'/out/Backup\\ -\\ Loose*.pst --skip Outbox 'Deleted Items'"
check "nothing on the disk changed" \
  test "$sums_before" = "$(cd "$disk" && find . -type f -print0 | sort -z | xargs -0 sha256sum)"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
