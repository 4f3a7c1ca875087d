; TactilePane installer (NSIS). One package for every Windows: it installs
; the x64 program on 64-bit Windows and the x86 program elsewhere.
;
; Defined on the makensis command line (see build.sh):
;   X86DIR, X64DIR   stripped TactilePane.exe and TactilePaneStop.exe per architecture
;   OUTFILE          the installer to write
;   STUB_AMD64       (optional) build with the 64-bit stub, for test benches that run
;                    no 32-bit programs: it runs only on 64-bit Windows, so it carries
;                    only the x64 program; the installed files and values are the same
;
; Silent use:  TactilePane-Setup.exe /S
;              TactilePane-Setup.exe /S /CONFIG=path   also loads the machine's values of
;                                                   the configuration file path (an export)
;              Uninstall.exe /S                     keeps the settings
;              Uninstall.exe /S /REMOVESETTINGS     removes them too
Unicode true
!ifdef STUB_AMD64
Target amd64-unicode
!endif
SetCompressor /SOLID lzma

!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "TactilePane"
!define VERSION "1.0.0"
!define SETTINGS_KEY "Software\Mavrel\TactilePane"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\TactilePane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TactilePane"
; What the program says about /CONFIG's file, for the administrator.
!define SETUP_LOG "$TEMP\TactilePane-Setup.log"

Var ConfigFile

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Mavrel"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Mavrel"

; /CONFIG=path: the file is checked by the program itself before anything
; is installed (there is no rollback): the program is unpacked to the
; temporary plug-in folder and run with "/import path /check". A refused
; file ends the installation with the program's exit code (3) and its
; message in the setup log, and nothing changed.
Function CheckConfigFile
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/CONFIG=" $ConfigFile
    ${If} ${Errors}
        StrCpy $ConfigFile ""
        Return
    ${EndIf}
    InitPluginsDir
    SetOutPath "$PLUGINSDIR"
!ifdef STUB_AMD64
    File "${X64DIR}\TactilePane.exe"
!else
    ${If} ${RunningX64}
        File "${X64DIR}\TactilePane.exe"
    ${Else}
        File "${X86DIR}\TactilePane.exe"
    ${EndIf}
!endif
    ClearErrors
    ExecWait '"$PLUGINSDIR\TactilePane.exe" /import "$ConfigFile" /check /log "${SETUP_LOG}"' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
        ${IfThen} $1 == "" ${|} StrCpy $1 1 ${|}
        MessageBox MB_ICONSTOP "The configuration file $ConfigFile was refused: see ${SETUP_LOG}. Nothing was installed." /SD IDOK
        SetErrorLevel $1
        Quit
    ${EndIf}
    Delete "$PLUGINSDIR\TactilePane.exe"
FunctionEnd

Function .onInit
    ; The program's own settings live in the 32-bit registry view on both
    ; architectures; the machine-wide entries below go in the native view.
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
    Call CheckConfigFile
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

; Ends a running program the way its Exit command does (command 1044), so
; that the tray icon goes and the port is closed before its files go.
!macro StopProgram
    IfFileExists "$INSTDIR\TactilePaneStop.exe" 0 +2
        ExecWait '"$INSTDIR\TactilePaneStop.exe" 45000'
!macroend

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !insertmacro StopProgram
!ifdef STUB_AMD64
    File "${X64DIR}\TactilePane.exe"
    File "${X64DIR}\TactilePaneStop.exe"
!else
    ${If} ${RunningX64}
        File "${X64DIR}\TactilePane.exe"
        File "${X64DIR}\TactilePaneStop.exe"
    ${Else}
        File "${X86DIR}\TactilePane.exe"
        File "${X86DIR}\TactilePaneStop.exe"
    ${EndIf}
!endif
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\TactilePane.exe"
    WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\TactilePane.exe"'

    CreateDirectory "$SMPROGRAMS"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\TactilePane.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Mavrel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TactilePane.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; The checked file's machine values, as /import writes them. The user's
    ; values (the LCD brightness) would go to the installing account: left out.
    ${If} $ConfigFile != ""
        ClearErrors
        ExecWait '"$INSTDIR\TactilePane.exe" /import "$ConfigFile" /machine /log "${SETUP_LOG}"' $1
        ${If} ${Errors}
        ${OrIf} $1 != 0
            ${IfThen} $1 == "" ${|} StrCpy $1 1 ${|}
            SetErrorLevel $1
        ${EndIf}
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    !insertmacro StopProgram
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        SetRegView 32
        DeleteRegKey HKLM "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKLM "Software\Mavrel"
        ; Window positions and brightness are per user: those of the user
        ; who uninstalls go too; other profiles are not loaded.
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKCU "Software\Mavrel"
    ${EndIf}

    Delete "$INSTDIR\TactilePane.exe"
    Delete "$INSTDIR\TactilePaneStop.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
