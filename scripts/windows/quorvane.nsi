; SPDX-License-Identifier: GPL-3.0-or-later
; SPDX-FileCopyrightText: 2026 Quorvane developers
; The Windows installer, made by scripts/windows/package:
;   makensis -DVERSION=x.y.z -DSTAGE=<the installed files> -DFILES=<files.nsh> -DUNFILES=<unfiles.nsh>
;            -DICON=<quorvane.ico> -DOUTFILE=<setup.exe> quorvane.nsi
; For all users into Program Files, or for the current user alone into their programs folder, without
; administrator rights (/AllUsers, /CurrentUser); /S installs and uninstalls without a question.
; A 64-bit installer, as the program is: Qt 6 runs on 64-bit Windows only.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "Quorvane"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!include MultiUser.nsh
!include MUI2.nsh

Name "Quorvane"
OutFile "${OUTFILE}"
BrandingText "Quorvane ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvane"
VIAddVersionKey /LANG=1033 "CompanyName" "Brindlecot"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "2026 Quorvane developers, GPL-3.0-or-later"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorvane.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The types the program opens, as its Linux desktop entry lists them.
!macro openWith extension
    WriteRegStr SHCTX "Software\Classes\Applications\quorvane.exe\SupportedTypes" "${extension}" ""
    WriteRegStr SHCTX "Software\Classes\${extension}\OpenWithList\quorvane.exe" "" ""
!macroend
!macro noLongerOpenWith extension
    DeleteRegKey SHCTX "Software\Classes\${extension}\OpenWithList\quorvane.exe"
    DeleteRegKey /ifempty SHCTX "Software\Classes\${extension}\OpenWithList"
    DeleteRegKey /ifempty SHCTX "Software\Classes\${extension}"
!macroend

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Quorvane"
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Quorvane.lnk" "$INSTDIR\quorvane.exe" "" "$INSTDIR\quorvane.exe" 0

    WriteRegStr SHCTX "Software\Classes\Applications\quorvane.exe" "FriendlyAppName" "Quorvane"
    WriteRegStr SHCTX "Software\Classes\Applications\quorvane.exe\shell\open\command" "" '"$INSTDIR\quorvane.exe" "%1"'
    !insertmacro openWith .mp4
    !insertmacro openWith .m4v
    !insertmacro openWith .mov
    !insertmacro openWith .3gp
    !insertmacro openWith .m4a
    !insertmacro openWith .mkv
    !insertmacro openWith .webm
    !insertmacro openWith .ts
    !insertmacro openWith .mp3

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Quorvane"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Brindlecot"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallMode" "$MultiUser.InstallMode"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    ; Only what the installer put there: a folder the user chose may hold other files.
    !include "${UNFILES}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Quorvane.lnk"
    DeleteRegKey SHCTX "Software\Classes\Applications\quorvane.exe"
    !insertmacro noLongerOpenWith .mp4
    !insertmacro noLongerOpenWith .m4v
    !insertmacro noLongerOpenWith .mov
    !insertmacro noLongerOpenWith .3gp
    !insertmacro noLongerOpenWith .m4a
    !insertmacro noLongerOpenWith .mkv
    !insertmacro noLongerOpenWith .webm
    !insertmacro noLongerOpenWith .ts
    !insertmacro noLongerOpenWith .mp3
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ; Folders and keys the installer had to make on the way, when nothing else is in them now.
    DeleteRegKey /ifempty SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    DeleteRegKey /ifempty SHCTX "Software\Classes\Applications"
    DeleteRegKey /ifempty SHCTX "Software\Classes"
    ${If} $MultiUser.InstallMode == "CurrentUser"
        RMDir "$LOCALAPPDATA\Programs"
    ${EndIf}
SectionEnd
