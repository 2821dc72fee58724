#!/usr/bin/env bash
# Builds the part of Qt the editor needs for 64-bit Windows, from the sources of the Qt that
# Debian ships (so the host tools of Debian's Qt match it), with Debian's mingw-w64, once per
# machine. Prints the installed prefix on standard output; everything else goes to standard error.
#
# The result is kept in ${XDG_CACHE_HOME:-$HOME/.cache}/ledsign/qt-VERSION-mingw-HASH, where HASH
# names the options below, the toolchain file and the compiler; a build that failed or was
# interrupted is never taken for a cache (the folder appears only when everything is installed).
# A cold build takes about 40 minutes on two idle cores (82 measured with other builds beside it).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

QT_VERSION=6.4.2
QT_DEBIAN_VERSION=6.4.2+dfsg-10
TOOLCHAIN=$here/cmake/mingw-w64-x86_64-shared-runtime.cmake
OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    # Host tools (moc, rcc, uic) and Qt6HostInfo from Debian's own Qt of the same version.
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    # Core, Gui, Widgets and Test only.
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    # Third-party libraries from Qt's own tree: nothing of them exists for mingw in Debian.
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_jpeg=OFF
    # The source package lacks wintab.h; the Windows platform plugin of this version does not
    # compile without OpenGL, so mingw-w64's desktop OpenGL stays on.
    -DFEATURE_tabletevent=OFF -DINPUT_opengl=desktop
)

compiler=$(x86_64-w64-mingw32-g++-posix --version | head -n1)
hash=$(printf '%s\n' "$QT_DEBIAN_VERSION" "${OPTIONS[@]}" "$compiler" |
    cat - "$TOOLCHAIN" "$here/cmake/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-12)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/ledsign
prefix=$cache_root/qt-$QT_VERSION-mingw-$hash
if [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "$prefix"
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ledsign-qt-mingw.XXXXXX")
trap 'rm -rf "$work"' EXIT
staging=$cache_root/.qt-$QT_VERSION-mingw-$hash.partial
rm -rf "$staging"
mkdir -p "$cache_root"

echo "qt-mingw: building Qt $QT_VERSION for Windows into $prefix (about 40 minutes on two cores)" >&2
# From the archive and suite apt installed Debian's Qt from.
src=$("$here/scripts/debian-source.sh" "qt6-base=$QT_DEBIAN_VERSION" "$work")

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -G Ninja -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_INSTALL_PREFIX="$staging" \
    "${launcher[@]}" "${OPTIONS[@]}" >&2
cmake --build "$work/build" -j "$(nproc)" >&2
cmake --install "$work/build" >&2
# Qt's CMake packages and libraries find their files relative to themselves, so the installed
# tree may move into place.
mv "$staging" "$prefix"
echo "$prefix"
