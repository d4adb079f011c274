; TessaroSetup.exe: installs Tessaro, its German satellite, the overclocking
; plug-in with its configuration and the controller library the plug-in
; loads. Built by installer/CMakeLists.txt, which passes:
;   BIN_DIR      folder of the files to ship (build/<preset>/bin)
;   CONFIG_DIR   the plug-in's configuration of board 00A3
;   ICON         the program's icon
;   VERSION      the program's version, four numbers (from Tessaro.rc)
;   OUT_FILE     the setup program to write
;
; Layout on the user's machine (default $INSTDIR = Program Files\ULVO\Tessaro):
;   $INSTDIR\Tessaro.exe, TessaroDEU.dll, Uninstall.exe
;   $INSTDIR\Common\TrivelOLE.dll        registered for the host programs
;   $INSTDIR\mirel\00A3\TrivelConfig.XML, ULVOEQ.ini
;   $SYSDIR\KT9020DLL.dll                 found by plain name from any folder
; The plug-in finds its configuration from its registered path: lower-cased,
; every "common" replaced by "mirel", cut before "trivelole.dll". With the
; library in $INSTDIR\Common that is $INSTDIR\mirel, as long as the rest of
; the path holds no "common" (checked before anything is written).
;
; Command line: /S silent, /D=<folder> (last, unquoted) as NSIS defines them.
; The uninstaller also takes /REMOVESETTINGS: silent removal of the
; program's settings, which it otherwise keeps.
; Exit codes: 0 done, 1 cancelled, 2 refused (Tessaro running, folder not
; writable or not usable), as NSIS reports an aborted run.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include WordFunc.nsh

!define PRODUCT "Tessaro"
!define PUBLISHER "ULVO"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaro"
!define SETTINGS_KEY "Software\ULVO\Tessaro"
!define PLUGIN_KEY "Software\ULVO\Velmar"
!define PLUGIN_VALUE "ULVOTRIVEL_PLUGIN"
!define SHARED_DLLS "Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
!define CONTROLLER_DLL "KT9020DLL.dll"
; Tessaro's main window and its message boxes: dialogs titled "Tessaro".
!define TESSARO_WINDOW_CLASS "#32770"
!define TESSARO_WINDOW_TITLE "Tessaro"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\ULVO\Tessaro"
; An installed copy is upgraded where it is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PUBLISHER} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "InternalName" "TessaroSetup"
VIAddVersionKey "OriginalFilename" "TessaroSetup.exe"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${VERSION}, the BIOS backup and update utility, together with the overclocking plug-in for the monitoring host and its controller library.$\r$\n$\r$\nThe board maker's kernel drivers are not part of this setup.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_WELCOME
!define MUI_COMPONENTSPAGE_TEXT_TOP "The program's files are removed. Your settings are kept for a later installation unless you tick the box below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

Var FirstInstall

; ------------------------------------------------------------ helpers --

; Ends the run with exit code 2 after a refusal, $0 saying why. A silent
; run shows no box: it writes the text to LOG in the temporary folder.
; Refuse shows the text in a box first.
!macro REFUSE UN LOG
Function ${UN}StopRefused
  ${If} ${Silent}
    ClearErrors
    FileOpen $1 "$TEMP\${LOG}" w
    ${IfNot} ${Errors}
      FileWrite $1 "$0$\r$\n"
      FileClose $1
    ${EndIf}
  ${EndIf}
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro REFUSE "" "TessaroSetup.log"
!insertmacro REFUSE "un." "TessaroUninstall.log"

Function Refuse
  MessageBox MB_OK|MB_ICONSTOP $0 /SD IDOK
  Call StopRefused
FunctionEnd

