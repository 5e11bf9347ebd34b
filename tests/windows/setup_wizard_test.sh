#!/usr/bin/env bash
# The Windows installer and wizard under Wine, in a fresh prefix on a
# virtual display (Xvfb): installs tollan-setup-VERSION.exe silently; checks
# the installed files, the Start-menu shortcut and its target, and the
# registration of kestrel.dll; converts a store with the installed
# tollan-cli.exe; drives the installed wizard through a conversion in both
# modes (hand-picked files into one .pst, the default store of the
# prefix's identity into one .pst per folder) through its test script
# (TOLLAN_WIZARD_SCRIPT); holds every .pst to the Linux build's output for
# the same input, message by message (compare_psts.py); uninstalls silently
# and checks that the files, the shortcut, the registration and the
# uninstall entry are gone, and the registry's classes and uninstall keys
# are as they were before the installation. First, before installing, the
# zip's tollan-cli.exe, unpacked, converts the default store through the
# kestrel.dll beside it, not registered.
#
# With SHOTS_DIR, a screenshot of each page, the options dialog and the
# closing messages goes there (PNG).
#
# usage: tests/windows/setup_wizard_test.sh WINDOWS_BUILD LINUX_BUILD [SHOTS_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
win=$1
linux=$2
shots=${3:-}
setup=$(ls "$win"/tollan-setup-*.exe 2>/dev/null | head -1)
zip=$(ls "$win"/tollan-*-windows.zip 2>/dev/null | head -1)
make_store="$linux/tools/make-sample-store/make-sample-store"
cli="$linux/tools/tollan-cli/tollan-cli"
for f in "$setup" "$zip" "$make_store" "$cli"; do
  [ -f "$f" ] || { echo "setup_wizard_test: ${f:-the installer or zip} is missing; make it first" >&2; exit 2; }
done
[ -z "$shots" ] || mkdir -p "$shots"

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8
# No Mono or Gecko prompts, and no desktop entries made for the shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
status=0
fail() {
  echo "setup_wizard_test: $*"
  status=1
}
# Each step is named, and every call that could wait for ever is bounded:
# a call that runs out of time fails the test with the step, the call and
# the Wine processes still running, instead of hanging CI.
step() {
  current=$*
  echo "-- $*"
}
bounded() {  # bounded SECONDS COMMAND...
  local limit=$1 code=0; shift
  timeout "$limit" "$@" || code=$?
  if [ $code -eq 124 ]; then
    fail "$current: '$*' did not end within $limit s; Wine processes then:"
    ps -eo pid,etime,args | grep -iE '[.]exe|wineserver' | sed 's/^/  /' || true
  fi
  return $code
}
w() { bounded 300 wine "$@"; }
source "$here/tests/windows/wine_settle.sh"

