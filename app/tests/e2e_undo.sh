#!/usr/bin/env bash
# End-to-end check of undo with real key presses and mouse clicks: the type toggle clicked,
# a message typed and sent (the send empties the grid), then Ctrl+Z and a second send - the
# sign must log the same static message twice. Needs an X display (run it under xvfb-run) and
# xdotool.
#
# usage: e2e_undo.sh EDITOR EMULATOR
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

text=${E2E_TEXT:-Hello}
e2e_start e2e_undo "$1" "$2"

# "Rodzaj komunikatu: przewijany", the only button of the third category of the action panel
# (client x 712, 328 wide): below two headers of 20 pixels, the five font buttons and the four
# insert buttons of 24 pixels, and its own header, it spans panel rows 276 to 299.
click_client $((712 + 164)) 288
# The grid keeps the keyboard: the text goes there without a click into it.
xdotool type --delay 60 "$text"
click_send
expected=$(slot9_request "$text" 1)
wait_for 15 sign_logged 1 "$expected" ||
    fail "the sign did not receive \"$text\" as a static message in slot 9"

# The send emptied the grid; Ctrl+Z brings the sent message back, and it goes out again.
xdotool key --delay 60 ctrl+z
click_send
wait_for 15 sign_logged 2 "$expected" ||
    fail "after Ctrl+Z the second send did not carry \"$text\" again"
echo "e2e_undo: the sign received \"$text\" twice, the second time after Ctrl+Z"
