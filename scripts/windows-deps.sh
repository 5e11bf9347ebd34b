#!/usr/bin/env bash
# Builds the libraries the Windows converter needs - libffi, PCRE2, GLib and
# GMime - for x86_64-w64-mingw32 from Debian's source packages (apt-get
# source; install-deps.sh adds the deb-src entry), as DLLs with their import
# libraries (GMime as a static library), headers and pkg-config files, and
# prints the prefix they are in.
#
# The prefix lives outside the clone, under $TOLLAN_WINDOWS_DEPS (default
# ${XDG_CACHE_HOME:-~/.cache}/tollan/mingw-w64), in a folder named after the
# four source versions: a second run, or another clone on the same machine,
# finds it complete and builds nothing; a new Debian version of any of them
# builds a new prefix. A prefix is marked complete only after every library
# is installed; each library is marked when it is, so a build that failed or
# was interrupted starts again at the first library not installed.
# Concurrent runs wait for each other.
#
# Each library's licence texts and Debian copyright file go to
# PREFIX/share/licenses/NAME/, and its patched source tree to
# PREFIX/src/NAME-VERSION.tar.xz, to be shipped with the DLLs.
#
# usage: scripts/windows-deps.sh      (progress on stderr, the prefix on stdout)
set -euo pipefail
host=x86_64-w64-mingw32
packages=(libffi pcre2 glib2.0 gmime)
cache=${TOLLAN_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/tollan/mingw-w64}
mkdir -p "$cache"
log() { echo "windows-deps: $*" >&2; }
fail() { log "$*"; exit 1; }

