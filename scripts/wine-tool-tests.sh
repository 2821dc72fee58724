#!/usr/bin/env bash
# ledsign.exe under Wine against the software sign (ledsign-emulator), through Wine COM ports:
# every device command, the failure paths of the port, `watch`, `ports`, and Unicode file
# names and output. Each device check compares the sign's request log, i.e. the bytes that
# really reached the sign, with the message files sent.
#
# Usage: scripts/wine-tool-tests.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
# The Windows build holds ledsign.exe and the Wine prefix (WINEPREFIX, made by the caller with
# wineboot); the native build holds ledsign-emulator and the native ledsign, whose files and
# output are the reference. Exit status 0 when every check passed.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WINDOWS_BUILD_DIR NATIVE_BUILD_DIR" >&2; exit 2; }
win_build=$(realpath "$1")
native_build=$(realpath "$2")
exe=$win_build/tools/ledsign.exe
emulator=$native_build/tools/sign-emulator/ledsign-emulator
native_ledsign=$native_build/tools/ledsign

# The locale Wine takes its code pages from: C.UTF-8 by default, an ANSI code page without the
# Polish letters, so a narrow Windows call left on any path shows; WINE_TEST_LOCALE=pl_PL.UTF-8
# gives the Polish ones (ANSI 1250, OEM 852), under which the same narrow call would work on
# Polish names and a conversion made twice shows instead. A locale the system lacks is compiled
# into a private folder (LOCPATH).
locale_name=${WINE_TEST_LOCALE:-C.UTF-8}
locale_dir=""
if LC_ALL=$locale_name locale 2>&1 | grep -q 'Cannot set'; then
    locale_dir=$(mktemp -d)
    localedef -i "${locale_name%%.*}" -f UTF-8 "$locale_dir/$locale_name" ||
        { echo "cannot compile the locale $locale_name (package locales)" >&2; exit 1; }
    export LOCPATH=$locale_dir
fi
# (bash itself cannot take a locale from LOCPATH and would warn.)
{ export LC_ALL=$locale_name LANG=$locale_name; } 2>/dev/null
echo "-- Wine under the locale $locale_name"
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
. "$(dirname "$0")/wine.sh"
wine_from_build "$win_build"

