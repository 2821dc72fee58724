#!/usr/bin/env bash
# Installs what is missing, builds, starts a software sign (ledsign-emulator) on a
# pseudo-terminal and the editor beside it. The editor starts in demo/ (git-ignored), whose
# vtr.cfg names the emulator's link, so "Wyślij" talks to the software sign. Closing the editor
# stops the emulator too.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}"

cmake -S . -B build -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDSIGN_TESTS=OFF \
    -DLEDSIGN_BENCH=OFF -DLEDSIGN_GUI=ON >/dev/null
cmake --build build -j "$(nproc)"

root=$PWD
editor=$root/build/app/ledsign-editor
emulator=$root/build/tools/sign-emulator/ledsign-emulator
if [ ! -x "$editor" ]; then
    echo "The editor was not built (Qt 6 missing?); the command-line tool is ready:"
    exec build/tools/ledsign --help
fi

mkdir -p demo
link=$root/demo/sign-tty

emulator_pid=
stop_emulator() {
    if [ -n "$emulator_pid" ]; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
    rm -f "$link"
}
trap stop_emulator EXIT INT TERM

if [ -x "$emulator" ]; then
    rm -f "$link"
    # The software sign plays what it shows on this terminal ('#' lit dots).
    "$emulator" --link "$link" --log "$root/demo/emulator.log" 2>"$root/demo/emulator.err" &
    emulator_pid=$!
    for _ in $(seq 50); do
        [ -e "$link" ] && break
        sleep 0.1
    done
    if [ -e "$link" ]; then
        printf '%s\n' "$link" >demo/vtr.cfg
        echo "Software sign on $link (requests logged in demo/emulator.log)."
    else
        echo "The software sign did not start; see demo/emulator.err." >&2
    fi
else
    echo "ledsign-emulator is not built; the editor starts without a sign." >&2
fi

cd demo
# The editor's own diagnostics go to a file so that they do not break the sign's drawing.
"$editor" 2>"$root/demo/editor.log"
