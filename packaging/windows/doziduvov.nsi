; The Windows installer: the program folder under Program Files with everything the program
; loads beside it, a Start menu entry and an uninstaller that removes what it installed.
; makensis -DVERSION=x.y.z -DSTAGE=<installed tree> -DOUTFILE=<setup.exe> doziduvov.nsi
; /S installs silently; /D=<folder> (last, unquoted) chooses the folder.

; A 64-bit installer for a 64-bit program (and for Wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include "MUI2.nsh"
!include "x64.nsh"

Name "Korvex - Zirirezu Doziduvov ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\NORTAVE\Doziduvov"
InstallDirRegKey HKLM "Software\NORTAVE\Korvex_Zirirezu_DOZIDUVOV\Install" "Folder"
BrandingText "NORTAVE"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Doziduvov"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "This program needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

Section "Program"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\NORTAVE"
    CreateShortcut "$SMPROGRAMS\NORTAVE\Korvex - Zirirezu Doziduvov.lnk" "$INSTDIR\doziduvov.exe"
    WriteRegStr HKLM "Software\NORTAVE\Korvex_Zirirezu_DOZIDUVOV\Install" "Folder" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Korvex - Zirirezu Doziduvov"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "NORTAVE"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\doziduvov.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

; The settings under Settings\ are the users' and the administrator's: an uninstall keeps them,
; as a reinstall expects.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\NORTAVE\Korvex - Zirirezu Doziduvov.lnk"
    RMDir "$SMPROGRAMS\NORTAVE"
    !include "${STAGE}/../uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "Software\NORTAVE\Korvex_Zirirezu_DOZIDUVOV\Install"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