; Asks to close Tessaro until it is closed or the user gives up; a silent
; run gives up at once. Its files cannot be replaced or removed while it
; runs.
!macro REFUSE_WHILE_TESSARO_RUNS UN ACTION
Function ${UN}RefuseWhileTessaroRuns
  ${Do}
    FindWindow $0 "${TESSARO_WINDOW_CLASS}" "${TESSARO_WINDOW_TITLE}"
    ${If} $0 = 0
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONINFORMATION \
      "Tessaro is running. Please close it first, then choose Retry to ${ACTION} it." \
      /SD IDCANCEL IDRETRY retry
    StrCpy $0 "Tessaro is running. Please close it first, then start again to ${ACTION} it."
    Call ${UN}StopRefused
  retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_TESSARO_RUNS "" "update"
!insertmacro REFUSE_WHILE_TESSARO_RUNS "un." "remove"

; $0 := the folder where the plug-in reads its configuration when it is
; registered as $1 (its full path): the same rule as the plug-in's.
Function ConfigFolderOf
  Push $2
  Push $3
  Push $4
  StrCpy $0 ""
  StrCpy $2 0
  ${Do}
    StrCpy $3 $1 6 $2
    ${If} $3 == ""
      ${Break}
    ${EndIf}
    ; StrCmp is case-insensitive: "Common" and "COMMON" count too.
    ${If} $3 == "common"
      StrCpy $0 "$0mirel"
      IntOp $2 $2 + 6
    ${Else}
      StrCpy $4 $1 1 $2
      StrCpy $0 "$0$4"
      IntOp $2 $2 + 1
    ${EndIf}
  ${Loop}
  ${WordFind} $0 "TrivelOLE.dll" "+1{" $0
  Pop $4
  Pop $3
  Pop $2
FunctionEnd

; $0 := "" when $INSTDIR can take the installation, else why not. A folder
; this creates to find out is removed again, with the parents it created.
Function CheckInstallFolder
  Push $1
  Push $2
  Push $3
  ; One installation per machine: the uninstall entry, the shared library's
  ; count and the plug-in's registration name one folder. A second copy in
  ; another folder would leave the first behind, with nothing to remove it.
  ReadRegStr $1 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
  ${AndIf} ${FileExists} "$1\Tessaro.exe"
    StrCpy $0 "Tessaro is already installed in $1.$\r$\n$\r$\nSetup updates it in that folder. To install it in $INSTDIR instead, uninstall it first. Nothing has been installed."
    Goto done
  ${EndIf}
  ; The plug-in's configuration must land inside the installation.
  StrCpy $1 "$INSTDIR\Common\TrivelOLE.dll"
  Call ConfigFolderOf
  ${If} $0 != "$INSTDIR\mirel\"
    StrCpy $0 "The folder $INSTDIR cannot take the plug-in: its path must not contain $\"common$\". Please choose another folder."
    Goto done
  ${EndIf}
  ; The nearest folder that exists already: what a failed check leaves.
  StrCpy $2 $INSTDIR
  ${DoUntil} ${FileExists} "$2\*.*"
    ${GetParent} $2 $3
    ${If} $3 == ""
    ${OrIf} $3 == $2
      ${Break}
    ${EndIf}
    StrCpy $2 $3
  ${Loop}
  StrCpy $0 ""
  ClearErrors
  CreateDirectory $INSTDIR
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $0 "x"
  ${Else}
    ClearErrors
    FileOpen $3 "$INSTDIR\~TessaroSetup.tmp" w
    ${If} ${Errors}
      StrCpy $0 "x"
    ${Else}
      FileClose $3
      Delete "$INSTDIR\~TessaroSetup.tmp"
    ${EndIf}
  ${EndIf}
  ${If} $0 != ""
    StrCpy $0 "Setup cannot write to the folder $INSTDIR.$\r$\n$\r$\nPlease choose a folder you may write to, or start Setup as an administrator. Nothing has been installed."
    ; Remove what CreateDirectory made, from the deepest folder up.
    StrCpy $3 $INSTDIR
    ${DoWhile} $3 != $2
      ${If} $3 == ""
        ${Break}
      ${EndIf}
      RMDir $3
      ${GetParent} $3 $3
    ${Loop}
  ${EndIf}
done:
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

Function DirectoryLeave
  Call CheckInstallFolder
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP $0
    Abort
  ${EndIf}
FunctionEnd

; ------------------------------------------------------------- install --

