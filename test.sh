#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test. Without arguments it runs every
# stage below in this order (what CI runs); `./test.sh STAGE...` runs the named stages only, each
# building what it needs; `./test.sh --list` names the stages.
#   includes      include layers and cycles, every source listed in CMake
#   format        clang-format over every C++ file
#   build         a plain optimised build and its tests, and the check that its core libraries
#                 hold no writable global data (scripts/check-globals.sh)
#   unprivileged  the serial port and tool tests of the plain build again as an unprivileged user
#   tidy          clang-tidy over the code without Qt
#   asan          the build and tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan          the core and tools under ThreadSanitizer
#   fuzz          the libFuzzer targets, each for a bounded time (FUZZ_SECONDS, default 12)
#   windows       the Windows cross-build (mingw-w64) of ledcore, its tests, the ledsign tool and
#                 the editor (against Qt for Windows, built once: scripts/qt-mingw.sh), with the
#                 tests, the editor's Qt tests and ledsign.exe against the software sign run
#                 under Wine, its ZIP, checked (scripts/zip-tests.sh), and the editor from the
#                 ZIP driven on a virtual X server (app/tests/e2e_wine.sh)
#   packages      the Debian packages of the plain build, checked (scripts/package-tests.sh)
# The builds are the configure presets of CMakePresets.json, each in the folder of its name.
# Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")"

STAGES=(includes format build unprivileged tidy asan tsan fuzz windows packages)
if [ "${1:-}" = --list ]; then
    printf '%s\n' "${STAGES[@]}"
    exit 0
fi
for stage in "$@"; do
    [[ " ${STAGES[*]} " == *" $stage "* ]] ||
        { echo "test.sh: unknown stage '$stage' (./test.sh --list names them)" >&2; exit 2; }
