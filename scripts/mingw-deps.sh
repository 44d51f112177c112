#!/usr/bin/env bash
# Builds the mingw (static) libraries that Debian ships only as source:
# libcurl, pugixml and minizip, from Debian's source packages, for one
# architecture: i686 (the shipped installer, the default) or x86_64.
#
# Usage: scripts/mingw-deps.sh QV_DEPS [i686|x86_64]
#
# The result goes to QV_DEPS/mingw-<arch>-<recipe>, where <recipe> is the first
# 12 hex digits of this file's SHA-256 (cmake/deps.cmake computes the same name). A
# changed recipe therefore builds into a new folder and never touches a folder
# that other build trees may still link against. The folder appears only when
# complete (built under a temporary name, then renamed).
#
# Only what the installer uses is built in: HTTP and HTTPS over Schannel with
# zlib content decoding and proxies (no proxy credentials: a proxy that asks
# for them ends the route with its 407), nothing else, and no verbose messages.
# Everything is compiled for size, one section per function and object so the
# linker can drop what is not called.
set -euo pipefail

QV_DEPS=$1
arch=${2:-i686}
case $arch in
  i686|x86_64) ;;
  *) echo "mingw-deps.sh: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
host=$arch-w64-mingw32
recipe=$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-12)
out="$QV_DEPS/mingw-$arch-$recipe"
[ -f "$out/lib/libcurl.a" ] && exit 0

echo "setup: building mingw libraries into $out"
work=$(mktemp -d "$QV_DEPS/build-$arch-$recipe.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
mkdir -p "$prefix/include" "$prefix/lib"

# Source packages are downloaded once and kept (they do not depend on the recipe).
pkgs="$QV_DEPS/source-packages"
mkdir -p "$pkgs"
if ! ls "$pkgs"/curl_*.dsc "$pkgs"/pugixml_*.dsc "$pkgs"/zlib_*.dsc >/dev/null 2>&1; then
  ( cd "$pkgs" && apt-get source --download-only -qq curl pugixml zlib/bookworm >/dev/null 2>&1 \
      || apt-get source --download-only curl pugixml zlib/bookworm )
fi
cd "$work"
for dsc in "$pkgs"/curl_*.dsc "$pkgs"/pugixml_*.dsc "$pkgs"/zlib_*.dsc; do
  dpkg-source --no-check -x "$dsc" >/dev/null
done

CC=$host-gcc-posix
CXX=$host-g++-posix
# Archives through gcc-ar, whose symbol index also covers the objects'
# intermediate code.
AR=$host-gcc-ar
SIZE_FLAGS="-Os -ffunction-sections -fdata-sections"
# C code is never unwound through: every callback the installer gives libcurl
# catches its own exceptions. Its unwind tables would only take room.
C_SIZE_FLAGS="$SIZE_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables"
# libcurl formats with its own printf and scans only plain numbers and
# character sets; with the C runtime's own scanf (as in an MSVC build of it)
# the MinGW C99 scanf and the string-to-float code it pulls stay out.
CURL_CPPFLAGS="-D__USE_MINGW_ANSI_STDIO=0"
# The objects carry intermediate code beside their machine code: the shipped
# executable is optimised across them and the program at link time (drops
# what it never calls), and any other link uses the machine code as it is.
LTO_FLAGS="-flto -ffat-lto-objects"

( cd curl-*/ && ./configure -q --host=$host --prefix="$prefix" \
    --disable-shared --enable-static --disable-debug --disable-curldebug \
    --with-schannel --with-zlib=/usr/$host \
    --without-libpsl --without-brotli --without-zstd --without-libidn2 --without-winidn \
    --without-nghttp2 --without-ngtcp2 --without-nghttp3 --without-quiche --without-msh3 \
    --without-librtmp --without-libgsasl --without-ca-bundle --without-ca-path \
    --enable-http --enable-proxy \
    --disable-ftp --disable-file --disable-ldap --disable-ldaps --disable-rtsp --disable-dict \
    --disable-telnet --disable-tftp --disable-pop3 --disable-imap --disable-smb --disable-smtp \
    --disable-gopher --disable-mqtt --disable-websockets \
    --disable-manual --disable-libcurl-option --disable-cookies --disable-mime --disable-netrc \
    --disable-progress-meter --disable-dnsshuffle --disable-get-easy-options --disable-alt-svc \
    --disable-headers-api --disable-hsts --disable-doh --disable-unix-sockets \
    --disable-crypto-auth --disable-ntlm --disable-ntlm-wb --disable-tls-srp --disable-http-auth \
    --disable-verbose \
    CC=$CC AR=$AR RANLIB=$host-gcc-ranlib CPPFLAGS="$CURL_CPPFLAGS" CFLAGS="$C_SIZE_FLAGS" >configure.out 2>&1 || { tail -30 configure.out; exit 1; }
  # Without verbose strings libcurl keeps no messages of its own, but the
  # installer reports curl_easy_strerror's description of a failed transfer:
  # that one table stays.
  sed -i 's/CURL_DISABLE_VERBOSE_STRINGS/QV_CURL_ERROR_TEXTS_KEPT/' lib/strerror.c
  # Intermediate code only in the library itself: configure's test programs
  # link faster without it.
  make -s -j"$(nproc)" -C lib CFLAGS="$C_SIZE_FLAGS $LTO_FLAGS" >/dev/null \
    && make -s -C lib install >/dev/null && make -s -C include install >/dev/null )

# No XPath (nothing queries with it) and no std::string/stream interface (its
# stream loading alone links in the whole locale machinery); the configuration
# header is installed as compiled.
( cd pugixml-*/ && printf '#define PUGIXML_NO_XPATH\n#define PUGIXML_NO_STL\n' >> src/pugiconfig.hpp && $CXX $SIZE_FLAGS $LTO_FLAGS -c src/pugixml.cpp -o pugixml.o \
  && $AR rcs "$prefix/lib/libpugixml.a" pugixml.o \
  && cp src/pugixml.hpp src/pugiconfig.hpp "$prefix/include/" )

( cd zlib-*/contrib/minizip && $CC $C_SIZE_FLAGS $LTO_FLAGS -c unzip.c ioapi.c -I../.. \
  && $AR rcs "$prefix/lib/libminizip.a" unzip.o ioapi.o \
  && mkdir -p "$prefix/include/minizip" && cp unzip.h ioapi.h "$prefix/include/minizip/" )

# Header-only libraries: a folder with just them (adding /usr/include to a mingw build breaks it).
cp -r /usr/include/rapidjson "$prefix/include/"
cp -r /usr/include/stb "$prefix/include/"

rm -rf "$prefix/lib/pkgconfig" "$prefix/lib/"*.la "$prefix/share" "$prefix/bin"
mv "$prefix" "$out.tmp.$$"
mv -T "$out.tmp.$$" "$out" 2>/dev/null || rm -rf "$out.tmp.$$"  # another run finished first
echo "setup: done"
