#!/usr/bin/env bash
# Builds the Debian packages of a Linux build (scripts/package.sh deb) and checks them:
# their contents and dependencies, lintian without errors, the desktop entry, AppStream
# metainfo and man pages through their validators, and the programs unpacked into a scratch
# root: versions, compose and preview with the unpacked fonts, the editor started by the
# desktop entry's Exec line, and the service unit through systemd-analyze.
#
# Usage: scripts/package-tests.sh [BUILD_DIR]   (default build; configured and built already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
scratch=$(mktemp -d)
editor_pid=
cleanup() {
    [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "package-tests: $*" >&2
    exit 1
}

mapfile -t debs < <(scripts/package.sh deb "$build")
cli=$build/packages/ledsign_${version}_${arch}.deb
editor=$build/packages/ledsign-editor_${version}_${arch}.deb
[ "${#debs[@]}" -eq 2 ] && [ -f "$cli" ] && [ -f "$editor" ] ||
    fail "expected $cli and $editor, got: ${debs[*]}"

echo "-- contents"
expect_files() {
    local deb=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qxF "./$path" <<<"$listing" || fail "$(basename "$deb") lacks /$path"
    done
}
expect_files "$cli" usr/bin/ledsign usr/bin/ledsign-emulator \
    usr/share/ledsign/fonts/font5x7.fnt usr/share/ledsign/fonts/font8x7wj.fnt \
    usr/share/ledsign/fonts/font8x8thin.fnt usr/share/ledsign/fonts/font8x8b.fnt \
    usr/share/ledsign/fonts/font8x8atari.fnt \
    usr/share/man/man1/ledsign.1.gz usr/share/man/man1/ledsign-emulator.1.gz \
    usr/share/bash-completion/completions/ledsign usr/lib/systemd/system/ledsign-watch@.service \
    usr/share/doc/ledsign/examples/watch.conf usr/share/doc/ledsign/copyright \
    usr/share/doc/ledsign/changelog.gz
expect_files "$editor" usr/bin/ledsign-editor usr/share/man/man1/ledsign-editor.1.gz \
    usr/share/applications/org.ledsign.Editor.desktop \
    usr/share/metainfo/org.ledsign.Editor.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/org.ledsign.Editor.svg \
    usr/share/icons/hicolor/48x48/apps/org.ledsign.Editor.png \
    usr/share/doc/ledsign-editor/copyright usr/share/doc/ledsign-editor/changelog.gz
if dpkg-deb -c "$cli" | grep -q 'ledsign-editor\|applications/'; then
    fail "the editor's files are in the ledsign package"
fi
cli_depends=$(dpkg-deb -f "$cli" Depends)
editor_depends=$(dpkg-deb -f "$editor" Depends)
echo "ledsign depends: $cli_depends"
echo "ledsign-editor depends: $editor_depends"
grep -q 'libc6' <<<"$cli_depends" || fail "ledsign has no shared library dependencies"
grep -qi 'qt' <<<"$cli_depends" && fail "ledsign depends on Qt"
for dep in "ledsign (= $version)" qt6-qpa-plugins qt6-translations-l10n libqt6widgets6; do
    grep -qF "$dep" <<<"$editor_depends" || fail "ledsign-editor does not depend on $dep"
done

echo "-- lintian"
# Errors fail; the remaining warnings are printed.
lintian --fail-on error --tag-display-limit 0 "$cli" "$editor"

root=$scratch/root
for deb in "$cli" "$editor"; do
    dpkg-deb -x "$deb" "$root"
done

echo "-- desktop entry, metainfo, man pages"
desktop-file-validate "$root/usr/share/applications/org.ledsign.Editor.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.ledsign.Editor.metainfo.xml"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    # man exits 0 even when groff warns: any output on stderr is the failure.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

echo "-- unpacked programs"
bin=$root/usr/bin
[ "$("$bin/ledsign" --version)" = "ledsign $version" ] || fail "ledsign --version"
[ "$("$bin/ledsign-emulator" --version)" = "ledsign-emulator $version" ] ||
    fail "ledsign-emulator --version"
work=$scratch/work # no fonts here nor beside the programs: only ../share/ledsign/fonts
mkdir "$work"
(
    cd "$work"
    "$bin/ledsign" compose -o m.kom "Abc {time}" >/dev/null
    "$bin/ledsign" preview m.kom --at "2026-01-02 03:04" >with-fonts.txt
    # The same preview with the installed font 4 (the default) blanked must change: the
    # programs read the unpacked fonts rather than the copies built into them.
    fonts=$root/usr/share/ledsign/fonts
    cp "$fonts/font8x8b.fnt" font4.saved
    head -c 2048 /dev/zero >"$fonts/font8x8b.fnt"
    "$bin/ledsign" preview m.kom --at "2026-01-02 03:04" >blank-font.txt
    cp font4.saved "$fonts/font8x8b.fnt"
    grep -q '#' with-fonts.txt || fail "the preview shows nothing"
    grep -q '#' blank-font.txt && fail "ledsign preview did not use the unpacked fonts"
    true
)

echo "-- the editor from its desktop entry"
# The Exec line's quoting is the shell's double-quote quoting, once the desktop file's own
# escapes (\\ for \) are undone.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/org.ledsign.Editor.desktop" |
    sed 's/\\\\/\\/g')
eval "set -- $exec_line"
home=$scratch/home
mkdir "$home"
HOME=$home PATH=$bin:$PATH QT_QPA_PLATFORM=offscreen "$@" >"$scratch/editor.log" 2>&1 &
editor_pid=$!
sleep 3
kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended: $(cat "$scratch/editor.log")"
[ "$(readlink "/proc/$editor_pid/exe")" = "$(realpath "$bin/ledsign-editor")" ] ||
    fail "the Exec line did not start the unpacked editor"
[ "$(readlink "/proc/$editor_pid/cwd")" = "$home/.local/share/ledsign" ] ||
    fail "the editor did not start in ~/.local/share/ledsign"
kill "$editor_pid"
wait "$editor_pid" 2>/dev/null || true
editor_pid=

echo "-- service unit"
# verify needs the program the unit starts: point ExecStart at the unpacked one.
units=$scratch/units
mkdir "$units"
sed "s|^ExecStart=/usr/bin/ledsign |ExecStart=$bin/ledsign |" \
    "$root/usr/lib/systemd/system/ledsign-watch@.service" >"$units/ledsign-watch@hall.service"
grep -q "^ExecStart=$bin/ledsign watch --config /etc/ledsign/watch/%i.conf$" \
    "$units/ledsign-watch@hall.service" || fail "unexpected ExecStart in the unit"
systemd-analyze verify --man=no "$units/ledsign-watch@hall.service"
echo "-- packages: ${debs[*]}"