done
[ $# -gt 0 ] && chosen=("$@") || chosen=("${STAGES[@]}")

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

# configure_and_build PRESET: configures the preset's build folder (named as the preset) and
# builds it; quick when it is up to date.
configure_and_build() {
    cmake --preset "$1" "${launcher[@]}" "${@:2}" >/dev/null
    cmake --build "$1" -j "$JOBS"
}

# The plain build serves several stages; it is configured and built once per run.
plain_built=false
plain_build() {
    $plain_built && return 0
    configure_and_build build
    plain_built=true
}

stage_includes() {
    echo "== Include layers and cycles; every source listed in CMake"
    python3 scripts/check_includes_test.py
    python3 scripts/check-includes.py
    python3 scripts/check-sources-listed.py
}

stage_format() {
    echo "== Formatting (clang-format)"
    git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' |
        xargs -0 clang-format --dry-run -Werror
}

stage_build() {
    echo "== Plain build (warnings are errors)"
    plain_build
    ctest --test-dir build --output-on-failure -j "$JOBS"

    echo "== No writable global data in the core libraries"
    scripts/check-globals.sh
}

stage_unprivileged() {
    echo "== Serial port and tool tests as an unprivileged user"
    plain_build
    # Root opens a terminal past its permissions and past its exclusive flag, which hides the
    # very faults every ordinary user meets. The tests, and the software sign they start, run as
    # nobody here; their scratch files go to a directory nobody owns, and ctest's own log to a
    # build subdirectory made writable for it.
    # A suite's cases that bound the wall clock are in its *RealTime twin.
    local tests='^(PosixPort|SerialPortList|CommandLine|DeviceCommands|SignDisplay|SignEmulator|SyncModeOnSign|Watch|MessagesTool|PreviewCommandTest|SendActionsOnSign|MqttPayload|MqttConfigFile|MqttBridge)(RealTime)?\.'
    local scratch
    scratch=$(mktemp -d)
    chown nobody:nogroup "$scratch"
    mkdir -p build/Testing/Temporary
    chmod -R a+rwX build/Testing
    # GoogleTest's lists of test cases are written into the build on ctest's first reading of it
    # after a build (PRE_TEST discovery), which nobody may not do: root reads it first.
    ctest --test-dir build -N >/dev/null
    local status=0
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env TMPDIR="$scratch" HOME="$scratch" \
        ctest --test-dir build --output-on-failure -j "$JOBS" -R "$tests" || status=$?
    rm -rf "$scratch"
    return $status
}

stage_tidy() {
    echo "== clang-tidy (code without Qt)"
    # clang-tidy reads the plain build's compile database. The editor's windows (Qt, all under
    # app/) and generated sources are left out.
    plain_build
    local root
    root=$(pwd -P) # the compile database names files by their real paths
    run-clang-tidy -quiet -j "$JOBS" -p build -header-filter="^$root/" \
        "^$root/(?!app/|build)" >build/clang-tidy.log 2>&1 ||
        { grep -vE '^(clang-tidy|[0-9]+ warnings? generated)' build/clang-tidy.log; return 1; }
}

stage_asan() {
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
    configure_and_build build-asan
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
        ctest --test-dir build-asan --output-on-failure -j "$JOBS"
}

stage_tsan() {
    # Qt is not built for ThreadSanitizer, so the editor's windows are left out.
    echo "== ThreadSanitizer build (core and tools)"
    configure_and_build build-tsan
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir build-tsan --output-on-failure -j "$JOBS"
}

stage_fuzz() {
    echo "== Fuzzing (${FUZZ_SECONDS} s per target)"
    configure_and_build build-fuzz
    local target corpus seeds
    for target in build-fuzz/fuzz/fuzz_*; do
        [ -x "$target" ] || continue
        corpus=$(mktemp -d)
        seeds="fuzz/corpus/$(basename "$target")"
        [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
        echo "-- $(basename "$target")"
        "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" 2>&1 |
            tail -n 12
        rm -rf "$corpus"
    done
}

# zlib, libpng and giflib built for Windows once per machine (scripts/imagelibs-mingw.sh), so
# that ledsign.exe writes PNG and GIF pictures as the Linux tool does.
windows_configure_image_libs() {
    local prefix
    prefix=$(scripts/imagelibs-mingw.sh)
    # The libraries are looked for again: ones found in an earlier prefix (other versions or
    # options) would stay in the cache.
    cmake --preset build-win "${launcher[@]}" -DLEDSIGN_MINGW_PREFIXES="$prefix" \
        -U 'PNG_*' -U 'GIF_*' -U 'ZLIB_*' >/dev/null
}

# The options that add the editor to the Windows build: Qt for Windows, built once per machine
# and cached (scripts/qt-mingw.sh), with the host tools of Debian's Qt.
# Sets editor_options.
windows_editor_options() {
    local qt
    qt=$(scripts/qt-mingw.sh)
    editor_options=(-DLEDSIGN_GUI=ON "-DCMAKE_PREFIX_PATH=$qt" -DQT_HOST_PATH=/usr
                    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
}

# The editor's ZIP under Wine on a virtual X server, with the Windows platform plugin.
windows_editor_e2e() {
    xvfb-run -a -s "-screen 0 1366x768x24" \
        bash app/tests/e2e_wine.sh build-win build build-win/editor-wine.png
}

stage_windows() {
    echo "== Windows cross-build (mingw-w64), tested under Wine"
    # ledsign.exe is tested against the plain build's software sign and ledsign.
    plain_build
    windows_configure_image_libs
    local editor_options
    windows_editor_options
    configure_and_build build-win "${editor_options[@]}"
    (
        . scripts/wine.sh
        wine_from_build build-win
        # A private prefix in the build folder, made once; C.UTF-8 gives Wine an ANSI code page
        # without the Polish letters, so a narrow file call left anywhere fails the tests.
        export WINEPREFIX=$PWD/build-win/wineprefix WINEDEBUG=-all
        export WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8
        trap '"$WINESERVER" -k 2>/dev/null || true' EXIT
        "$WINE" wineboot -i >/dev/null 2>&1
        ctest --test-dir build-win --output-on-failure -j "$JOBS"
        scripts/wine-tool-tests.sh build-win build
        # Again under the Polish code pages (ANSI 1250, OEM 852) that Polish users have.
        WINE_TEST_LOCALE=pl_PL.UTF-8 scripts/wine-tool-tests.sh build-win build
        scripts/zip-tests.sh build-win
        windows_editor_e2e
    )
}

stage_packages() {
    echo "== Debian packages: contents, lintian, validators, unpacked programs, service unit"
    plain_build
    scripts/package-tests.sh build
}

run_start=$SECONDS
for stage in "${chosen[@]}"; do
    stage_start=$SECONDS
    "stage_$stage"
    echo "-- $stage: $((SECONDS - stage_start)) s"
done
echo "== Test stages passed: ${chosen[*]} ($((SECONDS - run_start)) s)"
