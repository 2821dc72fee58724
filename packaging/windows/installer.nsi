; The Windows installer of ledsign, made by scripts/package.sh with makensis from the folder the
; ZIP packs (every file of it, as it is):
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSOURCE=<folder> -DOUTFILE=<setup.exe>
;            -DICON=ledsign.ico -DFILE_LIST=<uninstall.nsh> installer.nsi
; where uninstall.nsh deletes each file of the folder and then each of its subfolders.
; It installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\ledsign: the editor keeps vtr.cfg and its work files in the folder it
; starts in, so its Start-menu entry starts it in Documents\ledsign, which the installer makes
; (and the uninstaller leaves, with the user's files). *.kom and *.kzb open in the editor.
; A 64-bit installer, like the programs it installs.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include FileFunc.nsh

!define APP "ledsign"
!define EDITOR "ledsign-editor.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ledsign"
!define MENU "$SMPROGRAMS\ledsign"

Name "ledsign ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\ledsign"
InstallDirRegKey HKCU "Software\ledsign" "InstallDir"
; The same bytes from the same files: no time stamps of the build machine in the file.
SetDateSave off

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Uruchom edytor"
!define MUI_FINISHPAGE_RUN_FUNCTION StartEditor
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "ledsign"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "ledsign ${VERSION}: instalator"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "MIT licence, see LICENSE.txt"

; In the folder the Start-menu entry starts it in, where it keeps vtr.cfg (Exec starts a program
; in $OUTDIR).
Function StartEditor
    SetOutPath "$DOCUMENTS\ledsign"
    Exec '"$INSTDIR\${EDITOR}"'
FunctionEnd

; register_type EXTENSION PROGID DESCRIPTION
!macro register_type extension progid description
    WriteRegStr HKCU "Software\Classes\${extension}" "" "${progid}"
    WriteRegStr HKCU "Software\Classes\${progid}" "" "${description}"
    WriteRegStr HKCU "Software\Classes\${progid}\DefaultIcon" "" "$INSTDIR\${EDITOR},0"
    WriteRegStr HKCU "Software\Classes\${progid}\shell\open\command" "" \
        '"$INSTDIR\${EDITOR}" "%1"'
!macroend

!macro unregister_type extension progid
    ; The extension stays another program's if it was given to one since.
    ReadRegStr $0 HKCU "Software\Classes\${extension}" ""
    StrCmp $0 "${progid}" 0 +2
    DeleteRegKey HKCU "Software\Classes\${extension}"
    DeleteRegKey HKCU "Software\Classes\${progid}"
!macroend

Section "ledsign"
    SetOutPath "$INSTDIR"
    File /r "${SOURCE}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$DOCUMENTS\ledsign"
    CreateDirectory "${MENU}"
    ; The shortcut's working folder ("Start in") is where vtr.cfg and the work files go.
    SetOutPath "$DOCUMENTS\ledsign"
    CreateShortCut "${MENU}\Edytor linijki LED.lnk" "$INSTDIR\${EDITOR}"
    SetOutPath "$INSTDIR"
    CreateShortCut "${MENU}\Odinstaluj ledsign.lnk" "$INSTDIR\uninstall.exe"

    !insertmacro register_type ".kom" "ledsign.kom" "Komunikat linijki LED"
    !insertmacro register_type ".kzb" "ledsign.kzb" "Zestaw komunikatów linijki LED"
    ; SHCNE_ASSOCCHANGED: Explorer shows the new types at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    WriteRegStr HKCU "Software\ledsign" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "ledsign ${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The ledsign developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EDITOR},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    ; Only what the installer put there; the folder goes only when nothing else is left in it.
    !include "${FILE_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "${MENU}\Edytor linijki LED.lnk"
    Delete "${MENU}\Odinstaluj ledsign.lnk"
    RMDir "${MENU}"
    !insertmacro unregister_type ".kom" "ledsign.kom"
    !insertmacro unregister_type ".kzb" "ledsign.kzb"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\ledsign"
SectionEnd
