#!/usr/bin/env bash
# Soak run of the libFuzzer targets: builds the fuzz tree (configured as test.sh's fuzz stage
# does, with clang) when needed, runs every fuzz/fuzz_*.cpp target for MINUTES each, one after
# the other, and ends with each target's executions per second and total executions.
#
#   scripts/fuzz-long.sh MINUTES
#
# Seeds come from fuzz/corpus/<target>/; the corpus a run grows is kept in a scratch directory
# and thrown away, so the repository's seeds stay small. A target that finds a crash leaves its
# reproducer (crash-*, leak-*, timeout-*) in the current directory and makes the script fail
# after the other targets have run. JOBS sets the build's parallelism (default: all cores).
set -euo pipefail

if [ $# -ne 1 ] || ! [[ $1 =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 MINUTES   (whole minutes per fuzz target, at least 1)" >&2
    exit 2
fi
minutes=$1
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
jobs=${JOBS:-$(nproc)}

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -Wno-dev \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDSIGN_WERROR=ON -DLEDSIGN_FUZZ=ON \
        -DLEDSIGN_GUI=OFF -DLEDSIGN_TESTS=OFF -DLEDSIGN_BENCH=OFF -DLEDSIGN_TOOLS=OFF >/dev/null
fi
cmake --build "$build" -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
summary="$scratch/summary"
: >"$summary"
failed=0
shopt -s nullglob
for target in "$build"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$scratch/corpus-$name"
    mkdir -p "$corpus"
    seeds="$root/fuzz/corpus/$name"
    [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
    echo "-- $name: $minutes min"
    log="$scratch/$name.log"
    status=0
    "$target" -max_total_time=$((minutes * 60)) -print_final_stats=1 "$corpus" >"$log" 2>&1 ||
        status=$?
    tail -n 12 "$log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    verdict=ok
    if [ "$status" -ne 0 ]; then
        verdict="FAILED ($status)"
        failed=1
    fi
    printf '%-28s %12s %14s  %s\n' "$name" "${rate:-?}" "${runs:-?}" "$verdict" >>"$summary"
done

echo
echo "== Fuzz soak, $minutes min per target"
printf '%-28s %12s %14s  %s\n' target "runs/s" "total runs" result
cat "$summary"
exit "$failed"