; The text after /D= on the process's command line, trailing backslashes
; and spaces cut, into $0; "" without /D=. NSIS takes /D= only as the last
; argument and unquoted, and removes it from $CMDLINE: the process's own
; command line still holds it.
Function RequestedFolder
  System::Call 'kernel32::GetCommandLine() t .r0'
  ; Past the program's name, quoted or not.
  StrCpy $1 $0 1
  ClearErrors
  ${If} $1 == '"'
    ${WordFindS} $0 '"' "E+2}" $0
  ${Else}
    ${WordFindS} $0 " " "E+1}" $0
  ${EndIf}
  ${If} ${Errors}
    StrCpy $0 ""
    Return
  ${EndIf}
  ClearErrors
  ${WordFindS} " $0" " /D=" "E+1}" $0
  ${If} ${Errors}
    StrCpy $0 ""
    Return
  ${EndIf}
  ; As NSIS cuts them, a drive's root excepted.
  ${Do}
    StrLen $2 $0
    StrCpy $1 $0 1 -1
    ${If} $2 <= 3
    ${OrIf} $1 != "\"
    ${AndIf} $1 != " "
      ${Break}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
FunctionEnd

Function .onInit
  Call RefuseWhileTessaroRuns
  ; A /D= folder NSIS cannot use (a file on its path, a drive's root,
  ; forward slashes) it replaces by the default folder before this runs,
  ; without a word: the installation would land where nobody asked for it.
  ; Nothing is created to find out why.
  Call RequestedFolder
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    StrCpy $1 $0
    ${Do}
      ${If} ${FileExists} $1
      ${AndIfNot} ${FileExists} "$1\*.*"
        StrCpy $0 "Setup cannot write to the folder $0: $1 is a file, not a folder.$\r$\n$\r$\nPlease choose another folder. Nothing has been installed."
        Call Refuse
      ${EndIf}
      ${GetParent} $1 $2
      ${If} $2 == ""
      ${OrIf} $2 == $1
        ${Break}
      ${EndIf}
      StrCpy $1 $2
    ${Loop}
    StrCpy $0 "Setup cannot install into $0.$\r$\n$\r$\nPlease give the full path of a folder that is not a drive's root, for example C:\Tools\Tessaro. Nothing has been installed."
    Call Refuse
  ${EndIf}
  ; An upgrade keeps the shared library's count as the first install set it.
  StrCpy $FirstInstall 1
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $FirstInstall 0
  ${EndIf}
FunctionEnd

Section "Tessaro" SecMain
  SectionIn RO
  ; Before anything is written: a folder that cannot take the files stops
  ; the installation with nothing left behind.
  Call CheckInstallFolder
  ${If} $0 != ""
    Call Refuse
  ${EndIf}
  SetShellVarContext all

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}\Tessaro.exe"
  File "${BIN_DIR}\TessaroDEU.dll"
  SetOutPath "$INSTDIR\Common"
  File "${BIN_DIR}\TrivelOLE.dll"
  SetOutPath "$INSTDIR\mirel\00A3"
  File "${CONFIG_DIR}\TrivelConfig.XML"
  File "${CONFIG_DIR}\ULVOEQ.ini"

  ; The plug-in loads the controller library by its plain name from inside
  ; a host in a folder of its own: the system folder is on every program's
  ; search path. A 32-bit setup on 64-bit Windows writes to the 32-bit
  ; system folder (SysWOW64), where 32-bit hosts look. Other products may
  ; ship the same library: the usage count under SharedDLLs says when the
  ; last one has gone (a copy found without a count belongs to one of them).
  SetOutPath "$SYSDIR"
  ${If} $FirstInstall = 1
    ClearErrors
    ReadRegDWORD $1 HKLM "${SHARED_DLLS}" "$SYSDIR\${CONTROLLER_DLL}"
    ${If} ${Errors}
      StrCpy $1 0
      ${If} ${FileExists} "$SYSDIR\${CONTROLLER_DLL}"
        StrCpy $1 1
      ${EndIf}
    ${EndIf}
    IntOp $1 $1 + 1
    WriteRegDWORD HKLM "${SHARED_DLLS}" "$SYSDIR\${CONTROLLER_DLL}" $1
  ${EndIf}
  File "${BIN_DIR}\${CONTROLLER_DLL}"

  ; Registered as the monitoring host's own installer does. The plug-in is
  ; 32-bit and reads the same (32-bit) view of the registry this writes.
  WriteRegStr HKLM "${PLUGIN_KEY}" "${PLUGIN_VALUE}" "$INSTDIR\Common\TrivelOLE.dll"

  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Tessaro.lnk" "$INSTDIR\Tessaro.exe" "" "$INSTDIR\Tessaro.exe" 0 \
    SW_SHOWNORMAL "" "Back up and update the BIOS"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Tessaro.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$SYSDIR" "/M=${CONTROLLER_DLL} /S=0K /G=0" $1 $2 $3
  IntOp $0 $0 + $1
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; ----------------------------------------------------------- uninstall --


