#!/usr/bin/env bash
# End-to-end check of the editor with real key presses and mouse clicks: a message typed into
# the grid, "Wyślij" clicked - and the sign must log the typed bytes in slot 9. Needs an X
# display (run it under xvfb-run) and xdotool.
#
# usage: e2e_send.sh EDITOR EMULATOR
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

text=${E2E_TEXT:-Hello}
e2e_start e2e_send "$1" "$2"

xdotool type --delay 60 "$text"
click_send

expected=$(slot9_request "$text")
wait_for 15 sign_logged 1 "$expected" || fail "the sign did not receive \"$text\" in slot 9"
echo "e2e_send: the sign received \"$text\" in slot 9"