# The sources, downloaded once into $cache/sources: of the versions the
# package lists name, the newest already there, else the newest the archive
# still serves (a security update may be listed before its source reaches
# the mirror).
sources="$cache/sources"
mkdir -p "$sources"
declare -A version
key=
for p in "${packages[@]}"; do
  mapfile -t versions < <(apt-cache showsrc "$p" 2>/dev/null | sed -n 's/^Version: //p' | sort -Vru)
  [ ${#versions[@]} -gt 0 ] ||
    fail "apt knows no source package $p: is there a deb-src entry? (run scripts/install-deps.sh as root)"
  chosen=
  for v in "${versions[@]}"; do
    if [ -f "$sources/${p}_${v#*:}.dsc" ]; then chosen=$v; break; fi
  done
  if [ -z "$chosen" ]; then
    for v in "${versions[@]}"; do
      if (cd "$sources" && apt-get source --download-only -qq "$p=$v" >"$cache/fetch.log" 2>&1); then
        chosen=$v
        break
      fi
    done
  fi
  [ -n "$chosen" ] || { cat "$cache/fetch.log" >&2; fail "no source of $p could be downloaded"; }
  version[$p]=$chosen
  key+="${p}_${chosen}."
done
prefix="$cache/${key%.}"
exec 9>"$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

log "building ${key%.} into $prefix"
work="$cache/build.$$"
rm -rf "$work"
mkdir -p "$work" "$prefix"/{include,lib/pkgconfig,share/licenses,src}
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)
run() {  # run LOG CMD...: the command's output goes to LOG, shown on failure
  local out=$1; shift
  "$@" >"$out" 2>&1 || { tail -n 40 "$out" >&2; fail "failed: $* (log: $out)"; }
}

export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:/usr/$host/lib/pkgconfig"
export PKG_CONFIG_PATH=
export CC=$host-gcc-posix CXX=$host-g++-posix
# libgcc and winpthread go into each DLL: nothing but system DLLs beside them.
export LDFLAGS="-L$prefix/lib -static-libgcc -Wl,-Bstatic,-lwinpthread,-Bdynamic"
export CPPFLAGS="-I$prefix/include"

fetch() {  # fetch NAME: unpacks the patched source into $work/NAME, keeps the licences
  local p=$1
  run "$work/$p.unpack.log" dpkg-source -x "$sources/${p}_${version[$p]#*:}.dsc" "$work/$p"
  mkdir -p "$prefix/share/licenses/$p"
  cp "$work/$p/debian/copyright" "$prefix/share/licenses/$p/"
  find "$work/$p" -maxdepth 1 \( -name 'COPYING*' -o -name 'LICENSE*' -o -name 'LICENCE*' \) \
    -exec cp -r {} "$prefix/share/licenses/$p/" \;
  tar -C "$work" -cJf "$prefix/src/$p-${version[$p]}.tar.xz" \
    --exclude="$p/.pc" "$p"
}

built() { [ -f "$prefix/.built-$1" ]; }
mark_built() { touch "$prefix/.built-$1"; }

if ! built libffi; then
log "libffi ${version[libffi]}"
fetch libffi
(cd "$work/libffi" &&
  run "$work/libffi.configure.log" ./configure --host=$host --prefix="$prefix" \
    --enable-shared --disable-static --disable-docs --disable-multi-os-directory &&
  run "$work/libffi.make.log" make -j"$jobs" &&
  run "$work/libffi.install.log" make install)
mark_built libffi
fi

# Libraries only: its test and grep programs are not wanted.
if ! built pcre2; then
log "pcre2 ${version[pcre2]}"
fetch pcre2
(cd "$work/pcre2" &&
  run "$work/pcre2.configure.log" ./configure --host=$host --prefix="$prefix" \
    --enable-shared --disable-static --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32 &&
  run "$work/pcre2.make.log" make -j"$jobs" libpcre2-8.la &&
  run "$work/pcre2.install.log" make install-libLTLIBRARIES install-includeHEADERS \
    install-nodist_includeHEADERS install-pkgconfigDATA)
mark_built pcre2
fi

# GLib insists on a libintl; without translations a pass-through one does.
# Its calls carry format_arg as GNU gettext's do, for GLib's format checks.
if ! built glib2.0; then
cat > "$prefix/include/libintl.h" <<'EOF'
/* Messages untranslated: each call gives back the text it was given. */
#ifndef LIBINTL_H
#define LIBINTL_H
#include <locale.h>
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729 /* the value GNU gettext gives it on Windows */
#endif
#define INTL_ARG(n) __attribute__((__format_arg__(n)))
char *gettext(const char *msgid) INTL_ARG(1);
char *dgettext(const char *domain, const char *msgid) INTL_ARG(2);
char *dcgettext(const char *domain, const char *msgid, int category) INTL_ARG(2);
char *ngettext(const char *msgid, const char *plural, unsigned long n) INTL_ARG(1) INTL_ARG(2);
char *dngettext(const char *domain, const char *msgid, const char *plural, unsigned long n)
    INTL_ARG(2) INTL_ARG(3);
char *dcngettext(const char *domain, const char *msgid, const char *plural, unsigned long n,
                 int category) INTL_ARG(2) INTL_ARG(3);
char *textdomain(const char *domain);
char *bindtextdomain(const char *domain, const char *dir);
char *bind_textdomain_codeset(const char *domain, const char *codeset);
#endif
EOF
cat > "$work/intl.c" <<'EOF'
#include <libintl.h>
char *gettext(const char *m) { return (char *)m; }
char *dgettext(const char *d, const char *m) { (void)d; return (char *)m; }
char *dcgettext(const char *d, const char *m, int c) { (void)d; (void)c; return (char *)m; }
char *ngettext(const char *m, const char *p, unsigned long n) { return (char *)(n == 1 ? m : p); }
char *dngettext(const char *d, const char *m, const char *p, unsigned long n) {
  (void)d; return (char *)(n == 1 ? m : p); }
char *dcngettext(const char *d, const char *m, const char *p, unsigned long n, int c) {
  (void)d; (void)c; return (char *)(n == 1 ? m : p); }
char *textdomain(const char *d) { return (char *)(d ? d : "messages"); }
char *bindtextdomain(const char *d, const char *dir) { (void)d; return (char *)dir; }
char *bind_textdomain_codeset(const char *d, const char *c) { (void)d; return (char *)c; }
EOF
run "$work/intl.log" $CC -O2 -I"$prefix/include" -c "$work/intl.c" -o "$work/intl.o"
run "$work/intl.log" $host-ar rcs "$prefix/lib/libintl.a" "$work/intl.o"

log "glib2.0 ${version[glib2.0]}"
fetch glib2.0
cat > "$work/cross.ini" <<EOF
[binaries]
c = '$host-gcc-posix'
cpp = '$host-g++-posix'
ar = '$host-ar'
strip = '$host-strip'
windres = '$host-windres'
pkgconfig = 'pkg-config'

[built-in options]
c_args = ['-I$prefix/include']
c_link_args = ['-L$prefix/lib', '-static-libgcc', '-Wl,-Bstatic,-lwinpthread,-Bdynamic']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
(cd "$work/glib2.0" &&
  run "$work/glib.configure.log" meson setup _build --cross-file "$work/cross.ini" \
    --prefix="$prefix" --libdir=lib --buildtype=release --default-library=shared \
    --wrap-mode=nodownload -Dnls=disabled -Dtests=false -Dinstalled_tests=false -Dman=false \
    -Dgtk_doc=false -Dxattr=false -Dselinux=disabled -Dlibmount=disabled -Dsysprof=disabled &&
  run "$work/glib.make.log" ninja -C _build -j"$jobs" &&
  run "$work/glib.install.log" meson install -C _build --no-rebuild)
mark_built glib2.0
fi

# GIO links Debian's MinGW build of zlib (libz-mingw-w64): its DLL and
# notice go with the others.
cp /usr/$host/lib/zlib1.dll "$prefix/bin/"
mkdir -p "$prefix/share/licenses/zlib"
cp /usr/share/doc/libz-mingw-w64/copyright "$prefix/share/licenses/zlib/"

# GMime is a static library, linked into the programs: its libtool build
# makes no DLL for this host. Its iconv calls go to GLib's, which carries its own converter on
# Windows; the values its configure would measure by running a program are
# those of that converter.
cat > "$prefix/include/iconv.h" <<'EOF'
/* iconv through GLib's g_iconv (GLib's own converter on Windows). */
#ifndef ICONV_H
#define ICONV_H
#include <glib.h>
typedef GIConv iconv_t;
#define iconv_open(to, from) g_iconv_open((to), (from))
#define iconv(cd, in, inleft, out, outleft) g_iconv((cd), (in), (inleft), (out), (outleft))
#define iconv_close(cd) g_iconv_close(cd)
#endif
EOF
if ! built gmime; then
log "gmime ${version[gmime]}"
fetch gmime
glib_cflags=$(pkg-config --cflags glib-2.0)
(cd "$work/gmime" &&
  # The dfsg tarball has no configure, nor the ChangeLog automake asks for.
  touch ChangeLog &&
  run "$work/gmime.autogen.log" sh -c 'gtkdocize --copy && autoreconf -fi' &&
  cat > iconv-detect.h <<'EOF' &&
#define ICONV_ISO_INT_FORMAT "iso-%u-%u"
#define ICONV_ISO_STR_FORMAT "iso-%u-%s"
#define ICONV_SHIFT_JIS "shift_jis"
#define ICONV_10646 "UCS-4BE"
EOF
  run "$work/gmime.configure.log" env CPPFLAGS="$CPPFLAGS $glib_cflags" \
    ac_cv_func_iconv_open=yes ac_cv_have_iconv_detect_h=yes \
    ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --disable-crypto --without-libidn --disable-introspection --disable-vala \
    --disable-gtk-doc --disable-glibtest &&
  run "$work/gmime.make.log" make -j"$jobs" -C util &&
  run "$work/gmime.make.log" make -j"$jobs" -C gmime &&
  run "$work/gmime.install.log" make -C gmime install &&
  run "$work/gmime.install.log" make install-pkgconfigDATA)
mark_built gmime
fi

touch "$prefix/.complete"
log "done"
echo "$prefix"
