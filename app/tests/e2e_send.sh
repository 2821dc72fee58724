#!/usr/bin/env bash
# End-to-end check of the editor with real key presses and mouse clicks: a software sign on a
# pseudo-terminal, the editor started in a fresh directory whose vtr.cfg names the sign's link,
# a message typed into the grid, "Wyślij" clicked - and the sign must log the typed bytes in
# slot 9. Needs an X display (run it under xvfb-run) and xdotool.
#
# usage: e2e_send.sh EDITOR EMULATOR
set -euo pipefail

editor=$(realpath "$1")
emulator=$(realpath "$2")
text=${E2E_TEXT:-Hello}

work=$(mktemp -d)
# The editor's remembered window size and folders go to the work directory, not the user's.
export XDG_CONFIG_HOME="$work/config"
emulator_pid=
editor_pid=
cleanup() {
    for pid in $editor_pid $emulator_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "e2e_send: $*" >&2
    for f in sign.log editor.log emulator.err; do
        [ -s "$work/$f" ] && { echo "--- $f" >&2; tail -5 "$work/$f" >&2; }
    done
    exit 1
}

# Polls `condition` (a command) every 0.1 s for up to `seconds`.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ! "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

"$emulator" --quiet --link "$work/sign-tty" --log "$work/sign.log" >/dev/null 2>"$work/emulator.err" &
emulator_pid=$!
wait_for 10 test -e "$work/sign-tty" || fail "the software sign did not start"
printf '%s\n' "$work/sign-tty" >"$work/vtr.cfg"

# On the X display, whatever platform the surrounding tests chose (they run offscreen).
(cd "$work" && QT_QPA_PLATFORM=xcb exec "$editor" 2>"$work/editor.log") &
editor_pid=$!

find_window() {
    kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended early"
    window=$(xdotool search --onlyvisible --name 'Centrum sterowania' 2>/dev/null | head -n 1)
    [ -n "$window" ]
}
wait_for 30 find_window || fail "the editor's window did not appear"

# No window manager: give the window the keyboard focus directly. The grid has the focus
# inside the window from the start.
focus() {
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]
}
wait_for 10 focus || fail "the editor's window did not take the focus"
sleep 0.5 # let the window settle its first paint and the start-up status text

xdotool type --delay 60 "$text"

# The expected request: each typed character in font 4, the rest of the 1024 bytes zero.
expected="cmd=15 slot=9 len=1024 data="
for ((i = 0; i < ${#text}; i++)); do
    expected+=$(printf '04%02X' "'${text:i:1}")
done
for ((i = ${#text} * 2; i < 1024; i++)); do
    expected+=00
done

# "Wyślij" (ToolButton14) stands at (563,73), 134 x 36, in the client area below the menu bar;
# its middle row is hit for any menu bar height from 5 to 39 pixels.
eval "$(xdotool getwindowgeometry --shell "$window")"
click_x=$((X + 563 + 67))
click_y=$((Y + 73 + 18 + 22))
xdotool mousemove --sync "$click_x" "$click_y" click 1

received() {
    grep -qxF "$expected" "$work/sign.log" 2>/dev/null
}
wait_for 15 received || fail "the sign did not receive \"$text\" in slot 9"
echo "e2e_send: the sign received \"$text\" in slot 9"
