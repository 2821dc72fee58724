#!/usr/bin/env bash
# Makes the Windows ZIP (scripts/package.sh) of a Windows build and checks it: a second build
# gives the same bytes although the files it packs were touched in between, it holds the
# program, the fonts, the README and the licences, its ledsign.exe carries no symbols, and that
# ledsign.exe runs under Wine; the programs' icon, version and manifest, and, from a build with
# Qt, the editor with everything it loads and the installer (scripts/zip-tests-windows.sh).
#
# Usage: scripts/zip-tests.sh [WINDOWS_BUILD_DIR]   (default build-win, built already, with the
# Wine prefix that test.sh makes in it). Prints the ZIP's path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=ledsign-$version-win64
. scripts/wine.sh
wine_from_build "$build"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; "$WINESERVER" -k 2>/dev/null || true' EXIT
fail() {
    echo "zip-tests: $*" >&2
    exit 1
}

zip=$(scripts/package.sh "$build")
cp "$zip" "$scratch/first.zip"
touch "$build/tools/ledsign.exe"
scripts/package.sh "$build" >/dev/null
cmp "$scratch/first.zip" "$zip" || fail "$(basename "$zip") differs between two builds"

(cd "$scratch" && cmake -E tar xf "$zip")
for file in ledsign.exe README.txt LICENSE.txt COPYRIGHT.txt MINGW-W64-RUNTIME-LICENSE.txt \
    font5x7.fnt font8x7wj.fnt font8x8thin.fnt font8x8b.fnt font8x8atari.fnt; do
    [ -f "$scratch/$name/$file" ] || fail "the ZIP lacks $name/$file"
done
# The image libraries linked in bring their notices.
if grep -q '^LEDSIGN_MINGW_PREFIXES:[A-Z]*=.' "$build/CMakeCache.txt"; then
    for lib in zlib libpng giflib; do
        grep -q "^== $lib" "$scratch/$name/IMAGE-LIBRARIES-LICENSE.txt" ||
            fail "the ZIP lacks the licence of $lib"
    done
fi
exe=$scratch/$name/ledsign.exe
x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols' || fail "ledsign.exe is not stripped"
echo "ledsign.exe: $(stat -c %s "$exe") bytes (the build's: $(stat -c %s "$build/tools/ledsign.exe"))" >&2
export WINEPREFIX=${WINEPREFIX:-$(realpath "$build")/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
got=$("$WINE" "$exe" --version | tr -d '\r')
[ "$got" = "ledsign $version" ] || fail "the packed ledsign.exe --version printed: $got"

# The programs' resources, and the editor of a build configured with Qt.
. scripts/zip-tests-windows.sh
check_resources "$exe" "$version"
if grep -q '^LEDSIGN_GUI:BOOL=ON$' "$build/CMakeCache.txt"; then
    check_resources "$scratch/$name/ledsign-editor.exe" "$version"
    check_editor_files "$scratch/$name" "$version"
    check_installer "$build/$name-setup.exe" "$scratch/$name"
fi
echo "$zip"