work=$(mktemp -d)
emulator_pids=()
cleanup() {
    for pid in "${emulator_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$WINESERVER" -k 2>/dev/null || true
    [ -n "$locale_dir" ] && rm -rf "$locale_dir"
    [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
check() { # check NAME COMMAND... : passes when the command succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# sign_shows_data_line DATA_FILE: waits up to 10 s for the software sign on COM12 to log the
# data file's first line as watch sends it (font 3, static: the text after the line's 4th byte).
sign_shows_data_line() {
    local line text expected
    line=$(head -n 1 "$1")
    text=${line:4}
    expected="cmd=15 slot=9 len=1024 data=$(printf '%s' "$text" | od -An -tx1 -v |
        tr -d ' \n' | tr 'a-f' 'A-F' | sed 's/../03&/g')"
    for _ in $(seq 100); do
        grep -q "^${expected}" sign12.log && return 0
        sleep 0.1
    done
    return 1
}

# ledsign.exe with the arguments; stdout without the CR of the Windows line ends.
ledsign_exe() { "$WINE" "$exe" "$@" | tr -d '\r'; }

hex() { od -An -tx1 -v "$1" | tr -d ' \n' | tr 'a-f' 'A-F'; }
request() { # request CMD SLOT FILE: the log line of a message request
    echo "cmd=$1 slot=$2 len=$(stat -c %s "$3") data=$(hex "$3")"
}

# start_sign NAME [OPTIONS...]: a software sign whose pseudo-terminal is reachable as
# $work/NAME and whose request log is $work/NAME.log.
start_sign() {
    local name=$1
    shift
    "$emulator" --quiet --link "$work/$name" --log "$work/$name.log" "$@" >/dev/null &
    emulator_pids+=($!)
    for _ in $(seq 100); do [ -e "$work/$name" ] && return 0; sleep 0.05; done
    echo "software sign $name did not start" >&2
    exit 1
}

start_sign sign5
start_sign sign7 --silent
start_sign sign12

# Wine's mount manager makes dosdevices/comN from HKLM\Software\Wine\Ports when Wine starts,
# so the keys are written first and the server restarted. COM9 stays unmapped.
"$WINESERVER" -k 2>/dev/null || true
for port in 5 7 12; do
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$work/sign$port" /f >/dev/null
done
"$WINESERVER" -k
"$WINESERVER" -p # stays up between the commands: each start costs less

# Messages to send, made by the native tool.
cd "$work"
"$native_ledsign" compose -o one.kom "Wiadomość {time}" >/dev/null
for n in 1 2 3 4 5 6 7 8; do
    "$native_ledsign" compose --font $((n % 5 + 1)) -o "set$n.kom" "Komunikat $n" >/dev/null
done
cat set1.kom set2.kom set3.kom set4.kom set5.kom set6.kom set7.kom set8.kom > set.kzb

# sends NAME LOG EXPECTED ARGS...: `ledsign.exe ARGS` succeeds and the last lines of the sign's
# LOG are EXPECTED (as many lines as EXPECTED has).
sends() {
    local name=$1 log=$2 expected=$3
    shift 3
    if ledsign_exe "$@" >/dev/null &&
        [ "$(tail -n "$(echo "$expected" | wc -l)" "$log")" = "$expected" ]; then
        pass "$name"
    else
        fail "$name"
    fi
}

echo "-- device commands through COM5"
ledsign_exe ports > ports.out
check "ports lists the mapped COM5 and COM12" \
    bash -c 'grep -q "^COM5 " ports.out && grep -q "^COM12 " ports.out'
sends "send --port COM5 reaches slot 9 byte for byte" sign5.log "$(request 15 9 one.kom)" \
    send --port COM5 one.kom
# Slots 1..8 are stored with commands 0x01..0x08.
sends "send --slot 3 reaches slot 3" sign5.log "$(request 03 3 one.kom)" \
    send --port COM5 --slot 3 one.kom
sends "send-set stores the eight messages in slots 1..8" sign5.log \
    "$(for n in 1 2 3 4 5 6 7 8; do request "0$n" "$n" "set$n.kom"; done)" \
    send-set --port COM5 set.kzb
# Year, month, day and hour of this computer's clock (a run across the hour may fail once).
today=$(printf '%02X%02X%02X%02X' $((10#$(date +%y))) $((10#$(date +%m))) $((10#$(date +%d))) \
    $((10#$(date +%H))))
if ledsign_exe sync-clock --port COM5 >/dev/null &&
    tail -n 1 sign5.log | grep -q "^cmd=11 slot=0 len=6 data=$today"; then
    pass "sync-clock sets the sign's clock to this computer's"
else
    fail "sync-clock sets the sign's clock to this computer's"
fi
sends "show 4 runs slot 4" sign5.log "cmd=19 slot=4 len=0 data=" show --port COM5 4

echo "-- failures of the port"
start_ms=$(date +%s%3N)
if ledsign_exe send --port COM7 one.kom >/dev/null 2>&1; then
    fail "a silent sign fails"
else
    elapsed_ms=$(($(date +%s%3N) - start_ms))
    echo "     silent sign: gave up after ${elapsed_ms} ms"
    check "a silent sign fails after about 5.1 s" [ $elapsed_ms -ge 5000 -a $elapsed_ms -lt 8000 ]
fi
if ledsign_exe send --port COM9 one.kom >missing.out 2>&1; then
    fail "a port that does not exist fails"
else
    check "a port that does not exist fails and is named" grep -q 'COM9' missing.out
fi
# The system's own reason, in the user's language (Polish under pl_PL), is UTF-8 like the rest.
ledsign_exe send --trace --port COM9 one.kom >missing-trace.out 2>&1 || true
check "the system's reason for the missing port is given" grep -q 'system: .*(code ' missing-trace.out
check "and is UTF-8" iconv -f UTF-8 -t UTF-8 -o /dev/null missing-trace.out

echo "-- COM12 (device namespace), watch, a port held by another process"
sends "send --port COM12 reaches the sign" sign12.log "$(request 15 9 one.kom)" \
    send --port COM12 one.kom
printf '0 3 Dane %s\n' "$RANDOM" > dane.txt
"$WINE" "$exe" watch --port COM12 --interval 0.2 dane.txt >watch.out 2>&1 &
watch_pid=$!
check "watch sends the data file's line" sign_shows_data_line dane.txt
if ledsign_exe send --port COM12 --slot 2 one.kom >held.out 2>&1; then
    fail "a port held by watch cannot be opened by a second ledsign.exe"
else
    check "a port held by watch cannot be opened by a second ledsign.exe" \
        bash -c '! grep -q "^cmd=02 " sign12.log'
    check "the port is said to be in use by the watching ledsign.exe" \
        grep -q 'COM12: in use by ledsign.exe (pid [0-9]*)' held.out
fi
kill "$watch_pid" 2>/dev/null || true
wait "$watch_pid" 2>/dev/null || true

echo "-- Unicode arguments, file names and output"
polish_text='Zażółć gęślą jaźń {time}'
ledsign_exe compose -o 'zażółć.kom' "$polish_text" > compose.out
"$native_ledsign" compose -o native.kom "$polish_text" >/dev/null
check "compose writes zażółć.kom with the message of the native tool" cmp -s 'zażółć.kom' native.kom
check "compose names the file in UTF-8" grep -q '^zażółć.kom: ' compose.out
ledsign_exe dump 'zażółć.kom' > dump.out
"$native_ledsign" dump native.kom > native-dump.out
check "dump prints the cells as the native tool does" cmp -s dump.out native-dump.out
check "dump shows the Polish letters" grep -q ' ż$' dump.out

echo "-- port names as Windows takes them"
sends "send --port COM12: (with the colon Windows accepts) reaches COM12" sign12.log \
    "$(request 15 9 one.kom)" send --port COM12: one.kom
printf '[kolon]\nport = COM5:\n' >colon.conf
sends "a signs file's port COM5: reaches COM5" sign5.log "$(request 15 9 one.kom)" \
    send --signs-file colon.conf --sign kolon one.kom

# A Windows path for a file of $work (Wine's drive Z: is the root).
windows_path() { echo "Z:${1//\//\\}"; }

echo "-- a folder with Polish letters: fonts beside ledsign.exe, watch --config"
polish_dir="$work/Łódź żółw"
mkdir -p "$polish_dir" "$work/fontless"
cp "$exe" "$polish_dir/"
# Fonts whose every dot is lit: a picture drawn with them differs from the built-in fonts'.
for font in font5x7.fnt font8x7wj.fnt font8x8thin.fnt font8x8b.fnt font8x8atari.fnt; do
    head -c 2048 /dev/zero | tr '\0' '\377' >"$polish_dir/$font"
done
"$native_ledsign" compose -o "$work/fontless/strip.kom" "Łódź 12:34" >/dev/null
(cd "$polish_dir" && "$native_ledsign" preview --at "2024-05-06 07:08" --steps 80 \
    --png "$work/native-lit.png" "$work/fontless/strip.kom" >/dev/null)
(cd "$work/fontless" && "$native_ledsign" preview --at "2024-05-06 07:08" --steps 80 \
    --png "$work/native-builtin.png" --gif "$work/native.gif" strip.kom >/dev/null)
(cd "$work/fontless" && "$WINE" "$polish_dir/ledsign.exe" preview --at "2024-05-06 07:08" \
    --steps 80 --png lit.png strip.kom >/dev/null 2>fonts.err)
check "(the lit fonts change the picture)" bash -c '! cmp -s native-lit.png native-builtin.png'
check "the fonts beside ledsign.exe in a Polish folder are read" \
    cmp -s "$work/fontless/lit.png" "$work/native-lit.png"
check "no font file is reported skipped" bash -c '! [ -s fontless/fonts.err ]'

mkdir -p "$polish_dir/dane"
printf '0 3 Konfiguracja %s\n' "$RANDOM" >"$polish_dir/dane/źródło.txt"
printf 'port = COM12\ninterval = 0.2\ndata-file = %s\n' \
    "$(windows_path "$polish_dir/dane/źródło.txt")" >"$polish_dir/konfiguracja.conf"
"$WINE" "$exe" watch --config "$(windows_path "$polish_dir/konfiguracja.conf")" \
    >watch-config.out 2>&1 &
watch_pid=$!
check "watch --config with a Polish absolute path sends its data file's line" \
    sign_shows_data_line "$polish_dir/dane/źródło.txt"
kill "$watch_pid" 2>/dev/null || true
wait "$watch_pid" 2>/dev/null || true

echo "-- PNG and GIF pictures"
(cd "$work/fontless" && ledsign_exe preview --at "2024-05-06 07:08" --steps 80 --png builtin.png \
    --gif strip.gif strip.kom >/dev/null)
check "preview --png writes a PNG" \
    bash -c '[ "$(head -c 8 fontless/builtin.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ]'
check "the PNG is the native tool's, byte for byte" cmp -s fontless/builtin.png native-builtin.png
check "preview --gif writes a GIF89a" bash -c '[ "$(head -c 6 fontless/strip.gif)" = GIF89a ]'
check "the GIF is the native tool's, byte for byte" cmp -s fontless/strip.gif native.gif

echo "-- console output"
# Under a terminal Wine gives the program a console: the text reaches it as UTF-16 and comes
# out as UTF-8 once, not converted twice.
script -qec "$WINE $exe dump zażółć.kom" /dev/null </dev/null >console.out 2>&1 || true
check "Polish letters reach a console unchanged" grep -q 'ż' console.out
check "and are not converted twice" bash -c '! grep -q "Å" console.out'
# Without arguments in a console of its own (as after a double-click) the usage waits for a
# key; the key comes through the terminal. Run by another program, it does not wait.
printf x | timeout 60 script -qec "$WINE $exe" /dev/null >pause.out 2>&1 || true
check "alone in its console without arguments, it shows the usage and waits for a key" \
    bash -c 'grep -q "Usage: ledsign" pause.out && grep -q "Press any key" pause.out'
timeout 60 "$WINE" "$exe" </dev/null >nopause.out 2>&1 || true
check "started by another program, it does not wait" \
    bash -c 'grep -q "^Usage: ledsign" nopause.out && ! grep -q "Press any key" nopause.out'

"$WINESERVER" -k
if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all Wine tool checks passed"
