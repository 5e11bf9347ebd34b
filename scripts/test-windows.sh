#!/usr/bin/env bash
# Tests the Windows build (build-windows/) under Wine, headless, in a
# throw-away prefix: registers kestrel.dll with regsvr32, writes an identity
# into the prefix's registry, walks a generated store on the prefix's C:
# drive from VBScript and JScript (cscript) and from the early-bound C++
# client, and compares every folder, message and body with what the Linux
# build (build/) reads from the same store; checks the error numbers a script
# sees; unregisters and checks that the registry holds nothing of the
# component any more. pst-check.exe reads a .pst by a long
# non-ASCII path and shows what the Linux build's pst-check shows; the file
# calls create exclusively and rename without replacing by such a path.
#
# usage: scripts/test-windows.sh [WINDOWS_BUILD [LINUX_BUILD]]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-"$here/build-windows"}
linux=${2:-"$here/build"}
kestrel="$linux/tools/kestrel/kestrel"
make_store="$linux/tools/make-sample-store/make-sample-store"
tests="$here/tests/windows"
cli="$linux/tools/tollan-cli/tollan-cli"
for f in "$win/kestrel.dll" "$win/walk_client.exe" "$win/pst-check.exe" "$kestrel" "$make_store" "$cli"; do
  [ -f "$f" ] || { echo "test-windows: $f is missing; build it first" >&2; exit 2; }
done

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all DISPLAY=
# Non-ASCII arguments reach the programs as the UTF-8 they are here.
export LC_ALL=C.UTF-8
# No Mono or Gecko installer prompts in a headless prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# Every Wine call is bounded; a hung call fails the test instead of CI.
w() { timeout 300 wine "$@"; }

echo "-- Wine prefix"
timeout 300 wineboot -i >/dev/null 2>&1
wineserver -w
drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/kestrel"
cp "$win/kestrel.dll" "$win/walk_client.exe" "$win/pst-check.exe" "$win/os_files_client.exe" \
  "$tests/walk.vbs" "$tests/walk.js" \
  "$tests/errors.vbs" "$drive/kestrel/"

# The stores: one to walk, and two with a damaged folder list or file.
"$make_store" "$drive/store" --folders Inbox,Archive --messages-per-folder 6 --quiet
"$make_store" "$drive/damaged-list" --damage list-wrong-signature --quiet
"$make_store" "$drive/damaged-signature" --damage wrong-signature --quiet

# HKCR as the prefix holds it (machine and user classes), for the comparison
# after unregistering. cscript registers its own type library when it first
# runs, so it runs once before.
echo 'WScript.Echo("ready");' > "$drive/kestrel/ready.js"
w cscript //nologo 'C:\kestrel\ready.js' >/dev/null
export_classes() {
  w reg export 'HKLM\Software\Classes' "$(winepath -w "$1.machine.reg")" /y >/dev/null
  w reg export 'HKCU\Software\Classes' "$(winepath -w "$1.user.reg")" /y >/dev/null 2>&1 ||
    : > "$1.user.reg"
}
export_classes "$work/before"

echo "-- regsvr32 kestrel.dll"
w regsvr32 /s 'C:\kestrel\kestrel.dll'
w reg query 'HKCR\Kestrel.OE\CLSID' >/dev/null

# One identity; its store folder names an environment variable.
id='{6D4A1F2E-3B5C-4D7E-8F90-A1B2C3D4E5F6}'
oe_key="HKCU\\Identities\\$id\\Software\\Microsoft\\Outlook Express\\5.0"
w reg add 'HKCU\Identities' /v 'Default User ID' /d "$id" /f >/dev/null
w reg add "HKCU\\Identities\\$id" /v UserName /d ' Main Identity ' /f >/dev/null
w reg add "$oe_key" /v 'Store Root' /t REG_EXPAND_SZ /d '%USERPROFILE%\Store' /f >/dev/null
w reg add "$oe_key" /v Running /t REG_DWORD /d 1 /f >/dev/null
profile=$(w cmd /c 'echo %USERPROFILE%' | tr -d '\r')

