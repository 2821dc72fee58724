# Sourced by the scripts that run Windows programs: wine_from_build WINDOWS_BUILD_DIR sets WINE
# and WINESERVER to the Wine that the toolchain file found (LEDSIGN_WINE in the build's cache).
# The cache rather than a second search here: the tests ctest runs under Wine and the programs
# these scripts run then use one and the same Wine, wherever it is installed.
wine_from_build() {
    local cache=$1/CMakeCache.txt
    WINE=$(sed -n 's/^LEDSIGN_WINE:[A-Z]*=//p' "$cache" 2>/dev/null || true)
    if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
        echo "no Wine found for $1: install wine64 and configure it again (cmake --preset build-win)" >&2
        return 1
    fi
    # wineserver lies beside wine64 in Debian's /usr/lib/wine; elsewhere it is on the PATH.
    WINESERVER=$(dirname "$WINE")/wineserver
    [ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver) || {
        echo "no wineserver beside $WINE nor on the PATH" >&2
        return 1
    }
}
