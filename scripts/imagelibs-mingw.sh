#!/usr/bin/env bash
# Builds zlib, libpng and giflib as static libraries for 64-bit Windows, from the sources of the
# versions Debian ships, with Debian's mingw-w64 (cmake/mingw-w64-x86_64.cmake), once per
# machine: ledsign.exe links them for `preview --png` and `--gif`. Prints the installed prefix
# (lib/, include/, share/licenses/) on standard output; everything else goes to standard error.
#
# The result is kept in ${XDG_CACHE_HOME:-$HOME/.cache}/ledsign/imagelibs-mingw-HASH, where HASH
# names the versions, the options below, the toolchain file and the compiler; a build that
# failed or was interrupted is never taken for a cache (the folder appears only when everything
# is installed). A cold build took 4 minutes on two cores that other builds shared.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

ZLIB=zlib=1:1.2.13.dfsg-1
LIBPNG=libpng1.6=1.6.39-2+deb12u5
GIFLIB=giflib=5.2.1-2.5+deb12u1
TOOLCHAIN=$here/cmake/mingw-w64-x86_64.cmake
HOST=x86_64-w64-mingw32
CC=$(command -v $HOST-gcc-posix || command -v $HOST-gcc) ||
    { echo "imagelibs-mingw: no $HOST-gcc (install g++-mingw-w64-x86-64)" >&2; exit 1; }
# Optimised and hardened as the Windows programs that link them.
CFLAGS="-O2 -D_FORTIFY_SOURCE=2 -fstack-protector-strong"
PNG_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF
    -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=ON
)

compiler=$("$CC" --version | head -n1)
hash=$(printf '%s\n' "$ZLIB" "$LIBPNG" "$GIFLIB" "$CFLAGS" "${PNG_OPTIONS[@]}" "$compiler" |
    cat - "$TOOLCHAIN" | sha256sum | cut -c1-12)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/ledsign
prefix=$cache_root/imagelibs-mingw-$hash
if [ -f "$prefix/lib/libpng.a" ] && [ -f "$prefix/lib/libgif.a" ] && [ -f "$prefix/lib/libz.a" ]; then
    echo "$prefix"
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ledsign-imagelibs-mingw.XXXXXX")
mkdir -p "$cache_root"
# A staging folder of this run's own: two runs at once never build into one.
staging=$(mktemp -d "$cache_root/.imagelibs-mingw-$hash.XXXXXX")
trap 'rm -rf "$work" "$staging"' EXIT
mkdir -p "$staging/lib" "$staging/include" "$staging/share/licenses"
start=$SECONDS
echo "imagelibs-mingw: building zlib, libpng and giflib for Windows into $prefix" >&2

zlib=$("$here/scripts/debian-source.sh" "$ZLIB" "$work")
(cd "$zlib" && CHOST=$HOST CC="$CC" CFLAGS="$CFLAGS" ./configure --static --prefix="$staging" &&
    make -j "$(nproc)" libz.a && make install) >&2
mkdir -p "$staging/share/licenses/zlib"
cp "$zlib/LICENSE" "$staging/share/licenses/zlib/LICENSE"

libpng=$("$here/scripts/debian-source.sh" "$LIBPNG" "$work")
cmake -G Ninja -S "$libpng" -B "$work/libpng-build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_INSTALL_PREFIX="$work/libpng-install" -DCMAKE_C_FLAGS="$CFLAGS" \
    -DZLIB_LIBRARY="$staging/lib/libz.a" -DZLIB_INCLUDE_DIR="$staging/include" \
    "${PNG_OPTIONS[@]}" >&2
cmake --build "$work/libpng-build" -j "$(nproc)" >&2
cmake --install "$work/libpng-build" >&2
# The library under its plain name too, which FindPNG takes before the versioned one.
cp "$work/libpng-install/lib/libpng16.a" "$staging/lib/libpng.a"
cp -r "$work/libpng-install/include/." "$staging/include/"
mkdir -p "$staging/share/licenses/libpng"
cp "$libpng/LICENSE" "$staging/share/licenses/libpng/LICENSE"

giflib=$("$here/scripts/debian-source.sh" "$GIFLIB" "$work")
make -C "$giflib" -j "$(nproc)" CC="$CC" AR=$HOST-ar OFLAGS="$CFLAGS" libgif.a >&2
cp "$giflib/libgif.a" "$staging/lib/"
cp "$giflib/gif_lib.h" "$staging/include/"
mkdir -p "$staging/share/licenses/giflib"
cp "$giflib/COPYING" "$staging/share/licenses/giflib/LICENSE"

# A run that finished first has put the same libraries in place already.
mv -T "$staging" "$prefix" 2>/dev/null || [ -f "$prefix/lib/libgif.a" ] ||
    { echo "imagelibs-mingw: cannot move the libraries to $prefix" >&2; exit 1; }
echo "imagelibs-mingw: built in $((SECONDS - start)) s" >&2
echo "$prefix"
