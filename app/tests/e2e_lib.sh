# Shared by the end-to-end scripts (sourced): a software sign on a pseudo-terminal and the
# editor started in a fresh directory whose vtr.cfg names the sign's link, on the X display
# (run under xvfb-run, with xdotool). Sets `work`, `window` and the window's X and Y.
#
# usage in a script: source e2e_lib.sh; e2e_start NAME EDITOR EMULATOR

work=
emulator_pid=
editor_pid=
e2e_name=e2e

e2e_cleanup() {
    for pid in $editor_pid $emulator_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [ -z "$work" ] || rm -rf "$work"
}

fail() {
    echo "$e2e_name: $*" >&2
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

find_window() {
    kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended early"
    window=$(xdotool search --onlyvisible --name 'Centrum sterowania' 2>/dev/null | head -n 1)
    [ -n "$window" ]
}

# No window manager: give the window the keyboard focus directly. The grid has the focus
# inside the window from the start.
focus_window() {
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]
}

e2e_start() {
    e2e_name=$1
    local editor emulator
    editor=$(realpath "$2")
    emulator=$(realpath "$3")
    work=$(mktemp -d)
    trap e2e_cleanup EXIT
    # The editor's remembered window size and folders go to the work directory, not the user's.
    export XDG_CONFIG_HOME="$work/config"

    "$emulator" --quiet --link "$work/sign-tty" --log "$work/sign.log" >/dev/null \
        2>"$work/emulator.err" &
    emulator_pid=$!
    wait_for 10 test -e "$work/sign-tty" || fail "the software sign did not start"
    printf '%s\n' "$work/sign-tty" >"$work/vtr.cfg"

    # On the X display, whatever platform the surrounding tests chose (they run offscreen).
    (cd "$work" && QT_QPA_PLATFORM=xcb exec "$editor" 2>"$work/editor.log") &
    editor_pid=$!

    wait_for 30 find_window || fail "the editor's window did not appear"
    wait_for 10 focus_window || fail "the editor's window did not take the focus"
    sleep 0.5 # let the window settle its first paint and the start-up status text
    eval "$(xdotool getwindowgeometry --shell "$window")"
}

# Clicks point (x, y) of the client area below the menu bar. The menu bar is taken as 22
# pixels high; a target at least 34 pixels tall is hit for any menu bar from 5 to 39.
# (No --sync: it waits for a motion event, which never comes when the pointer already stands
# there, as for a second click on the same button. The X server keeps the move before the
# click anyway.)
click_client() {
    xdotool mousemove $((X + $1)) $((Y + $2 + 22)) sleep 0.1 click 1
}

# "Wyślij" (ToolButton14) stands at (563,73), 134 x 36, in the client area.
click_send() {
    click_client $((563 + 67)) $((73 + 18))
}

# The request that stores `text` in slot 9: each character in font 4, the cells after it and
# the bytes up to the type byte zero, then the type byte `type` (0 scrolling, 1 static).
slot9_request() {
    local text=$1 type=${2:-0} request="cmd=15 slot=9 len=1024 data=" i
    for ((i = 0; i < ${#text}; i++)); do
        request+=$(printf '04%02X' "'${text:i:1}")
    done
    for ((i = ${#text} * 2; i < 1023; i++)); do
        request+=00
    done
    printf '%s%02X\n' "$request" "$type"
}

# Whether the sign has logged `request` `count` times.
sign_logged() {
    [ "$(grep -cxF "$2" "$work/sign.log" 2>/dev/null)" = "$1" ]
}
