#!/usr/bin/env bash
# Sourced by scripts/zip-tests.sh, with WINE set (scripts/wine.sh) and the Wine prefix exported.
#
# check_resources EXE VERSION: the program carries its icon, its VERSION and a manifest
# with UTF-8 as the ANSI code page, per-monitor DPI awareness (v2) and Windows 10 support.
# check_editor_files DIR VERSION: the unpacked ZIP folder DIR holds the editor laid out as
# windeployqt would lay it out, every DLL that it or its DLLs load is in DIR or in Wine's
# system folder, the editor carries no symbols and answers --version under Wine.
# check_installer SETUP DIR: see below.
# All call `fail MESSAGE` (zip-tests.sh's) on a fault.

check_resources() {
    local exe=$1 version=$2 name listing manifest
    name=$(basename "$exe")
    listing=$(wrestool --list "$exe")
    grep -q -- '--type=14' <<<"$listing" || fail "$name has no icon"
    grep -q -- '--type=16' <<<"$listing" || fail "$name has no version information"
    # The version's strings are UTF-16.
    wrestool --extract --raw --type=16 "$exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
        tr -c '[:print:]' '\n' | grep -qx "$version" ||
        fail "$name's version information does not say $version"
    manifest=$(wrestool --extract --raw --type=24 "$exe")
    for setting in '<activeCodePage[^>]*>UTF-8</activeCodePage>' \
        '<dpiAwareness[^>]*>PerMonitorV2</dpiAwareness>' \
        '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'; do
        grep -q "$setting" <<<"$manifest" || fail "$name's manifest lacks $setting"
    done
}

# The DLLs a Windows program or DLL imports, lower case.
imported_dlls() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'
}

check_editor_files() {
    local dir=$1 version=$2 file dll system32 got
    for file in ledsign-editor.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
        platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_pl.qm \
        libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
        QT-LICENSE-LGPL-3.txt QT-LICENSE-GPL-3.txt QT-COPYRIGHT.txt GCC-RUNTIME-COPYRIGHT.txt; do
        [ -f "$dir/$file" ] || fail "the ZIP lacks $(basename "$dir")/$file"
    done
    grep -q 'ledsign-editor.exe' "$dir/README.txt" || fail "README.txt does not mention the editor"
    x86_64-w64-mingw32-nm "$dir/ledsign-editor.exe" 2>&1 | grep -q 'no symbols' ||
        fail "ledsign-editor.exe is not stripped"

    system32=$WINEPREFIX/drive_c/windows/system32
    while IFS= read -r file; do
        for dll in $(imported_dlls "$file"); do
            # API sets (api-ms-win-*, ext-ms-win-*) are names the Windows loader maps to its own
            # DLLs; they are no files, in Windows as in a fresh Wine prefix.
            case $dll in api-ms-win-* | ext-ms-win-*) continue ;; esac
            [ -n "$(find "$dir" -maxdepth 1 -iname "$dll")" ] ||
                [ -n "$(find "$system32" -maxdepth 1 -iname "$dll")" ] ||
                fail "$(basename "$file") loads $dll, which is neither in the ZIP nor in Windows"
        done
    done < <(find "$dir" -iname '*.exe' -o -iname '*.dll')

    got=$("$WINE" "$dir/ledsign-editor.exe" --version | tr -d '\r')
    [ "$got" = "ledsign-editor $version" ] ||
        fail "the packed ledsign-editor.exe --version printed: $got"
    echo "ledsign-editor.exe and its DLLs: $(du -sk "$dir" | cut -f1) KiB unpacked" >&2
}

# wine_folder VARIABLE: the Windows path of a folder variable (LOCALAPPDATA, APPDATA) in Wine.
wine_folder() {
    "$WINE" cmd /c echo "%$1%" | tr -d '\r'
}

# wine_key_exists KEY [VALUE]: whether the registry key (with that default value) is there.
wine_key_exists() {
    local listing
    listing=$("$WINE" reg query "$1" 2>/dev/null | tr -d '\r') || return 1
    [ -z "${2:-}" ] || grep -qF "$2" <<<"$listing"
}

# check_installer SETUP DIR: the installer, run silently, installs every file of the unpacked
# ZIP folder DIR, the Start-menu entries and the file types; its uninstaller, run silently,
# takes them all away again, but not a file the user made in the program's folder.
check_installer() {
    local setup=$1 dir=$2 install menu file
    "$WINE" "$setup" /S || fail "$(basename "$setup") /S failed"
    local windows_install
    windows_install="$(wine_folder LOCALAPPDATA)\\Programs\\ledsign"
    install=$("$WINE" winepath -u "$windows_install")
    menu=$("$WINE" winepath -u "$(wine_folder APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\ledsign")
    while IFS= read -r file; do
        cmp -s "$dir/$file" "$install/$file" || fail "the installer did not install $file"
    done < <(cd "$dir" && find . -type f)
    [ -f "$menu/Edytor linijki LED.lnk" ] || fail "the installer made no Start-menu entry"
    wine_key_exists 'HKCU\Software\Classes\.kom' ledsign.kom || fail "*.kom is not the editor's"
    wine_key_exists 'HKCU\Software\Classes\.kzb' ledsign.kzb || fail "*.kzb is not the editor's"
    wine_key_exists 'HKCU\Software\Classes\ledsign.kzb\shell\open\command' ledsign-editor.exe ||
        fail "a *.kzb file does not open in the editor"

    echo COM3 >"$install/vtr.cfg"
    # _?= runs the uninstaller in place and waits for it (it cannot then remove itself).
    "$WINE" "$install/uninstall.exe" /S "_?=$windows_install" || fail "the uninstaller failed"
    [ "$(cd "$install" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = "./uninstall.exe ./vtr.cfg " ] ||
        fail "the uninstaller left $(cd "$install" && find . | tr '\n' ' ')"
    [ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entries"
    ! wine_key_exists 'HKCU\Software\Classes\.kom' || fail "the uninstaller left the *.kom type"
    ! wine_key_exists 'HKCU\Software\Classes\ledsign.kzb' || fail "the uninstaller left ledsign.kzb"
    rm -rf "$install"
}
