; The Windows installer of tarvel, made by makensis in the windows preset
; (target tarvel-setup; CMake fills in the version):
;   makensis -DSTAGE=<folder of tarvel.exe and locale\> -DOUTFILE=<setup.exe> tarvel.nsi
;
; Installs tarvel.exe and its catalogs (locale\) in Program Files\tarvel, a
; Start-menu entry that opens the window, and, when asked, a start at log-on
; with the four arguments (HKLM\...\Run). Silent:
;   tarvel-@PROJECT_VERSION@-setup.exe /S [/PORT=COM3 [/FILL=10] [/ENTER=1] [/FORMAT=1]] [/D=folder]
; /PORT= asks for the start at log-on; the others default to 10, 1 and 1.
; A value that tarvel would refuse ends the installer with status 2.
; The uninstaller removes everything the installer added, the log-on entry
; included ("uninstall.exe /S" silently).

; A 64-bit installer for the 64-bit program (and Wine without its 32-bit part).
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!pragma warning disable 6012 ; labels LogicLib makes and does not use

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define VERSION "@PROJECT_VERSION@"
!define RUNKEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tarvel"

Name "tarvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\tarvel"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "tarvel"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "tarvel ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "the tarvel developers"

Var Port
Var Fill
Var Enter
Var Format
Var LogOn          ; 1: start at log-on
Var LogOnBox
Var PortBox
Var FillBox
Var EnterBox
Var FormatBox

!insertmacro MUI_PAGE_DIRECTORY
Page custom LogOnPage LogOnPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; $0: 1 when $1 is one or more decimal digits (at most 9), else 0.
Function IsNumber
  StrLen $2 $1
  ${If} $2 < 1
  ${OrIf} $2 > 9
    StrCpy $0 0
    Return
  ${EndIf}
  StrCpy $0 1
  ${For} $3 0 $2
    StrCpy $4 $1 1 $3
    ${If} $4 != ""
    ${AndIf} "$4" S< "0"
      StrCpy $0 0
    ${ElseIf} "$4" S> "9"
      StrCpy $0 0
    ${EndIf}
  ${Next}
FunctionEnd

; $0: an empty text when the four values are fit for the command line, else
; what is wrong with them.
Function CheckValues
  StrCpy $0 ""
  ${If} $Port == ""
    StrCpy $0 "The serial port is missing."
    Return
  ${EndIf}
  ; One word on the command line: no blank, no quote.
  StrLen $2 $Port
  ${For} $3 0 $2
    StrCpy $4 $Port 1 $3
    ${If} $4 == " "
    ${OrIf} $4 == '"'
      StrCpy $0 "The serial port may hold no blank or quote."
      Return
    ${EndIf}
  ${Next}
  StrCpy $1 $Fill
  Call IsNumber
  ${If} $0 == 0
    StrCpy $0 "FillZeroLength must be a number."
    Return
  ${EndIf}
  StrCpy $1 $Enter
  Call IsNumber
  ${If} $0 == 0
    StrCpy $0 "AutoEnter must be 0 or 1."
    Return
  ${EndIf}
  StrCpy $1 $Format
  Call IsNumber
  ${If} $0 == 0
    StrCpy $0 "CardFormat must be a number from 1 to 14."
    Return
  ${EndIf}
  StrCpy $0 ""
FunctionEnd

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  StrCpy $LogOn 0
  StrCpy $Port "COM1"
  StrCpy $Fill "10"
  StrCpy $Enter "1"
  StrCpy $Format "1"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${IfNot} ${Errors}
    StrCpy $Port $R1
    StrCpy $LogOn 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/FILL=" $R1
  ${IfNot} ${Errors}
    StrCpy $Fill $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ENTER=" $R1
  ${IfNot} ${Errors}
    StrCpy $Enter $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/FORMAT=" $R1
  ${IfNot} ${Errors}
    StrCpy $Format $R1
  ${EndIf}
  ${If} $LogOn == 1
  ${AndIf} ${Silent}
    Call CheckValues
    ${If} $0 != ""
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function LogOnPage
  !insertmacro MUI_HEADER_TEXT "Start at log-on" "tarvel can start hidden whenever a user logs on."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "&Start tarvel at log-on with these arguments:"
  Pop $LogOnBox
  ${If} $LogOn == 1
    ${NSD_Check} $LogOnBox
  ${EndIf}
  ${NSD_CreateLabel} 0 22u 40% 12u "Serial port (COM1 .. COM16):"
  Pop $0
  ${NSD_CreateText} 42% 20u 25% 12u $Port
  Pop $PortBox
  ${NSD_CreateLabel} 0 40u 40% 12u "FillZeroLength (0 .. 20):"
  Pop $0
  ${NSD_CreateNumber} 42% 38u 25% 12u $Fill
  Pop $FillBox
  ${NSD_CreateLabel} 0 58u 40% 12u "AutoEnter (0 or 1):"
  Pop $0
  ${NSD_CreateNumber} 42% 56u 25% 12u $Enter
  Pop $EnterBox
  ${NSD_CreateLabel} 0 76u 40% 12u "CardFormat (1 .. 14):"
  Pop $0
  ${NSD_CreateNumber} 42% 74u 25% 12u $Format
  Pop $FormatBox
  nsDialogs::Show
FunctionEnd

Function LogOnPageLeave
  ${NSD_GetState} $LogOnBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $LogOn 1
  ${Else}
    StrCpy $LogOn 0
  ${EndIf}
  ${NSD_GetText} $PortBox $Port
  ${NSD_GetText} $FillBox $Fill
  ${NSD_GetText} $EnterBox $Enter
  ${NSD_GetText} $FormatBox $Format
  ${If} $LogOn == 1
    Call CheckValues
    ${If} $0 != ""
      MessageBox MB_ICONEXCLAMATION|MB_OK $0
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "tarvel"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\tarvel.exe"
  File /r "${STAGE}\locale"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\tarvel"
  CreateShortcut "$SMPROGRAMS\tarvel\tarvel.lnk" "$INSTDIR\tarvel.exe"

  ${If} $LogOn == 1
    WriteRegStr HKLM "${RUNKEY}" "tarvel" '"$INSTDIR\tarvel.exe" $Port $Fill $Enter $Format'
  ${Else}
    DeleteRegValue HKLM "${RUNKEY}" "tarvel"
  ${EndIf}

  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "tarvel"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "the tarvel developers"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\tarvel.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  DeleteRegValue HKLM "${RUNKEY}" "tarvel"
  Delete "$SMPROGRAMS\tarvel\tarvel.lnk"
  RMDir "$SMPROGRAMS\tarvel"
  Delete "$INSTDIR\tarvel.exe"
  RMDir /r "$INSTDIR\locale"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
