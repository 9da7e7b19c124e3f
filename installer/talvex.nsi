; The Windows installer of Talvex, built on Linux with makensis (see CMakeLists.txt):
;   makensis -DVERSION=1.1.0 -DPROGRAM_DIR=<folder of talvex.exe and the .lng files>
;            -DARTWORK_DIR=<folder of shuttle.ico> -DPICTURES_DIR=<folder of pictures.sh's BMPs>
;            -DOUTFILE=<setup.exe> talvex.nsi
; It installs for the current user only, so no administrator is needed: the program
; goes to %LOCALAPPDATA%\Programs\Talvex, with an entry in the Start menu and in the
; list of installed programs. The uninstaller removes the program, its Start-menu
; entry and its start-with-the-session entry; the settings stay unless the user asks
; for them to go (or passes /REMOVESETTINGS to a silent uninstall).
; The uninstaller lies in that folder, which every program of the user can write, so it
; too runs as the user and never asks to be raised (RequestExecutionLevel user holds for
; both); NSIS loads its own system libraries from System32 only.

; talvex.exe is a 64-bit program; so is its installer (it runs where 32-bit support is missing, such as a 64-bit-only Wine).
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Talvex"
!define PUBLISHER "Kessaly"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Talvex"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\Kessaly"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ARTWORK_DIR}\shuttle.ico"
!define MUI_UNICON "${ARTWORK_DIR}\shuttle.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PICTURES_DIR}\welcome.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${PICTURES_DIR}\welcome.bmp"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${PICTURES_DIR}\header.bmp"
!define MUI_HEADERIMAGE_UNBITMAP "${PICTURES_DIR}\header.bmp"
; The language chosen for the installer is kept, and the uninstaller speaks it too.
!define MUI_LANGDLL_REGISTRY_ROOT HKCU
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\talvex.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"

LangString RemoveSettings ${LANG_ENGLISH} "Also remove your Talvex settings and rules?"
LangString RemoveSettings ${LANG_GERMAN} "Auch Ihre Talvex-Einstellungen und Regeln entfernen?"
LangString RemoveSettings ${LANG_FRENCH} "Supprimer aussi vos réglages et règles de Talvex ?"

; A running Talvex ends cleanly (it gives the program in front its priority back and
; saves its settings) before its files are replaced or removed, and before the
; uninstaller's first window, which its always-on-top main window would cover.
; Waits up to five seconds for it to go.
!macro EndRunningTalvex
  FindWindow $0 "TalvexHost"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    ${Do}
      FindWindow $0 "TalvexHost"
      ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
      Sleep 100
      IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 50
  ${EndIf}
!macroend

Function .onInit
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Section "Talvex" SecProgram
  SectionIn RO
  !insertmacro EndRunningTalvex
  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}\talvex.exe"
  File "${PROGRAM_DIR}\English.lng"
  File "${PROGRAM_DIR}\Francais.lng"
  File "${PROGRAM_DIR}\Deutsch.lng"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\talvex.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\talvex.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKCU "${UNINSTALL_KEY}" "${MUI_LANGDLL_REGISTRY_VALUENAME}" $LANGUAGE
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  !insertmacro EndRunningTalvex
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\talvex.exe"
  Delete "$INSTDIR\English.lng"
  Delete "$INSTDIR\Francais.lng"
  Delete "$INSTDIR\Deutsch.lng"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegValue HKCU "${APPROVED_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    DeleteRegKey HKCU "${SETTINGS_KEY}"
  ${ElseIfNot} ${Silent}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(RemoveSettings)" IDNO keep
      DeleteRegKey HKCU "${SETTINGS_KEY}"
    keep:
  ${EndIf}
SectionEnd
