#!/usr/bin/env bash
# Tests the Windows build (build-windows/) under Wine, headless, in a
# throw-away prefix: registers kestrel.dll with regsvr32, writes an identity
# into the prefix's registry, walks a generated store on the prefix's C:
# drive from VBScript and JScript (cscript) and from the early-bound C++
# client, and compares every folder, message and body with what the Linux
# build (build/) reads from the same store; checks the error numbers a script
# sees; unregisters and checks that the registry holds nothing of the
# component any more. When the converter is built (tollan-cli.exe), it
# converts a generated store with non-ASCII names in both modes and with
# --default-store (registered and beside kestrel.dll), and each output is
# compared message by message with the Linux build's through outside readers
# (tests/windows/compare_psts.py) and checked with pst-check.exe; so is a
# conversion by two import worker processes. A worker killed in the middle
# of a run costs no message (each it held is imported again); Ctrl-C, with and
# without workers, leaves a complete .pst under the final name.
#
# usage: scripts/test-windows.sh [WINDOWS_BUILD [LINUX_BUILD]]
set -euo pipefail
# A step that stops the script names itself, so a failure in CI can be found.
trap 'echo "test-windows: line $LINENO failed with status $?: $BASH_COMMAND" >&2' ERR
here=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-"$here/build-windows"}
linux=${2:-"$here/build"}
kestrel="$linux/tools/kestrel/kestrel"
make_store="$linux/tools/make-sample-store/make-sample-store"
tests="$here/tests/windows"
cli="$linux/tools/tollan-cli/tollan-cli"
converter=0
[ -f "$win/tollan-cli.exe" ] && converter=1
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
source "$tests/wine_settle.sh"

echo "-- Wine prefix"
timeout 300 wineboot -i >/dev/null 2>&1
settle
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