step "Wine prefix"
bounded 300 wineboot -i >/dev/null 2>&1
settle || fail "$current: Wine processes did not end"
drive="$WINEPREFIX/drive_c"
keys=('HKLM\Software\Classes' 'HKCU\Software\Classes' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall')
export_keys() {
  local i=0
  for key in "${keys[@]}"; do
    w reg export "$key" "$(winepath -w "$1.$i.reg")" /y >/dev/null 2>&1 || : > "$1.$i.reg"
    i=$((i + 1))
  done
}
export_keys "$work/before"

# compare NAME LINUX_DIR WINDOWS_DIR: the same messages in the .pst files of
# both, named without their time stamps.
compare() {
  for d in "$2" "$3"; do
    for f in "$d"/*.pst; do
      [ -f "$f" ] || continue
      local plain
      plain=$(basename "$f" | sed -E 's/[0-9]+\.[0-9]+\.[0-9]+ [0-9]+\.[0-9]+\.[0-9]+\.pst$/.pst/')
      [ "$d/$plain" = "$f" ] || mv "$f" "$d/$plain"
    done
  done
  if ! bounded 600 /usr/bin/python3 "$here/tests/windows/compare_psts.py" "$2" "$3" >"$work/$1.compare" 2>&1; then
    fail "$1: the .pst files differ from the Linux build's:"
    sed 's/^/  /' "$work/$1.compare" | head -40
  fi
  echo "$1: $(ls "$3" | grep -c '\.pst$') .pst file(s)"
}

# The identity whose store the zip's tollan-cli.exe and the wizard convert.
id='{6D4A1F2E-3B5C-4D7E-8F90-A1B2C3D4E5F6}'
w reg add 'HKCU\Identities' /v 'Default User ID' /d "$id" /f >/dev/null
w reg add "HKCU\\Identities\\$id" /v UserName /d 'Main Identity' /f >/dev/null
w reg add "HKCU\\Identities\\$id\\Software\\Microsoft\\Outlook Express\\5.0" /v 'Store Root' \
  /t REG_EXPAND_SZ /d '%USERPROFILE%\Store' /f >/dev/null
profile=$(w cmd /c 'echo %USERPROFILE%' | tr -d '\r')
"$make_store" "$(winepath -u "$profile\\Store")" --folders 'Inbox,Ärchiv' --messages-per-folder 5 --quiet

step "the zip, unpacked, with kestrel.dll beside tollan-cli.exe and not registered"
/usr/bin/python3 -m zipfile -e "$zip" "$drive/unpacked"
unpacked=$(winepath -w "$(ls -d "$drive"/unpacked/*/ | head -1)")
w "${unpacked}tollan-cli.exe" --default-store --single-pst -q -o 'C:\out-zip' >"$work/zip.out" 2>&1 ||
  { fail "the zip's tollan-cli.exe exited with $?:"; sed 's/^/  /' "$work/zip.out"; }
settle || fail "$current: Wine processes did not end"  # the registry written out
bounded 300 "$cli" --jobs 1 --single-pst --default-store --wine-prefix "$WINEPREFIX" -q -o "$work/linux-zip" >/dev/null || true
compare zip "$work/linux-zip" "$drive/out-zip"

step "silent install"
cp "$setup" "$drive/setup.exe"
w 'C:\setup.exe' /S || fail "the installer exited with $?"
settle || fail "$current: Wine processes did not end"
inst="$drive/Program Files/Tollan"
for f in tollan.exe tollan-cli.exe pst-check.exe kestrel.exe kestrel.dll uninstall.exe help/guide.html LICENSE.txt; do
  [ -f "$inst/$f" ] || fail "$f is not installed"
done
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Tollan"
link="$menu/Tollan.lnk"
if [ -f "$link" ]; then
  target=$(strings -a "$link" | grep -m1 -iE '^[A-Z]:.*tollan\.exe$' || true)
  [ -n "$target" ] && [ -f "$(winepath -u "$target" 2>/dev/null)" ] ||
    fail "the Start-menu shortcut points to '${target}', which does not exist"
else
  fail "no Start-menu shortcut"
fi
clsid=$(w reg query 'HKCR\Kestrel.OE\CLSID' /ve 2>/dev/null | tr -d '\r' | grep -o '{[^}]*}' || true)
if [ -z "$clsid" ]; then
  fail "Kestrel.OE is not registered"
elif ! w reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve 2>/dev/null | grep -qi 'Program Files\\Tollan\\kestrel.dll'; then
  fail "Kestrel.OE is not registered to the installed kestrel.dll"
fi

step "the installed tollan-cli.exe"
"$make_store" "$drive/store" --folders 'Inbox,Ärchiv' --messages-per-folder 4 --quiet
w 'C:\Program Files\Tollan\tollan-cli.exe' --single-pst -q -o 'C:\out-cli' 'C:\store' >"$work/cli.out" 2>&1 ||
  { fail "tollan-cli.exe exited with $?:"; sed 's/^/  /' "$work/cli.out"; }
bounded 300 "$cli" --jobs 1 --single-pst -q -o "$work/linux-cli" "$drive/store" >/dev/null || true
compare cli "$work/linux-cli" "$drive/out-cli"

# wizard NAME LINES...: runs the installed wizard through the script LINES;
# takes a screenshot at each "shot" line.
wizard() {
  local name=$1; shift
  printf '%s\r\n' "$@" > "$drive/$name.script"
  TOLLAN_WIZARD_SCRIPT="C:\\$name.script" bounded 300 wine 'C:\Program Files\Tollan\tollan.exe' &
  local runner=$! code=0
  while kill -0 "$runner" 2>/dev/null; do
    for marker in "$drive/$name.script".*; do
      case "$marker" in *.log|*'*') continue ;; esac
      if [ -n "$shots" ]; then
        sleep 1.5  # the window painted
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$shots/$name-${marker##*.}.png"
        # A dialog or message box has a visual of its own, which a picture
        # of the whole screen shows black: each window is taken by itself too.
        xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "\([^"]*\)": ("tollan.exe".*/\1 \2/p' |
          while read -r id title; do
            [ "$title" = "Default IME" ] && continue
            xwd -id "$id" -silent | xwdtopnm 2>/dev/null |
              pnmtopng > "$shots/$name-${marker##*.}-window-${title//[^A-Za-z0-9]/_}.png"
          done
      fi
      rm -f "$marker"
    done
    sleep 0.2
  done
  wait "$runner" || code=$?
  [ $code -eq 0 ] || { fail "$name: the wizard exited with $code after:"; sed 's/^/  /' "$drive/$name.script.log"; }
}

