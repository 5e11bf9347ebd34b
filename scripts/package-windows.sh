#!/usr/bin/env bash
# Makes what a Windows user installs from a Windows build
# (scripts/build-windows.sh):
#   WINDOWS_BUILD/tollan-setup-VERSION.exe      the installer (NSIS)
#   WINDOWS_BUILD/tollan-VERSION-windows.zip    the same files, to run
#                                               without installing
# Both hold the wizard tollan.exe, tollan-cli.exe, pst-check.exe,
# kestrel.exe and kestrel.dll, the DLLs of the libraries with their licences
# (licenses/) and sources (sources/), the help guide and the licence.
#
# usage: scripts/package-windows.sh [WINDOWS_BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-"$here/build-windows"}
case "$win" in /*) ;; *) win="$PWD/$win" ;; esac
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt" 2>/dev/null || true)
[ -n "$version" ] || { echo "package-windows: $win is not a Windows build; run scripts/build-windows.sh" >&2; exit 2; }
command -v makensis >/dev/null || { echo "package-windows: makensis is missing (apt-get install nsis)" >&2; exit 2; }
programs=(tollan.exe tollan-cli.exe pst-check.exe kestrel.exe kestrel.dll)
for f in "${programs[@]}" help/guide.html licenses; do
  [ -e "$win/$f" ] || { echo "package-windows: $win/$f is missing; build it first" >&2; exit 2; }
done

name="Tollan-$version"
stage="$win/package/$name"
rm -rf "$win/package"
mkdir -p "$stage"
cp "${programs[@]/#/$win/}" "$stage/"
[ -f "$win/tollan-import-worker.exe" ] && cp "$win/tollan-import-worker.exe" "$stage/"
for dll in "$win"/*.dll; do
  [ "$(basename "$dll")" = kestrel.dll ] || cp "$dll" "$stage/"
done
# Links (a licence shared by two packages) become the files they name.
cp -rL "$win/help" "$win/licenses" "$stage/"
[ -d "$win/sources" ] && cp -rL "$win/sources" "$stage/"
sed 's/$/\r/' "$here/LICENSE" > "$stage/LICENSE.txt"

# The uninstaller removes exactly these files, then the folders, deepest
# first (a folder holding anything else stays).
(
  cd "$stage"
  find . -type f | sed 's|^\./||' | LC_ALL=C sort | while IFS= read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done
  find . -mindepth 1 -type d | sed 's|^\./||' | LC_ALL=C sort -r | while IFS= read -r d; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
) > "$stage.uninstall.nsh"

setup="$win/tollan-setup-$version.exe"
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" "$here/packaging/windows/tollan.nsi"
zip_file="$win/tollan-$version-windows.zip"
rm -f "$zip_file"
(cd "$win/package" && zip -qr "$zip_file" "$name")
echo "$setup"
echo "$zip_file"
