#!/usr/bin/env bash
# --list-identities, --identity and --all-identities against a Wine prefix
# and an offline hive with several identities: one with a non-ASCII name, a
# store root with %USERPROFILE% and one as a plain path, and one identity
# whose store folder is gone. Every message must arrive in the .pst named
# for its identity (verify_pst.py reads it back with pypff).
#
# usage: identities_test.sh BUILD_DIR SHARED_DIR
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

# Two stores of different sizes, so a folder's count tells them apart.
"$gen" "$work/main" --folders "Inbox,Sent Items" --messages-per-folder 6 --quiet
"$gen" "$work/jurgen" --folders "Inbox,Archive" --messages-per-folder 4 --seed 9 --quiet
"$kestrel" export "$work/main" "$work/export-main" >/dev/null
"$kestrel" export "$work/jurgen" "$work/export-jurgen" >/dev/null

# The Wine prefix: the main store by plain path, the second below the
# profile (%USERPROFILE%), the third gone.
prefix=$work/prefix
mkdir -p "$prefix/drive_c/Mail" "$prefix/drive_c/users/alice/OE"
cp -r "$work/main" "$prefix/drive_c/Mail/Main"
cp -r "$work/jurgen" "$prefix/drive_c/users/alice/OE/Second"
printf 'WINE REGISTRY Version 2\n' >"$prefix/system.reg"
cat >"$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2

[Identities] 1700000000
"Default User ID"="{A}"

[Identities\\{A}] 1700000000
"UserName"="Main Identity"

