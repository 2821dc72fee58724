#!/usr/bin/env bash
# The Windows editor end to end under Wine, through Qt's Windows platform plugin on an X display
# (run it under xvfb-run): the ZIP of the Windows build unpacked into a folder whose path has
# Polish letters and spaces, the editor started there, the port typed into its port box (which
# writes vtr.cfg in that folder), "Zażółć" typed into the grid on a Polish keyboard and sent with
# Ctrl+Enter through the Wine COM port COM5 to the software sign, whose log must show the code
# page 1250 bytes in slot 9. A screenshot of the window with the typed text is kept.
#
# Usage: e2e_wine.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR [SCREENSHOT.png]
# The Windows build is configured with Qt and holds the Wine prefix test.sh makes; the native
# build holds the software sign. Needs xdotool, setxkbmap, xwd and netpbm (xwdtopnm, pnmtopng).
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 WINDOWS_BUILD_DIR NATIVE_BUILD_DIR [SCREENSHOT.png]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
win_build=$(realpath "$1")
emulator=$(realpath "$2")/tools/sign-emulator/ledsign-emulator
screenshot=${3:-$win_build/editor-wine.png}
source "$here/e2e_lib.sh" # wait_for, fail (which shows the logs in $work)
# shellcheck disable=SC2034 # read by fail
e2e_name=e2e_wine
. "$here/../../scripts/wine.sh"
wine_from_build "$win_build"
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=

work=$(mktemp -d)
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    [ -z "$emulator_pid" ] || kill "$emulator_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

zip=$("$here/../../scripts/package.sh" "$win_build")
folder="$work/Zażółć gęślą/Linijka LED"
mkdir -p "$folder"
(cd "$work" && cmake -E tar xf "$zip")
mv "$work/$(basename "$zip" .zip)"/* "$folder"/
[ -f "$folder/ledsign-editor.exe" ] || fail "the ZIP holds no ledsign-editor.exe"

"$emulator" --quiet --link "$work/sign" --log "$work/sign.log" >/dev/null 2>"$work/emulator.err" &
emulator_pid=$!
wait_for 10 test -e "$work/sign" || fail "the software sign did not start"
# Wine maps COM ports from the registry when its server starts.
"$WINESERVER" -k 2>/dev/null || true
"$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$work/sign" /f >/dev/null
"$WINESERVER" -k 2>/dev/null || true
# A port that leads nowhere, for the editor to start with: the one typed later must be saved.
printf 'COM9\n' >"$folder/vtr.cfg"

# Wine takes the keyboard layout from the X server when it starts: a Polish one, on which
# AltGr gives the Polish letters as on a Windows computer.
setxkbmap pl
# The editor on Qt's Windows platform plugin, not the offscreen one the other tests use.
(cd "$folder" && exec env -u QT_QPA_PLATFORM "$WINE" ledsign-editor.exe >"$work/editor.log" 2>&1) &
editor_pid=$!
window=
find_wine_window() {
    kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended early"
    window=$(xdotool search --onlyvisible --name 'Centrum sterowania' 2>/dev/null | head -n 1)
    [ -n "$window" ]
}
wait_for 60 find_wine_window || fail "the editor's window did not appear"
wait_for 10 focus_window || fail "the editor's window did not take the focus"
sleep 1 # the first paint and the start-up status text
eval "$(xdotool getwindowgeometry --shell "$window")"

# The port box's text at (580, 151) of the client area, below the menu bar.
click_client 600 160
xdotool key --delay 80 ctrl+a
xdotool key --delay 80 C O M 5
xdotool key Return # hands the keys back to the grid
wait_for 10 grep -qx $'COM5\r\\?' "$folder/vtr.cfg" ||
    fail "vtr.cfg in the start folder does not name COM5: $(od -c "$folder/vtr.cfg" | head -2)"

# Key by key by their key symbols: with `xdotool type`, Wine drops most of the letters that
# need AltGr.
text=Zażółć
xdotool key --delay 150 Z a zabovedot oacute lstroke cacute
sleep 1
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot"
xdotool key ctrl+Return

# The request that stores the text in slot 9: each character in font 4 as its code page 1250
# byte, the cells after it and the bytes up to the type byte zero, then the type byte 0.
expected="cmd=15 slot=9 len=1024 data="
count=0
for byte in $(printf '%s' "$text" | iconv -f UTF-8 -t CP1250 | od -An -tx1 -v | tr 'a-f' 'A-F'); do
    expected+="04$byte"
    count=$((count + 1))
done
for ((i = count * 2; i < 1023; i++)); do expected+=00; done
expected+=00
wait_for 20 grep -qxF "$expected" "$work/sign.log" ||
    fail "the sign did not receive \"$text\" in code page 1250 in slot 9 (got: $(cut -c1-60 "$work/sign.log" | tail -n 3))"
echo "e2e_wine: the sign received \"$text\" (code page 1250) through COM5 from the editor in \"$folder\"; screenshot $screenshot"