mkdir -p "$drive/out-files" "$drive/out-default"
step "the wizard: files picked by hand, one .pst"
wizard files 'shot start' 'click OptChooseDBX' 'click CmdNext' 'shot file-list' \
  'folder C:\store' 'click CmdAddFolder' 'box' 'shot found' 'press ok' \
  'click OptOnePST' 'click CmdOptions' 'wait ChkVerify' 'click ChkVerify' 'shot options' 'click OK' \
  'folder C:\out-files' 'click CmdExtractDBX' 'box' 'shot closing' 'press ok' 'settle' \
  'click cmdEnd' 'box' 'shot exit' 'press yes'
bounded 300 "$cli" --jobs 1 --single-pst -q -o "$work/linux-files" "$drive/store" >/dev/null || true
compare files "$work/linux-files" "$drive/out-files"

step "the wizard: the default store, one .pst per folder"
wizard default 'click CmdNext' 'wait LblDefaultOEIdentity' 'shot default-store' 'click OptEachPST' \
  'folder C:\out-default' 'click CmdExtractDBX' 'box' 'shot closing' 'press ok' 'shot after' 'settle' \
  'click cmdEnd' 'box' 'press yes'
settle || fail "$current: Wine processes did not end"  # the registry written out
bounded 300 "$cli" --jobs 1 --pst-per-file --default-store --wine-prefix "$WINEPREFIX" -q -o "$work/linux-default" >/dev/null || true
compare default "$work/linux-default" "$drive/out-default"

step "silent uninstall"
w 'C:\Program Files\Tollan\uninstall.exe' /S || fail "the uninstaller exited with $?"
settle || fail "$current: Wine processes did not end"
[ ! -e "$inst" ] || { fail "left behind:"; find "$inst" | sed 's/^/  /'; }
[ ! -e "$menu" ] || fail "the Start-menu folder is left behind"
! w reg query 'HKCR\Kestrel.OE' >/dev/null 2>&1 || fail "Kestrel.OE is still registered"
export_keys "$work/after"
for i in "${!keys[@]}"; do
  if ! cmp -s "$work/before.$i.reg" "$work/after.$i.reg"; then
    fail "${keys[$i]} differs after uninstalling:"
    diff <(iconv -f UTF-16 -t UTF-8 "$work/before.$i.reg") <(iconv -f UTF-16 -t UTF-8 "$work/after.$i.reg") | head -20
  fi
done
[ $status -eq 0 ] && echo "setup_wizard_test: passed"
exit $status
