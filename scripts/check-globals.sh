#!/usr/bin/env bash
# Fails when a core library defines writable global data: state belongs in objects.
#
#   scripts/check-globals.sh [LIBRARY.a ...]
#
# Lists the data symbols of kind B, b, D or d (nm -C --defined-only) of each library and reports
# every one that no line of scripts/globals-allowlist.txt matches. Without arguments it checks
# every static library of the plain build (build/**/lib*.a) except the editor's Qt library.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
allowlist="$here/globals-allowlist.txt"

if [ $# -eq 0 ]; then
    mapfile -t libraries < <(find "$here/../build" -name 'lib*.a' ! -name 'libledgui.a' | sort)
else
    libraries=("$@")
fi
if [ ${#libraries[@]} -eq 0 ]; then
    echo "check-globals: no libraries to check (build first)" >&2
    exit 2
fi

# The allowlist's patterns, without their reasons and comment lines.
patterns=$(mktemp)
trap 'rm -f "$patterns"' EXIT
sed -e 's/[[:space:]]#[[:space:]].*$//' -e '/^[[:space:]]*#/d' -e '/^[[:space:]]*$/d' \
    "$allowlist" >"$patterns"

status=0
for library in "${libraries[@]}"; do
    if [ ! -f "$library" ]; then
        echo "check-globals: $library does not exist" >&2
        exit 2
    fi
    # "address kind name": keep the names of writable data symbols.
    found=$(nm -C --defined-only "$library" | sed -n -E 's/^[0-9a-fA-F]* [BbDd] //p' | sort -u)
    [ -n "$found" ] || continue
    offending=$(grep -v -E -x -f "$patterns" <<<"$found" || true)
    if [ -n "$offending" ]; then
        echo "check-globals: writable global data in $library:" >&2
        sed 's/^/  /' <<<"$offending" >&2
        status=1
    fi
done
if [ $status -eq 0 ]; then
    echo "check-globals: no writable global data beyond the allowlist in ${#libraries[@]} libraries"
fi
exit $status