Section "un.Tessaro" SecUnMain
  SectionIn RO
  SetShellVarContext all
  ; Every step goes on when its file is already gone.
  Delete "$INSTDIR\Tessaro.exe"
  Delete "$INSTDIR\TessaroDEU.dll"
  Delete "$INSTDIR\Common\TrivelOLE.dll"
  Delete "$INSTDIR\mirel\00A3\TrivelConfig.XML"
  Delete "$INSTDIR\mirel\00A3\ULVOEQ.ini"
  RMDir "$INSTDIR\mirel\00A3"
  RMDir "$INSTDIR\mirel"
  RMDir "$INSTDIR\Common"
  Delete "$SMPROGRAMS\Tessaro.lnk"

  ClearErrors
  ReadRegDWORD $1 HKLM "${SHARED_DLLS}" "$SYSDIR\${CONTROLLER_DLL}"
  ${If} ${Errors}
    StrCpy $1 1
  ${EndIf}
  IntOp $1 $1 - 1
  ${If} $1 > 0
    WriteRegDWORD HKLM "${SHARED_DLLS}" "$SYSDIR\${CONTROLLER_DLL}" $1
  ${Else}
    DeleteRegValue HKLM "${SHARED_DLLS}" "$SYSDIR\${CONTROLLER_DLL}"
    DeleteRegKey /ifempty HKLM "${SHARED_DLLS}"
    Delete "$SYSDIR\${CONTROLLER_DLL}"
  ${EndIf}

  ; The registration goes only while it still names this installation:
  ; another host's installer may have registered its own copy since.
  ReadRegStr $0 HKLM "${PLUGIN_KEY}" "${PLUGIN_VALUE}"
  ${If} $0 == "$INSTDIR\Common\TrivelOLE.dll"
    DeleteRegValue HKLM "${PLUGIN_KEY}" "${PLUGIN_VALUE}"
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${PLUGIN_KEY}"

  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete "$INSTDIR\Uninstall.exe"
  ; Files the program wrote beside itself (BIOS backups, downloads) are the
  ; user's: the folder stays while it holds them.
  RMDir "$INSTDIR"
  ${GetParent} $INSTDIR $0
  ${If} ${FileExists} "$0\*.*"
    RMDir $0
  ${EndIf}
SectionEnd

Section /o "un.Also remove my settings" SecSettings
  ; Tessaro keeps its settings in the 64-bit view on 64-bit Windows.
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    SetRegView 32
  ${EndIf}
  DeleteRegKey HKLM "${SETTINGS_KEY}"
SectionEnd

Section "-un.Finish"
  ; The vendor key goes when nothing else is left in it.
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey /ifempty HKLM "Software\ULVO"
    SetRegView 32
  ${EndIf}
  DeleteRegKey /ifempty HKLM "Software\ULVO"
SectionEnd

Function un.onInit
  Call un.RefuseWhileTessaroRuns
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnMain} "The program, the plug-in, the controller library, the shortcut and the registrations."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSettings} "Tessaro's settings (HKLM\${SETTINGS_KEY}); kept unless ticked."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
