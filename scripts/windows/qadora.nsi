; The Windows installer: a per-user installation (no administrator rights) into
; %LOCALAPPDATA%\Programs\Qadora, a Start menu entry, an uninstaller listed in
; "Apps & features", and Qadora offered under "Open with" for .mdb files.
; Made by scripts/windows/package.sh:
;   makensis -DVERSION=x.y.z -DSTAGE=<staged folder> -DFILELIST=<Delete/RMDir lines>
;            -DOUTFILE=<setup.exe> qadora.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"

!define PRODUCT "Qadora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Qadora"
!define PROGID "Qadora.Database"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Qadora"
InstallDirRegKey HKCU "Software\Qadora" "InstallDir"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${STAGE}\qadora.ico"
!define MUI_UNICON "${STAGE}\qadora.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\qadora.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

Function .onInit
    SetShellVarContext current
FunctionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

Section "Qadora"
    SetOutPath "$INSTDIR"
    ; An earlier version's files go first: a DLL or plugin it had and this one does not
    ; must not be loaded by the new programs.
    RMDir /r "$INSTDIR\bin"
    RMDir /r "$INSTDIR\plugins"
    File /r "${STAGE}\*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKCU "Software\Qadora" "InstallDir" "$INSTDIR"

    CreateShortCut "$SMPROGRAMS\Qadora.lnk" "$INSTDIR\bin\qadora.exe" "" "$INSTDIR\qadora.ico" 0

    ; Apps & features.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qadora.ico"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

    ; "Open with": Qadora is offered for .mdb files (Access's and its own), without
    ; taking the default away from Access.
    WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Qadora Q&A database"
    WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\qadora.ico"
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\bin\qadora.exe" "%1"'
    WriteRegStr HKCU "Software\Classes\.mdb\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKCU "Software\Classes\Applications\qadora.exe" "FriendlyAppName" "Qadora"
    WriteRegStr HKCU "Software\Classes\Applications\qadora.exe\SupportedTypes" ".mdb" ""
    WriteRegStr HKCU "Software\Classes\Applications\qadora.exe\shell\open\command" "" '"$INSTDIR\bin\qadora.exe" "%1"'
    ; Explorer reads the associations again.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\Qadora.lnk"
    DeleteRegValue HKCU "Software\Classes\.mdb\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKCU "Software\Classes\.mdb\OpenWithProgids"
    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegKey HKCU "Software\Classes\Applications\qadora.exe"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Qadora"
    ; Exactly the installed files: the user's databases, settings (%APPDATA%\Qadora) and
    ; backups (%LOCALAPPDATA%\Qadora) stay, and so does anything else in the folder.
!include "${FILELIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
