#!/usr/bin/env bash
# Packs a build for distribution.
#
# Usage: scripts/package.sh deb [BUILD_DIR]   (default build)
#   The Debian packages of a Linux build: ledsign_VERSION_ARCH.deb (command line, software
#   sign, fonts, watch service; no Qt) and ledsign-editor_VERSION_ARCH.deb, made by cpack in
#   BUILD_DIR/packages after the build is brought up to date. Prints the packages' paths.
#
# Usage: scripts/package.sh [WINDOWS_BUILD_DIR]   (default build-win, made as test.sh makes it)
#   The Windows build of the command-line tool: ledsign-VERSION-win64.zip in the build
#   folder, holding ledsign-VERSION-win64/ with ledsign.exe (stripped), the five font files
#   beside it (where the program looks first after the current folder), a short README.txt
#   and the licences (LICENSE.txt, COPYRIGHT.txt, MINGW-W64-RUNTIME-LICENSE.txt, and
#   IMAGE-LIBRARIES-LICENSE.txt when zlib, libpng and giflib are linked in); from a build
#   configured with Qt also the editor, its Qt and runtime DLLs, plugins and translation and
#   their licences (scripts/package-win-editor.sh). Prints the ZIP's path.
#
# Both are reproducible: their file dates are SOURCE_DATE_EPOCH when it is set, otherwise the
# time of the last commit, so two builds of one commit give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        { echo "package.sh: not a git checkout; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

if [ "${1:-}" = deb ]; then
    build=${2:-build}
    [ -f "$build/CPackConfig.cmake" ] ||
        { echo "package.sh: no $build/CPackConfig.cmake; configure the Linux build first" >&2; exit 1; }
    build=$(realpath "$build")
    cmake --build "$build" -j "$(nproc)" >&2
    rm -f "$build"/packages/*.deb
    # cpack's progress goes to stderr, so that stdout holds only the packages' paths.
    (cd "$build" && cpack -G DEB -B "$build/packages" >&2)
    ls "$build"/packages/*.deb
    exit 0
fi

build=${1:-build-win}
exe=$build/tools/ledsign.exe
[ -f "$exe" ] || { echo "package.sh: no $exe; build the Windows tree first" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package.sh: no project version in $build" >&2; exit 1; }
name=ledsign-$version-win64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/$name"
# The build keeps its symbols for debugging; the ZIP does not need them (a third of the size).
x86_64-w64-mingw32-strip --strip-all -o "$stage/$name/ledsign.exe" "$exe"
cp fonts/*.fnt "$stage/$name/"
# The licences: the project's, the fonts' notices (the Debian copyright file covers them), and
# those of the MinGW-w64 runtime that is linked into ledsign.exe, as this toolchain ships them.
runtime_notice=/usr/share/doc/mingw-w64-common/copyright
[ -f "$runtime_notice" ] || { echo "package.sh: no $runtime_notice" >&2; exit 1; }
sed 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
sed 's/$/\r/' packaging/debian/copyright >"$stage/$name/COPYRIGHT.txt"
sed 's/$/\r/' "$runtime_notice" >"$stage/$name/MINGW-W64-RUNTIME-LICENSE.txt"
# zlib, libpng and giflib are linked into ledsign.exe when the build found the static ones of
# scripts/imagelibs-mingw.sh (LEDSIGN_MINGW_PREFIXES): their notices travel with it.
image_libs=$(sed -n 's/^LEDSIGN_MINGW_PREFIXES:[A-Z]*=//p' "$build/CMakeCache.txt")
image_notices=""
for lib in zlib libpng giflib; do
    notice=$image_libs/share/licenses/$lib/LICENSE
    if [ -n "$image_libs" ] && [ -f "$notice" ]; then
        image_notices+=$(printf '%s\n%s\n\n' "== $lib" "$(cat "$notice")")$'\n\n'
    fi
done
if [ -n "$image_notices" ]; then
    printf '%s' "$image_notices" | sed 's/$/\r/' >"$stage/$name/IMAGE-LIBRARIES-LICENSE.txt"
fi
# Windows editors expect CR LF.
sed 's/$/\r/' > "$stage/$name/README.txt" <<TEXT
ledsign $version for 64-bit Windows
===================================

ledsign.exe controls a 64 x 8 LED moving-message sign on a COM port and edits its message
files (*.kom, *.kzb). Run it from a command prompt; "ledsign --help" lists the commands and
"ledsign COMMAND --help" the options of one. Exit status: 0 success, 1 failure, 2 bad usage.

  ledsign compose -o m.kom "Godz. {time} Temp. {temp}"
  ledsign dump m.kom
  ledsign send --port COM3 m.kom
  ledsign send-set --port COM3 set.kzb
  ledsign sync-clock --port COM3
  ledsign show --port COM3 2
  ledsign watch --port COM3 dane.txt      (Ctrl+C stops it)
  ledsign ports                           (the COM ports of this computer)

The .fnt files are the sign's five fonts; keep them beside ledsign.exe (copies of them are
built in, so the program also works without them). File names and text may use any
characters; message text must exist in code page 1250.

LICENSE.txt is ledsign's licence (MIT). COPYRIGHT.txt names the origins and notices of the
fonts, MINGW-W64-RUNTIME-LICENSE.txt those of the runtime built into ledsign.exe, and
IMAGE-LIBRARIES-LICENSE.txt (where present) those of zlib, libpng and giflib, built in for the
PNG and GIF pictures of "ledsign preview".
TEXT

# A build configured with Qt carries the editor too (scripts/package-win-editor.sh).
if grep -q '^LEDSIGN_GUI:BOOL=ON$' "$build/CMakeCache.txt"; then
    . scripts/package-win-editor.sh
    pack_editor "$stage/$name" "$build"
fi

out=$(realpath "$build")/$name.zip
rm -f "$out"
# Members in a fixed order with one date; ZIP dates are local time, so the zone is fixed too.
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && find "$name" -type f | LC_ALL=C sort >members.txt &&
    TZ=UTC cmake -E tar cf "$out" --format=zip --files-from=members.txt)
# With the editor, also an installer: Start-menu entries, file types, an uninstaller.
if grep -q '^LEDSIGN_GUI:BOOL=ON$' "$build/CMakeCache.txt"; then
    pack_installer "$stage/$name" "$version" "$(realpath "$build")/$name-setup.exe"
fi
echo "$out"