status=0
echo "-- walks"
w cscript //nologo 'C:\kestrel\walk.vbs' 'C:\store' > "$work/vbs.out" || status=1
w cscript //nologo 'C:\kestrel\walk.js' 'C:\store' > "$work/js.out" || status=1
w 'C:\kestrel\walk_client.exe' 'C:\store' > "$work/cpp.out" || status=1
timeout 600 /usr/bin/python3 "$tests/compare_walk.py" "$kestrel" "$drive/store" "$profile\\Store" \
  "$work/vbs.out" --ansi-escapes || status=1
timeout 600 /usr/bin/python3 "$tests/compare_walk.py" "$kestrel" "$drive/store" "$profile\\Store" \
  "$work/js.out" || status=1
timeout 600 /usr/bin/python3 "$tests/compare_walk.py" "$kestrel" "$drive/store" "$profile\\Store" \
  "$work/cpp.out" --early-bound || status=1

echo "-- errors a script sees"
w cscript //nologo 'C:\kestrel\errors.vbs' 'C:\store' 'C:\no such folder' 'C:\damaged-list' \
  'C:\damaged-signature' | tr -d '\r' > "$work/errors.out" || status=1
if ! diff -u "$tests/errors.expected" "$work/errors.out"; then
  echo "test-windows: errors.vbs differs from tests/windows/errors.expected"
  status=1
fi

# pst-check.exe reads a .pst by a long non-ASCII path, and shows its folder
# tree as the Linux build does.
echo "-- pst-check.exe"
"$make_store" "$work/checked-store" --folders 'Inbox,Ärchiv,日本語' --messages-per-folder 2 --quiet
"$cli" --single-pst --jobs 1 -q -o "$work/checked" "$work/checked-store" >/dev/null
deep="Prüfung/$(printf 'Ordner %03d/' $(seq 22))"
mkdir -p "$drive/$deep"
cp "$work"/checked/*.pst "$drive/${deep}Postfach ü.pst"
"$linux/tools/pst-check/pst-check" -v "$work"/checked/*.pst > "$work/check.linux"
w 'C:\kestrel\pst-check.exe' -v "C:\\${deep//\//\\}Postfach ü.pst" | tr -d '\r' > "$work/check.win" ||
  { echo "test-windows: pst-check.exe failed"; status=1; }
if ! diff -u "$work/check.linux" "$work/check.win"; then
  echo "test-windows: pst-check.exe shows the .pst otherwise than the Linux build"
  status=1
fi
# Exclusive creation, renaming without replacing and removal by that path.
if ! w 'C:\kestrel\os_files_client.exe' "C:\\${deep//\//\\}" > "$work/os_files.out"; then
  echo "test-windows: os_files_client.exe failed:"
  sed 's/^/  /' "$work/os_files.out"
  status=1
fi

echo "-- regsvr32 /u kestrel.dll"
w regsvr32 /s /u 'C:\kestrel\kestrel.dll'
wineserver -w
export_classes "$work/after"
for hive in machine user; do
  if ! cmp -s "$work/before.$hive.reg" "$work/after.$hive.reg"; then
    echo "test-windows: HKCR ($hive) differs after unregistering:"
    diff <(iconv -f UTF-16 -t UTF-8 "$work/before.$hive.reg") \
         <(iconv -f UTF-16 -t UTF-8 "$work/after.$hive.reg") | head -40
    status=1
  fi
done
if grep -qiaE 'kestrel|808A5547' <(iconv -f UTF-16 -t UTF-8 "$work/after.machine.reg"); then
  echo "test-windows: the registry still names the component after unregistering"
  status=1
fi

[ $status -eq 0 ] && echo "test-windows: all passed"
exit $status
