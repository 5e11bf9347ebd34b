#!/usr/bin/env bash
# Builds the package as a new user would: a clean clone of the source tree's
# committed state, then the commands of the README's "Install" section as
# written there (the apt install replaced by unpacking the package into a
# temporary root). Checks its control data and contents, passes lintian
# without errors, and converts a generated store with the unpacked
# tollan-cli, through its import workers, the default store of a Wine prefix
# included, with no registration file anywhere. Nothing of BUILD_DIR goes
# into the package; BUILD_DIR only lends make-sample-store for test data.
#
# usage: package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
# Under the build tree, so the clone's build/ sits as deep as any other and
# a shared compiler cache finds what it compiled before.
work=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

check() {  # check NAME COMMAND...: runs a step, counts it
  local name=$1; shift
  if "$@" >"$work/step.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failures=$((failures + 1)); echo "FAIL $name"; tail -n 30 "$work/step.log"
  fi
}

if ! git -C "$src" rev-parse --verify -q HEAD >/dev/null; then
  echo "SKIP: $src is not a git checkout, so there is no clean clone to build"
  exit 77
fi
clone=$work/clone
git clone -q "$src" "$clone"
echo "clean clone of $(git -C "$clone" rev-parse --short HEAD)"
# The README's commands, taken from the README itself so the two cannot drift.
sed -n '/^## Install/,/^## /p' "$clone/README.md" | sed -n 's/^    \(bash .*\)$/\1/p' |
  sed 's/ *#.*$//' >"$work/commands"
echo "README commands:"; sed 's/^/  /' "$work/commands"
check "the README names the install-deps and package commands" \
  bash -c "grep -qx 'bash scripts/install-deps.sh --package' '$work/commands' &&
           grep -qx 'bash scripts/package.sh' '$work/commands'"
(cd "$clone" && env -u TOLLAN_IMPORT_WORKER bash -e "$work/commands") >"$work/readme.log" 2>&1 ||
  { tail -n 40 "$work/readme.log"; echo "FAIL the README's commands in a clean clone"; exit 1; }
deb=$(ls "$clone"/build/tollan_*.deb)
build_tree=$clone/build
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_tree/CMakeCache.txt")
check "the package is named after name, version and architecture" \
  test "$(basename "$deb")" = "tollan_${version}_$(dpkg --print-architecture).deb"

dpkg-deb -I "$deb" >"$work/info"
sed -n 's/^ Depends: //p' "$work/info" | tr ',' '\n' | sed 's/^ *//; s/ .*//' >"$work/depends"
echo "package dependencies: $(paste -sd' ' "$work/depends")"
check "the dependencies are computed from the linked libraries" \
  bash -c "for lib in libc6 libstdc++6 libgmime-3.0-0 libhivex0 libmimalloc2.0 libqt6widgets6; do
             grep -qx \"\$lib\" '$work/depends' || { echo \"no \$lib in: \$(cat '$work/depends')\"; exit 1; }; done"

root=$work/root
dpkg-deb -x "$deb" "$root"
check "programs, private libraries, desktop entry, icon and manual pages are in place" \
  bash -c "cd '$root' && for f in usr/bin/tollan usr/bin/tollan-cli usr/bin/kestrel usr/bin/pst-check \
             usr/lib/*/tollan/libkestrel.so usr/lib/*/tollan/libtollan_com.so \
             usr/share/applications/tollan.desktop usr/share/icons/hicolor/scalable/apps/tollan.svg \
             usr/share/man/man1/tollan.1.gz usr/share/man/man1/tollan-cli.1.gz \
             usr/share/man/man1/kestrel.1.gz usr/share/man/man1/pst-check.1.gz \
             usr/libexec/tollan/tollan-import-worker \\
             usr/share/doc/tollan/copyright; do test -s \$f || { echo missing \$f; exit 1; }; done"
check "the copyright file gives the project's MIT licence and those of the linked libraries" \
  bash -c "f='$root/usr/share/doc/tollan/copyright'; grep -qx 'License: MIT' \$f &&
           grep -q 'Permission is hereby granted, free of charge' \$f &&
           for lib in libgmime libhivex0 libmimalloc libqt6widgets6 libstdc++6 CLI11; do
             grep -q \$lib \$f || { echo no \$lib; exit 1; }; done"
check "the maintainer is the project's role address, also in the changelog" \
  bash -c "m=\$(dpkg-deb -f '$deb' Maintainer); echo \$m; test \"\$m\" = '$(sed -n 's/^TOLLAN_MAINTAINER:STRING=//p' "$build_tree/CMakeCache.txt")' &&
           ! echo \$m | grep -qi example && zcat '$root/usr/share/doc/tollan/changelog.gz' | grep -qF \" -- \$m \""
check "every program answers --version" \
  bash -c "for p in tollan tollan-cli kestrel pst-check; do
             '$root'/usr/bin/\$p --version | grep -qx \"\$p $version\" || { echo \$p; exit 1; }; done"

# Nothing registered: no per-user file, no system-wide file, no override.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CONFIG_DIRS=$work/xdg
unset KESTREL_REGISTRATIONS WINEPREFIX KESTREL_REGISTRY
mkdir -p "$HOME"
bin=$root/usr/bin
"$build/tools/make-sample-store/make-sample-store" "$work/store" \
  --folders "Inbox,Sent Items,Archive" --messages-per-folder 12 --quiet
"$bin/kestrel" export "$work/store" "$work/export" >/dev/null
check "the unpacked tollan-cli converts a store into a folder it makes, through its import workers" \
  bash -c "'$bin/tollan-cli' --jobs 2 --single-pst -o '$work/out/files' '$work/store' --verify 2>&1 |
           tee /dev/stderr | { ! grep -q 'importing in this process only'; }"
check "every message of every folder arrived" \
  /usr/bin/python3 "$src/tests/tools/tollan-cli/verify_pst.py" "$work/export" "$work"/out/files/*.pst \
    --all-read --skip Outbox "Deleted Items"

prefix=$work/prefix
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
check "the default store converts through the reader shipped in the package" \
  "$bin/tollan-cli" --pst-per-file --default-store --wine-prefix "$prefix" -o "$work/out/default" --verify
check "every message of the default store arrived" \
  /usr/bin/python3 "$src/tests/tools/tollan-cli/verify_pst.py" "$work/export" "$work"/out/default/*.pst \
    --skip Outbox "Deleted Items"
check "still no registration file anywhere" \
  bash -c "! find '$work/home' '$work/xdg' -name registrations.ini | grep -q ."

# The maintainer scripts, pointed at the unpacked tree: installing records
# the shipped reader system-wide, removing takes the record away.
dpkg-deb -e "$deb" "$work/control"
registrations=$work/etc/xdg/kestrel/registrations.ini
for script in postinst prerm; do
  sed -e "s|^registrations=.*|registrations=$registrations|" \
      -e "s|^server=/|server=$root/|" "$work/control/$script" >"$work/$script"
done
check "postinst registers the shipped reader system-wide" \
  bash -c "PATH='$bin':\$PATH sh '$work/postinst' configure &&
           grep -q 'InprocServer *= *$root/usr/lib/.*/tollan/libkestrel.so' '$registrations'"
check "prerm removes the system-wide registration" \
  bash -c "sh '$work/prerm' remove && test ! -e '$registrations'"

lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 && status=0 || status=$?
sed 's/^/  lintian: /' "$work/lintian.log"
check "lintian reports no errors" test "$status" -eq 0

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
