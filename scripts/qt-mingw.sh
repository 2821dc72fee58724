#!/usr/bin/env bash
# Builds the part of Qt the editor needs for 64-bit Windows, from the sources of the Qt that
# Debian ships (so the host tools of Debian's Qt match it), with Debian's mingw-w64, once per
# machine. Prints the installed prefix on standard output; everything else goes to standard error.
#
# The result is kept in ${XDG_CACHE_HOME:-$HOME/.cache}/ledsign/qt-VERSION-mingw-HASH, where HASH
# names the options below, the toolchain file and the compiler; a build that failed or was
# interrupted is never taken for a cache (the folder appears only when everything is installed).
# A cold build takes about 40 minutes on two cores.
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

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
APT=(apt-get -o DPkg::Lock::Timeout=600)

# The source comes from the archive and suite apt installed Debian's Qt from. The entry goes into
# a file of its own; the rest of apt's configuration is left alone.
source_list=/etc/apt/sources.list.d/ledsign-qt-source.list
if ! apt-get source --print-uris "qt6-base=$QT_DEBIAN_VERSION" >/dev/null 2>&1; then
    # apt-cache policy lists each version, then the archives ("500 URI SUITE/COMPONENT ...").
    origin=$(apt-cache policy qt6-base-dev | awk -v v="$QT_DEBIAN_VERSION" '
        ($1 == "***" && NF == 3) || (NF == 2 && $1 !~ /^[0-9]+$/) {
            want = (($1 == "***") ? $2 : $1) == v; next }
        want && $2 ~ /:\/\// { print $2, $3; exit }')
    [ -n "$origin" ] || { echo "qt-mingw: no archive offers qt6-base-dev $QT_DEBIAN_VERSION" >&2; exit 1; }
    read -r uri suite_component <<<"$origin"
    suite=${suite_component%%/*} component=${suite_component#*/}
    # apt refuses two entries for one archive with different keys: take the entry's own key.
    signed_by=$(awk -v uri="${uri%/}" -v suite="$suite" '
        BEGIN { RS = ""; FS = "\n" }
        { u = s = k = ""
          for (i = 1; i <= NF; i++) {
              if ($i ~ /^URIs:/) u = " " substr($i, 6) " "
              if ($i ~ /^Suites:/) s = " " substr($i, 8) " "
              if ($i ~ /^Signed-By:/) { k = substr($i, 11); gsub(/^ +| +$/, "", k) } }
          if (index(u, " " uri " ") || index(u, " " uri "/ ")) if (index(s, " " suite " ")) { print k; exit } }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    options=""
    [ -n "$signed_by" ] && options="[signed-by=$signed_by] "
    echo "deb-src $options$uri $suite $component" | "${SUDO[@]}" tee "$source_list" >/dev/null
    echo "qt-mingw: added $(cat "$source_list") in $source_list" >&2
    "${SUDO[@]}" "${APT[@]}" update >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ledsign-qt-mingw.XXXXXX")
trap 'rm -rf "$work"' EXIT
staging=$cache_root/.qt-$QT_VERSION-mingw-$hash.partial
rm -rf "$staging"
mkdir -p "$cache_root"

echo "qt-mingw: building Qt $QT_VERSION for Windows into $prefix (about 40 minutes on two cores)" >&2
(cd "$work" && apt-get source --only-source "qt6-base=$QT_DEBIAN_VERSION") >&2
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$src" ] || { echo "qt-mingw: the source did not unpack" >&2; exit 1; }

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
