#!/usr/bin/env bash
# The tools against serial servers we did not write, on the loopback interface: ser2net 4 in
# raw and RFC 2217 mode and socat, each exposing the software sign's pseudo-terminal.
#   network_servers.sh LEDSIGN EMULATOR
# Exits 77 (skipped) when ser2net or socat is missing. Every process it starts is stopped on
# every path.
set -euo pipefail
LEDSIGN=$1
EMULATOR=$2
for tool in ser2net socat ss; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

dir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*" >&2
    for f in "$dir"/*.out "$dir"/sign.log; do
        [ -s "$f" ] && { echo "--- $(basename "$f"):"; tail -n 5 "$f" | cut -c 1-200; } >&2
    done
    exit 1
}

# A port no socket uses now, below the range the system hands out to clients (so that a
# connection made by another test meanwhile cannot take it).
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 12000))
        [ -z "$(ss -Htan "sport = :$port")" ] && break
    done
    echo "$port"
}

# Waits (at most 10 s) until something listens on 127.0.0.1:$1.
wait_listening() {
    for _ in $(seq 100); do
        [ -n "$(ss -Hltn "sport = :$1")" ] && return 0
        sleep 0.1
    done
    fail "nothing listens on port $1"
}

# Waits (at most $2 s) until the sign's log has $1 lines.
wait_log_lines() {
    for _ in $(seq $(($2 * 10))); do
        [ "$(wc -l < "$dir/sign.log")" -ge "$1" ] && return 0
        sleep 0.1
    done
    fail "the sign logged $(wc -l < "$dir/sign.log") requests, expected $1"
}

"$EMULATOR" --quiet --log "$dir/sign.log" > "$dir/sign.out" &
pids+=($!)
for _ in $(seq 50); do
    [ -s "$dir/sign.out" ] && break
    sleep 0.1
done
pty=$(head -n 1 "$dir/sign.out")
[ -e "$pty" ] || fail "the emulator gave no terminal"

# A message whose every byte must be escaped on the line and doubled under Telnet, and one of
# escape bytes.
printf '\xff\xf0%.0s' $(seq 512) > "$dir/ff-f0.kom"
expected=$(printf 'FFF0%.0s' $(seq 512))

# Sends the message through $1 and checks the sign stored exactly it.
check_frames() {
    local port=$1 before
    before=$(wc -l < "$dir/sign.log")
    "$LEDSIGN" send --port "$port" "$dir/ff-f0.kom" > "$dir/send.out" 2>&1 ||
        fail "send through $port: $(cat "$dir/send.out")"
    wait_log_lines $((before + 1)) 5
    sed -n "$((before + 1))p" "$dir/sign.log" | grep -q "^cmd=15 slot=9 len=1024 data=$expected\$" ||
        fail "the sign did not receive the exact message through $port"
    echo "ok: exact frames through $port"
}

# ser2net, raw and RFC 2217.
for mode in raw rfc2217; do
    port=$(free_port)
    accepter="tcp,127.0.0.1,$port"
    scheme=tcp
    if [ "$mode" = rfc2217 ]; then
        accepter="telnet(rfc2217),$accepter"
        scheme=rfc2217
    fi
    cat > "$dir/ser2net-$mode.yaml" <<YAML
connection: &sign
  accepter: $accepter
  connector: serialdev,$pty,9600n81,local
YAML
    ser2net -n -u -c "$dir/ser2net-$mode.yaml" -P "$dir/ser2net-$mode.pid" > "$dir/ser2net-$mode.out" 2>&1 &
    pids+=($!)
    wait_listening "$port"
    check_frames "$scheme://127.0.0.1:$port"
    if [ "$mode" = rfc2217 ]; then
        "$LEDSIGN" sync-clock --trace --port "$scheme://127.0.0.1:$port" > /dev/null 2> "$dir/trace"
        grep -q "binary transfer agreed both ways" "$dir/trace" ||
            fail "the trace does not show the negotiation"
        echo "ok: the trace shows the negotiation"
    fi
done

# socat: one connection per run, so stopping and starting it is a server restart.
socat_port=$(free_port)
socat_pid=
# Starts socat once the previous one has ended: a socat whose client has gone still moves
# bytes for a moment, and two of them on the terminal would take each other's replies.
start_socat() {
    [ -n "$socat_pid" ] && { wait "$socat_pid" 2>/dev/null || true; }
    socat "TCP-LISTEN:$socat_port,bind=127.0.0.1,reuseaddr" "FILE:$pty,raw,echo=0" &
    socat_pid=$!
    pids+=($socat_pid)
    wait_listening "$socat_port"
}
start_socat
check_frames "tcp://127.0.0.1:$socat_port"
start_socat # the previous one ended with its client

# Nothing listening: refused, at once.
closed=$(free_port)
if "$LEDSIGN" show --port "tcp://127.0.0.1:$closed" 1 > "$dir/refused.out" 2>&1; then
    fail "a port nobody listens on was reported as success"
fi
grep -q "connection refused" "$dir/refused.out" || fail "refusal not reported: $(cat "$dir/refused.out")"
echo "ok: refused connection"

# watch keeps going across a restart of the server.
echo "1 1 BEFORE" > "$dir/data.txt"
before=$(wc -l < "$dir/sign.log")
"$LEDSIGN" watch --port "tcp://127.0.0.1:$socat_port" --interval 0.2 "$dir/data.txt" \
    > "$dir/watch.out" 2>&1 &
watch_pid=$!
pids+=($watch_pid)
wait_log_lines $((before + 2)) 10 # the clock, then the message
kill "$socat_pid"
start_socat
echo "1 1 AFTER THE RESTART" > "$dir/data.txt"
wait_log_lines $((before + 3)) 10
tail -n 1 "$dir/sign.log" | grep -q "^cmd=15 " || fail "watch did not send after the restart"
kill -0 "$watch_pid" || fail "watch ended"
echo "ok: watch across a server restart"