# same_paths FILE...: the files with the paths of both builds spelled alike
# (C:/NAME for $work/linux-NAME, C:/ for the prefix's drive, '/' for '\')
# and the time stamps of the .pst names left out.
same_paths() {
  cat "$@" | tr -d '\r' | tr '\\' / |
    sed -e "s#$work/linux-#C:/#g" -e "s#$drive/#C:/#g" \
        -e 's#[0-9]\{1,2\}\.[0-9]\{1,2\}\.[0-9]\{2\} [0-9]\{1,2\}\.[0-9]\{1,2\}\.[0-9]\{1,2\}#STAMP#g'
}
# convert NAME ARGS...: the same conversion by both builds, into
# $work/linux-NAME and C:\NAME (with $report set, each writes --report
# beside it); the exit statuses must agree, the summaries and reports read
# the same but for the paths' spelling and the time stamps, the .pst files
# hold the same messages and pass pst-check.exe.
convert() {
  local name=$1 linux_status=0 win_status=0 report_args=(); shift
  [ -n "${report:-}" ] && report_args=(--report "$work/linux-$name.csv")
  "$cli" --jobs 1 -o "$work/linux-$name" "${report_args[@]}" "${linux_args[@]}" "$@" \
    >"$work/$name.linux.out" 2>"$work/$name.linux.err" || linux_status=$?
  [ -n "${report:-}" ] && report_args=(--report "C:\\$name.csv")
  w 'C:\kestrel\tollan-cli.exe' --jobs "${win_jobs:-1}" -o "C:\\$name" "${report_args[@]}" "${win_args[@]}" "$@" \
    >"$work/$name.win.out" 2>"$work/$name.win.err" || win_status=$?
  if [ $linux_status -ne $win_status ]; then
    echo "test-windows: $name: tollan-cli.exe exited with $win_status, the Linux build with $linux_status"
    sed 's/^/  /' "$work/$name.win.out" "$work/$name.win.err"
    status=1
  fi
  local linux_report="$work/linux-$name.csv" win_report="$drive/$name.csv"
  [ -n "${report:-}" ] || linux_report=/dev/null win_report=/dev/null
  if ! diff -u <(same_paths "$work/$name.linux.out" "$linux_report") \
               <(same_paths "$work/$name.win.out" "$win_report") >"$work/$name.diff"; then
    echo "test-windows: $name: the summary or report differs from the Linux build's:"
    sed 's/^/  /' "$work/$name.diff"
    status=1
  fi
  if ! timeout 600 /usr/bin/python3 "$tests/compare_psts.py" "$work/linux-$name" "$drive/$name" \
       >"$work/$name.compare" 2>&1; then
    echo "test-windows: $name: the .pst files differ from the Linux build's:"
    sed 's/^/  /' "$work/$name.compare"
    status=1
  fi
  for pst in "$drive/$name"/*.pst; do
    w 'C:\kestrel\pst-check.exe' "C:\\$name\\$(basename "$pst")" >/dev/null ||
      { echo "test-windows: $name: pst-check.exe fails $(basename "$pst")"; status=1; }
  done
  echo "$name: $(ls "$drive/$name" | grep -c '\.pst$') .pst file(s), exit status $win_status"
}
if [ $converter -eq 1 ]; then
  echo "-- tollan-cli.exe"
  cp "$win"/*.exe "$win"/*.dll "$drive/kestrel/"
  # The import corpus, but for the charsets GLib's converter on Windows
  # does not read (README, "Windows"): those differ from the Linux build.
  mapfile -t corpus < <(find "$here/tests/platform/mail/corpus" -name '*.eml' | sort |
    grep -vE '/(charsets|words)/(utf-7|iso-8859-1[0146]|gb18030|iso-2022-kr)\.eml$')
  "$make_store" "$drive/Postfächer" --folders 'Inbox,Ärchiv,日本語 フォルダ' \
    --messages-per-folder 4 --from-eml "${corpus[@]}" --quiet
  linux_args=("$drive/Postfächer") win_args=('C:\Postfächer')
  convert single --single-pst
  convert per-file --pst-per-file --keep-folder-tree
  win_jobs=2 convert workers --single-pst
  grep -q 'importing in this process only' "$work/workers.win.err" &&
    { echo "test-windows: tollan-cli.exe --jobs 2 started no import processes:"; cat "$work/workers.win.err"; status=1; }

  # A worker that dies in the middle of the run: stopped, so that messages
  # wait for it, then killed. It is replaced, and the messages it had not
  # answered are imported again, each on its own: none is lost.
  echo "-- a worker that dies"
  "$make_store" "$drive/dies" --messages-per-folder 3000 --message-size 4096 --quiet
  setsid timeout 300 wine 'C:\kestrel\tollan-cli.exe' --jobs 2 --single-pst -q -o 'C:\dies-out' \
    --report 'C:\dies.csv' 'C:\dies' >"$work/dies.out" 2>&1 &
  runner=$!
  victim=
  for _ in $(seq 600); do
    victim=$(pgrep -f 'tollan-import-worker\.exe' | head -n 1 || true)
    [ -n "$victim" ] && compgen -G "$drive/dies-out/*.partial" >/dev/null && break
    sleep 0.1
  done
  kill -STOP "$victim" 2>/dev/null || true
  sleep 1
  kill -KILL "$victim" 2>/dev/null || true
  died=0
  wait "$runner" || died=$?
  made=$(ls "$drive/dies-out" 2>/dev/null | grep '\.pst$' | head -n 1 || true)
  failed=$(grep -c 'import process' "$drive/dies.csv" 2>/dev/null || true)
  if [ -z "$victim" ] || [ $died -ne 0 ] || [ "${failed:-0}" != 0 ] || [ -z "$made" ] ||
     ! w 'C:\kestrel\pst-check.exe' "C:\\dies-out\\$made" >/dev/null ||
     [ "$(/usr/bin/python3 -c 'import pypff,sys
f=pypff.file(); f.open(sys.argv[1])
count=lambda d: d.number_of_sub_messages+sum(count(d.get_sub_folder(i)) for i in range(d.number_of_sub_folders))
print(count(f.get_root_folder()))' \
          "$drive/dies-out/$made")" != 3000 ]; then
    echo "test-windows: a worker that dies: exit status $died (want 0), worker '$victim', report rows naming it: $failed"
    sed 's/^/  /' "$work/dies.out" "$drive/dies.csv" 2>/dev/null | head -20
    status=1
  fi

  # The options together, on a store with a deleted message (--recover),
  # unlabelled 8-bit Cyrillic (--codepage), Deleted Items and more than 1 MB
  # (--max-pst-size); --verify reads every part back.
  printf 'From: a@b.example\nSubject: \xcf\xf0\xe8\xe2\xe5\xf2\nMIME-Version: 1.0\nContent-Type: text/plain\n%b' \
    'Content-Transfer-Encoding: 8bit\n\n\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0!\n' >"$work/cp1251.eml"
  "$make_store" "$drive/Optionen ü" --folders 'Inbox,Deleted Items,Ärchiv' --messages-per-folder 24 \
    --message-size 16384 --damage deleted --damage-message 2 --from-eml "$work/cp1251.eml" --quiet
  linux_args=("$drive/Optionen ü") win_args=('C:\Optionen ü')
  report=1 convert options --single-pst --recover --verify --codepage 1251 --convert-deleted-items \
    --keep-folder-tree --max-pst-size 1MB

  # An old disk's store folders by non-ASCII paths. They have no NTUSER.DAT,
  # which the Windows build cannot read: it names such stores by their paths.
  "$make_store" "$drive/disk/Documents and Settings/Jörg/Mail" --folders Inbox,Archive \
    --messages-per-folder 3 --quiet
  "$make_store" "$drive/disk/Backup/OE Kopie ü" --messages-per-folder 2 --seed 8 --quiet
  linux_args=(--from-disk "$drive/disk") win_args=(--from-disk 'C:\disk')
  convert disk

  # The charsets left out above are read as the default code page: every
  # message still arrives with its subject and readable bodies.
  mapfile -t unread < <(find "$here/tests/platform/mail/corpus/charsets" -name '*.eml' | sort |
    grep -E '/(utf-7|iso-8859-1[0146]|gb18030|iso-2022-kr)\.eml$')
  "$make_store" "$drive/unread" --from-eml "${unread[@]}" --quiet
  w 'C:\kestrel\tollan-cli.exe' --jobs 1 -q --single-pst -o 'C:\unread-out' 'C:\unread' >/dev/null 2>&1 || true
  if ! /usr/bin/python3 - "$drive"/unread-out/*.pst "${#unread[@]}" <<'PY'
import sys, pypff
f = pypff.file(); f.open(sys.argv[1])
folders, msgs = [f.get_root_folder()], []
while folders:
    fo = folders.pop()
    folders += [fo.get_sub_folder(i) for i in range(fo.number_of_sub_folders)]
    msgs += [fo.get_sub_message(i) for i in range(fo.number_of_sub_messages)]
bad = [i for i, m in enumerate(msgs) if not m.subject or not m.html_body or not m.plain_text_body]
sys.exit('%d messages of %s, lacking subject or body: %s' % (len(msgs), sys.argv[2], bad)
         if bad or len(msgs) != int(sys.argv[2]) else 0)
PY
  then
    echo "test-windows: the charsets Windows does not read lose text"
    status=1
  fi

  # The identity's store, read by both builds from the prefix's registry.
  store=$(winepath -u "$profile\\Store" 2>/dev/null)
  "$make_store" "$store" --folders 'Inbox,Archive' --messages-per-folder 5 --quiet
  # Two more identities: a non-ASCII name, and one whose store is gone.
  for i in '{B0E4B7C2-1D2A-4E3F-9A8B-7C6D5E4F3A2B}|Jürgen|C:\Mail\Jürgen' \
           '{C1F5C8D3-2E3B-4F40-AB9C-8D7E6F5A4B3C}|Gone|C:\Mail\Gone'; do
    IFS='|' read -r key name root <<<"$i"
    w reg add "HKCU\\Identities\\$key" /v UserName /d "$name" /f >/dev/null
    w reg add "HKCU\\Identities\\$key\\Software\\Microsoft\\Outlook Express\\5.0" /v 'Store Root' \
      /t REG_EXPAND_SZ /d "$root" /f >/dev/null
  done
  "$make_store" "$drive/Mail/Jürgen" --folders Inbox,Archive --messages-per-folder 3 --seed 4 --quiet
  linux_args=(--default-store --wine-prefix "$WINEPREFIX") win_args=(--default-store)
  # The Linux build reads the registry files, which Wine writes when its
  # server ends.
  settle
  convert registered --single-pst
fi

echo "-- regsvr32 /u kestrel.dll"
w regsvr32 /s /u 'C:\kestrel\kestrel.dll'
settle
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

if [ $converter -eq 1 ]; then
  echo "-- tollan-cli.exe with kestrel.dll unregistered"
  convert unregistered --pst-per-file

  echo "-- identities"
  linux_args=(--wine-prefix "$WINEPREFIX") win_args=()
  convert identities --all-identities --single-pst
  convert identity --identity JÜRGEN --pst-per-file
  "$cli" --list-identities --wine-prefix "$WINEPREFIX" >"$work/list.linux" 2>&1 || true
  w 'C:\kestrel\tollan-cli.exe' --list-identities >"$work/list.win" 2>&1 || true
  if ! diff -u <(same_paths "$work/list.linux") <(same_paths "$work/list.win"); then
    echo "test-windows: --list-identities differs from the Linux build's"
    status=1
  fi

  "$make_store" "$drive/big" --messages-per-folder 20000 --message-size 4096 --quiet
  for jobs in 1 2; do
    echo "-- Ctrl-C, --jobs $jobs"
    # wine becomes the program's process; timeout hands it the SIGINT, which
    # Wine gives the program as a console Ctrl-C event. Only once: without
    # --foreground, timeout sends it to its process group as well, and a
    # second Ctrl-C ends the program at once.
    # In a session of its own: Wine hands the Ctrl-C to the whole process
    # group of the console, which would include this script.
    setsid timeout --foreground 300 wine 'C:\kestrel\tollan-cli.exe' --jobs $jobs --single-pst -q -o "C:\\stopped$jobs" 'C:\big' \
      >"$work/stopped.out" 2>&1 &
    runner=$!
    for _ in $(seq 600); do
      compgen -G "$drive/stopped$jobs/*.partial" >/dev/null && break
      sleep 0.1
    done
    sleep 1
    kill -INT "$runner" 2>/dev/null || true
    stopped=0
    wait "$runner" || stopped=$?
    made=$(ls "$drive/stopped$jobs" 2>/dev/null | grep '\.pst$' | head -n 1 || true)
    if [ $stopped -ne 130 ] || compgen -G "$drive/stopped$jobs/*.partial" >/dev/null || [ -z "$made" ] ||
       ! w 'C:\kestrel\pst-check.exe' "C:\\stopped$jobs\\$made" >/dev/null; then
      echo "test-windows: after Ctrl-C: exit status $stopped (want 130), left: $(ls "$drive/stopped$jobs" 2>&1)"
      sed 's/^/  /' "$work/stopped.out"
      status=1
    fi
  done
fi

[ $status -eq 0 ] && echo "test-windows: all passed"
exit $status