[Identities\\{A}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"="C:\\Mail\\Main"

[Identities\\{B}] 1700000000
"UserName"="Second"

[Identities\\{B}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"=str(2):"%USERPROFILE%\\OE\\Second"

[Identities\\{C}] 1700000000
"UserName"="Gone"

[Identities\\{C}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"="C:\\Mail\\Gone"
REG

check "--list-identities: name, store folder and message count of each, the current one marked" \
  bash -c "'$cli' --list-identities --wine-prefix '$prefix' >'$work/list' && cat '$work/list' &&
           grep -qP '^Main Identity \\(current\\)\\t.*/drive_c/Mail/Main\\t12 messages$' '$work/list' &&
           grep -qP '^Second\\t.*/drive_c/users/alice/OE/Second\\t8 messages$' '$work/list' &&
           grep -qP '^Gone\\t.*Gone\\t.*could not be opened' '$work/list'"
check "--identity converts the store of the identity named, in any letter case" \
  "$cli" --single-pst --identity second --wine-prefix "$prefix" -o "$work/out-one" --verify
check "--identity: every message of that identity" \
  $verify "$work/export-jurgen" "$work"/out-one/*.pst --skip Outbox "Deleted Items"
check "--identity with an unknown name fails and says so" \
  bash -c "'$cli' --single-pst --identity Nobody --wine-prefix '$prefix' -o '$work/out-none' 2>'$work/none.log';
           test \$? -eq 1 && grep -q 'no Outlook Express identity \"Nobody\"' '$work/none.log'"

# The count is what the folder files hold, whatever the folder list says or
# when it is missing; a store without one still converts, file by file.
# variant | damage | remove Folders.dbx
while IFS='|' read -r variant damage no_list; do
  rm -rf "$prefix/drive_c/Mail/Main.$variant"
  "$gen" "$prefix/drive_c/Mail/Main.$variant" --folders "Inbox,Sent Items" --messages-per-folder 6 $damage --quiet
  [ -z "$no_list" ] || rm "$prefix/drive_c/Mail/Main.$variant/Folders.dbx"
  sed "s/Mail\\\\\\\\Main\"/Mail\\\\\\\\Main.$variant\"/" "$prefix/user.reg" >"$work/user.reg.$variant"
  mkdir -p "$work/prefix-$variant"
  cp "$prefix/system.reg" "$work/prefix-$variant/"
  cp "$work/user.reg.$variant" "$work/prefix-$variant/user.reg"
  ln -sfn "$prefix/drive_c" "$work/prefix-$variant/drive_c"
  check "--list-identities and --all-identities, store $variant: 12 messages counted and converted" \
    bash -c "'$cli' --list-identities --wine-prefix '$work/prefix-$variant' >'$work/list-$variant' &&
             grep -qP '^Main Identity \\(current\\)\\t.*Main.$variant\\t12 messages\$' '$work/list-$variant' &&
             { '$cli' --all-identities --wine-prefix '$work/prefix-$variant' -o '$work/out-$variant' \
                 >'$work/run-$variant.log'; true; } &&
             ! grep -q 'FAILED.*Main' '$work/run-$variant.log' &&
             $verify '$work/export-main' '$work'/out-$variant/Main\\ Identity*.pst --skip Outbox 'Deleted Items'"
done <<'CASES'
stale-high|--damage overstated-count|
stale-low|--damage understated-count|
no-list||yes
CASES

# --all-identities: a .pst per identity; the gone store is named and fails the run.
set +e
"$cli" --all-identities --wine-prefix "$prefix" -o "$work/out-all" --verify >"$work/all.log" 2>&1
status=$?
set -e
cat "$work/all.log"
check "--all-identities: status 1 and the gone store named" \
  bash -c "test $status -eq 1 && grep -q 'FAILED.*Mail/Gone.*Gone: the store could not be opened' '$work/all.log'"
check "--all-identities: one .pst per identity, each with every message of its own store" \
  bash -c "test \$(ls '$work/out-all' | grep -c '\\.pst$') -eq 2 &&
           $verify '$work/export-main' '$work'/out-all/Main\\ Identity*.pst --skip Outbox 'Deleted Items' &&
           $verify '$work/export-jurgen' '$work'/out-all/Second*.pst --skip Outbox 'Deleted Items'"

# An offline hive: the identity with a non-ASCII name keeps its store below
# the profile that holds NTUSER.DAT.
profile=$work/disk/Documents\ and\ Settings/bob
mkdir -p "$profile/Local Settings/OE"
cp -r "$work/jurgen" "$profile/Local Settings/OE/J"
cp -r "$work/main" "$work/disk/MainStore"
make_hive "$profile/NTUSER.DAT" "{B}" "{A}" "Main Identity" 'C:\MainStore' \
  "{B}" "Jürgen" '%USERPROFILE%\Local Settings\OE\J'
check "hive: --list-identities reads the non-ASCII name and expands %USERPROFILE% against the profile" \
  bash -c "'$cli' --list-identities --hive '$profile/NTUSER.DAT' >'$work/hlist' && cat '$work/hlist' &&
           grep -qP '^Jürgen \\(current\\)\\t.*/bob/Local Settings/OE/J\\t8 messages$' '$work/hlist' &&
           grep -qP '^Main Identity\\t.*/MainStore\\t12 messages$' '$work/hlist'"
check "hive: --all-identities --single-pst converts every identity into one .pst" \
  "$cli" --all-identities --single-pst --hive "$profile/NTUSER.DAT" -o "$work/out-hive" --verify
check "hive: one top-level folder per identity, named after it, with every message below" \
  bash -c "/usr/bin/python3 -c \"
import pypff,sys
f=pypff.file(); f.open(sys.argv[1]); top=f.get_root_folder().get_sub_folder(0)
names=sorted(top.get_sub_folder(i).name for i in range(top.number_of_sub_folders))
assert 'Jürgen' in names and 'Main Identity' in names, names
\" '$work'/out-hive/*.pst &&
           $verify '$work/export-main' '$work'/out-hive/*.pst --skip Outbox 'Deleted Items' &&
           $verify '$work/export-jurgen' '$work'/out-hive/*.pst --skip Outbox 'Deleted Items'"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
