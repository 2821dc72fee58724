#!/usr/bin/env bash
# Sourced by scripts/package.sh: pack_editor DIR BUILD adds the editor of a Windows build that
# was configured with Qt (LEDSIGN_GUI on) to the ZIP's folder DIR, laid out as Qt's windeployqt
# lays out a program, since the host's Qt has none:
#   ledsign-editor.exe (stripped), Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll,
#   platforms\qwindows.dll, styles\qwindowsvistastyle.dll, translations\qtbase_pl.qm (the
#   build's copy of Debian's; the editor looks in "translations" beside itself),
#   the compiler's runtime DLLs libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll,
#   the licences of Qt, its third-party parts and the runtime, and a section of README.txt.
# Fails, naming the file, when any of them is missing.

# editor_qt_prefix BUILD: the Qt the build was configured with (Qt6_DIR is PREFIX/lib/cmake/Qt6).
editor_qt_prefix() {
    local qt_dir
    qt_dir=$(sed -n 's/^Qt6_DIR:[A-Z]*=//p' "$1/CMakeCache.txt")
    [ -n "$qt_dir" ] || { echo "package.sh: $1 was configured without Qt" >&2; return 1; }
    (cd "$qt_dir/../../.." && pwd)
}

# editor_copy SOURCE DESTINATION: copies one file, failing with its name when it is missing.
editor_copy() {
    [ -f "$1" ] || { echo "package.sh: no $1" >&2; return 1; }
    mkdir -p "$(dirname "$2")"
    cp "$1" "$2"
}

pack_editor() {
    local dir=$1 build=$2 qt gxx dll
    local exe=$build/app/ledsign-editor.exe
    [ -f "$exe" ] || { echo "package.sh: no $exe; build the Windows tree with Qt first" >&2; return 1; }
    qt=$(editor_qt_prefix "$build") || return 1
    gxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
    local strip=(x86_64-w64-mingw32-strip --strip-unneeded)

    x86_64-w64-mingw32-strip --strip-all -o "$dir/ledsign-editor.exe" "$exe"
    for dll in Qt6Core Qt6Gui Qt6Widgets; do
        editor_copy "$qt/bin/$dll.dll" "$dir/$dll.dll" || return 1
    done
    editor_copy "$qt/plugins/platforms/qwindows.dll" "$dir/platforms/qwindows.dll" || return 1
    editor_copy "$qt/plugins/styles/qwindowsvistastyle.dll" \
        "$dir/styles/qwindowsvistastyle.dll" || return 1
    editor_copy "$build/app/translations/qtbase_pl.qm" "$dir/translations/qtbase_pl.qm" || return 1
    # The runtime the compiler links against, wherever this toolchain keeps it.
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        editor_copy "$(realpath "$("$gxx" -print-file-name="$dll")")" "$dir/$dll" || return 1
    done
    # Symbol tables left in any of the DLLs would only make the download larger.
    find "$dir" -name '*.dll' -exec "${strip[@]}" {} +

    # Qt is under the LGPL 3 (which builds on the GPL 3); Debian's copyright file of the Qt
    # source it was built from names every part and third-party library with its licence. The
    # C++ runtime DLLs are GCC's (GPL 3 with the runtime library exception); winpthreads is
    # MinGW-w64's, whose notices MINGW-W64-RUNTIME-LICENSE.txt already holds.
    local notice
    for notice in /usr/share/common-licenses/LGPL-3:QT-LICENSE-LGPL-3.txt \
        /usr/share/common-licenses/GPL-3:QT-LICENSE-GPL-3.txt \
        /usr/share/doc/libqt6core6/copyright:QT-COPYRIGHT.txt \
        /usr/share/doc/gcc-mingw-w64-base/copyright:GCC-RUNTIME-COPYRIGHT.txt; do
        [ -f "${notice%%:*}" ] || { echo "package.sh: no ${notice%%:*}" >&2; return 1; }
        sed 's/$/\r/' "${notice%%:*}" >"$dir/${notice#*:}"
    done

    local qt_version qt_source
    qt_version=$(sed -n 's/^QT_VERSION=//p' scripts/qt-mingw.sh)
    qt_source=$(sed -n 's/^QT_DEBIAN_VERSION=//p' scripts/qt-mingw.sh)
    sed 's/$/\r/' >>"$dir/README.txt" <<TEXT

The editor
----------

ledsign-editor.exe is the editor of the sign's messages, with its Polish user interface: start
it with a double click. It keeps its settings (vtr.cfg, the COM port; as.cfg) and work files in
the folder it is started in, which for a double click is this folder: unpack the ZIP where the
user may write, for example into Documents, not into Program Files. Choose the sign's COM port
in the "Numer portu COM" box.

A Start-menu entry: right-click ledsign-editor.exe, "Show more options" (Windows 11), "Create
shortcut", and move the shortcut into the folder that Win+R "shell:programs" opens; its
"Start in" field is the folder for vtr.cfg and the work files. "Pin to Start" on
ledsign-editor.exe works as well.

Keep the files together: the editor needs the Qt DLLs (Qt6*.dll), the folders platforms,
styles and translations, the C++ runtime (libstdc++-6.dll, libgcc_s_seh-1.dll,
libwinpthread-1.dll) and the fonts (*.fnt) beside it. ledsign.exe needs none of them.

Qt $qt_version is under the GNU LGPL version 3 (QT-LICENSE-LGPL-3.txt, which refers to
QT-LICENSE-GPL-3.txt); QT-COPYRIGHT.txt names its parts and the third-party libraries built into
it (FreeType, HarfBuzz, libpng, zlib, PCRE2 and others) with their licences. It was built
unchanged from Debian's source package qt6-base $qt_source ("apt-get source
qt6-base=$qt_source" fetches it), and its DLLs may be replaced by other builds of the same
version. GCC-RUNTIME-COPYRIGHT.txt covers libstdc++-6.dll and libgcc_s_seh-1.dll.
TEXT
}

# pack_installer DIR VERSION OUT: the installer (packaging/windows/installer.nsi) of the
# folder DIR, written to OUT; needs makensis (Debian's nsis).
pack_installer() {
    local dir=$1 version=$2 out=$3 list
    command -v makensis >/dev/null || { echo "package.sh: no makensis (Debian's nsis)" >&2; return 1; }
    list=$(mktemp)
    # The uninstaller removes exactly these files, then the folders, deepest first.
    # shellcheck disable=SC2016 # $INSTDIR is the installer's variable
    (
        cd "$dir" || exit 1
        find . -type f | LC_ALL=C sort | while IFS= read -r file; do
            file=${file#./}
            printf 'Delete "$INSTDIR\\%s"\n' "${file//\//\\}"
        done
        find . -mindepth 1 -type d | LC_ALL=C sort -r | while IFS= read -r folder; do
            folder=${folder#./}
            printf 'RMDir "$INSTDIR\\%s"\n' "${folder//\//\\}"
        done
    ) >"$list"
    makensis -INPUTCHARSET UTF8 -V2 -DVERSION="$version" -DSOURCE="$dir" -DOUTFILE="$out" \
        -DICON="$PWD/packaging/windows/ledsign.ico" -DFILE_LIST="$list" \
        packaging/windows/installer.nsi >&2 || { rm -f "$list"; return 1; }
    rm -f "$list"
}
