#!/usr/bin/env bash
# Packs the Windows build of the command-line tool: ledsign-VERSION-win64.zip in the build
# folder, holding ledsign-VERSION-win64/ with ledsign.exe, the five font files beside it (where
# the program looks first after the current folder) and a short README.txt.
#
# Usage: scripts/package.sh [WINDOWS_BUILD_DIR]   (default build-win, made as test.sh makes it)
# Prints the ZIP's path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
exe=$build/tools/ledsign.exe
[ -f "$exe" ] || { echo "package.sh: no $exe; build the Windows tree first" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package.sh: no project version in $build" >&2; exit 1; }
name=ledsign-$version-win64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/$name"
cp "$exe" "$stage/$name/"
cp fonts/*.fnt "$stage/$name/"
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
TEXT

out=$(realpath "$build")/$name.zip
rm -f "$out"
(cd "$stage" && cmake -E tar cf "$out" --format=zip "$name")
echo "$out"
