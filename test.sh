#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test:
#   1. a plain optimised build and its tests, and the check that its core libraries hold no
#      writable global data (scripts/check-globals.sh),
#   1b. the serial port and tool tests of that build again as an unprivileged user,
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#   3. the libFuzzer targets, each for a bounded time (FUZZ_SECONDS, default 12),
#   4. the Windows cross-build (mingw-w64) of ledcore, its tests and the ledsign tool, with the
#      tests and ledsign.exe against the software sign run under Wine, and its ZIP, checked
#      (scripts/zip-tests.sh),
#   5. the Debian packages of the plain build, checked (scripts/package-tests.sh),
# and the checks of the sources themselves: include layers, formatting, clang-tidy over the code
# without Qt, and the core and tools under ThreadSanitizer.
# Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

JOBS=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-12}
export QT_QPA_PLATFORM=offscreen

# Compiler cache: the six builds below share most sources, and a run after a small change
# compiles only what changed. Paths are taken relative to the checkout, so a fresh clone in
# another folder (as CI makes) still finds what an earlier run compiled.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -Wno-dev "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# ---- Include layers and formatting (before anything is built: they fail fastest) ----
echo "== Include layers and cycles; every source listed in CMake"
stage_start=$SECONDS
python3 scripts/check_includes_test.py
python3 scripts/check-includes.py
python3 scripts/check-sources-listed.py
echo "-- include check: $((SECONDS - stage_start)) s"

echo "== Formatting (clang-format)"
stage_start=$SECONDS
git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' |
    xargs -0 clang-format --dry-run -Werror
echo "-- format check: $((SECONDS - stage_start)) s"
# ---- end include layers and formatting ----

echo "== Plain build (warnings are errors)"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDSIGN_WERROR=ON
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== No writable global data in the core libraries"
scripts/check-globals.sh

echo "== Serial port and tool tests as an unprivileged user"
# Root opens a terminal past its permissions and past its exclusive flag, which hides the very
# faults every ordinary user meets. The tests, and the software sign they start, run as nobody
# here; their scratch files go to a directory nobody owns, and ctest's own log to a build
# subdirectory made writable for it.
UNPRIVILEGED_TESTS='^(PosixPort|SerialPortList|DeviceCommands|SignDisplay|SignEmulator|SyncModeOnSign|Watch|MessagesTool|PreviewCommandTest|SendActionsOnSign)\.'
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chown nobody:nogroup "$scratch"
mkdir -p build/Testing/Temporary
chmod -R a+rwX build/Testing
setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env TMPDIR="$scratch" HOME="$scratch" \
    ctest --test-dir build --output-on-failure -j "$JOBS" -R "$UNPRIVILEGED_TESTS"

# ---- clang-tidy over the code without Qt (the plain build's compile database) ----
echo "== clang-tidy (code without Qt)"
stage_start=$SECONDS
# The editor's windows (Qt, all under app/) and generated sources are left out.
root=$(pwd -P) # the compile database names files by their real paths
run-clang-tidy -quiet -j "$JOBS" -p build -header-filter="^$root/" \
    "^$root/(?!app/|build)" >build/clang-tidy.log 2>&1 ||
    { grep -vE '^(clang-tidy|[0-9]+ warnings? generated)' build/clang-tidy.log; exit 1; }
echo "-- clang-tidy: $((SECONDS - stage_start)) s"
# ---- end clang-tidy ----

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DLEDSIGN_WERROR=ON \
    -DLEDSIGN_SANITIZE=ON -DLEDSIGN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"

# ---- ThreadSanitizer: the core and the tools (Qt is not built for it, so no windows) ----
echo "== ThreadSanitizer build (core and tools)"
stage_start=$SECONDS
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDSIGN_WERROR=ON \
    -DLEDSIGN_TSAN=ON -DLEDSIGN_GUI=OFF -DLEDSIGN_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan --output-on-failure -j "$JOBS"
echo "-- ThreadSanitizer: $((SECONDS - stage_start)) s"
# ---- end ThreadSanitizer ----

echo "== Fuzzing (${FUZZ_SECONDS} s per target)"
CC=clang CXX=clang++ configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLEDSIGN_WERROR=ON -DLEDSIGN_FUZZ=ON -DLEDSIGN_GUI=OFF -DLEDSIGN_TESTS=OFF \
    -DLEDSIGN_BENCH=OFF -DLEDSIGN_TOOLS=OFF
shopt -s nullglob
for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    corpus=$(mktemp -d)
    seeds="fuzz/corpus/$(basename "$target")"
    [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
    echo "-- $(basename "$target")"
    "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
    rm -rf "$corpus"
done

echo "== Windows cross-build (mingw-w64), tested under Wine"
windows_start=$(date +%s)
configure_and_build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DLEDSIGN_WERROR=ON -DLEDSIGN_GUI=OFF -DLEDSIGN_TESTS=ON \
    -DLEDSIGN_BENCH=OFF
(
    # A private prefix in the build folder, made once; C.UTF-8 gives Wine an ANSI code page
    # without the Polish letters, so a narrow file call left anywhere fails the tests.
    export WINEPREFIX=$PWD/build-win/wineprefix WINEDEBUG=-all
    export WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8
    trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    ctest --test-dir build-win --output-on-failure -j "$JOBS"
    scripts/wine-tool-tests.sh build-win build
    scripts/zip-tests.sh build-win
)
echo "-- Windows stage took $(($(date +%s) - windows_start)) s"

# ---- Debian packages ----------------------------------------------------------------------
echo "== Debian packages: contents, lintian, validators, unpacked programs, service unit"
packages_start=$(date +%s)
scripts/package-tests.sh build
echo "-- Debian package stage took $(($(date +%s) - packages_start)) s"
# ---- end of Debian packages ---------------------------------------------------------------

echo "== All test stages passed"
