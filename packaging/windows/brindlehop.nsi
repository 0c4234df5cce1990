; The Windows installer: the licence, the folder, the files; Start-menu entries for the show and
; for playing it in a window; an uninstaller listed in the installed programs, which removes
; exactly the files the installer put there. `/S` installs (and uninstalls) silently, `/D=DIR`
; names the folder. Made by packaging/windows/package.sh, which passes:
;   VERSION   the version (CMakeLists.txt)      STAGE    the folder of the files to install
;   OUTFILE   the installer to write            ICON     the program's .ico
;   LICENSE   the licence text                  FILES    install list (File/SetOutPath lines)
;   SIZE_KB   the installed size                UNFILES  uninstall list (Delete/RMDir lines)

Unicode true
; The 64-bit stub: the program is x86-64 only, and the 32-bit stub does not start under a 64-bit
; Wine.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh

!define PRODUCT "Brindlehop"
!define PUBLISHER "The Brindlehop developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlehop"
!define STARTMENU "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Program Files and the machine's list of installed programs need an administrator.
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE

!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Brindlehop"
    SetShellVarContext all
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The folder the shortcuts start in is the program's own.
    SetOutPath "$INSTDIR"
    CreateDirectory "${STARTMENU}"
    CreateShortcut "${STARTMENU}\${PRODUCT}.lnk" "$INSTDIR\brindlehop.exe" "" \
        "$INSTDIR\brindlehop.exe" 0 SW_SHOWNORMAL "" "Play the show full screen"
    CreateShortcut "${STARTMENU}\Play in a Window.lnk" "$INSTDIR\brindlehop.exe" "--window" \
        "$INSTDIR\brindlehop.exe" 0 SW_SHOWNORMAL "" "Play the show in a resizable window"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brindlehop.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "${STARTMENU}\${PRODUCT}.lnk"
    Delete "${STARTMENU}\Play in a Window.lnk"
    RMDir "${STARTMENU}"

    ; Only the installed files: whatever else is in the folder (pictures or videos written into
    ; it) stays, and so does the folder then.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
