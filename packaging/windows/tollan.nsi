; The Windows installer, tollan-setup-VERSION.exe, made by
; scripts/package-windows.sh with
;   makensis -DVERSION=1.0.0 -DSTAGE=DIR -DOUTFILE=FILE tollan.nsi
; STAGE holds what is installed, as it is laid out under the installation
; folder, and STAGE.uninstall.nsh the lines that remove exactly that.
;
; It installs under Program Files (64-bit), registers the reader component
; kestrel.dll with regsvr32, adds the wizard and the uninstaller to the Start
; menu of all users, and records the uninstaller in the system's list of
; programs. The uninstaller unregisters the component and removes every file,
; folder, shortcut and registry key the installer made. /S installs and
; uninstalls silently.
; A 64-bit installer: it installs 64-bit programs, writes the 64-bit view
; of the registry and runs the 64-bit regsvr32.
Target amd64-unicode
!include "LogicLib.nsh"

Name "Tollan ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tollan"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
LicenseData "${STAGE}\LICENSE.txt"
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tollan"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Tollan"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\kestrel.dll"' $0
  ${If} $0 != 0
    DetailPrint "regsvr32 kestrel.dll failed ($0); the wizard uses the kestrel.dll beside it."
  ${EndIf}
  CreateDirectory "$SMPROGRAMS\Tollan"
  CreateShortcut "$SMPROGRAMS\Tollan\Tollan.lnk" "$INSTDIR\tollan.exe"
  CreateShortcut "$SMPROGRAMS\Tollan\Uninstall Tollan.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tollan"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tollan.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\kestrel.dll"'
  Delete "$SMPROGRAMS\Tollan\Tollan.lnk"
  Delete "$SMPROGRAMS\Tollan\Uninstall Tollan.lnk"
  RMDir "$SMPROGRAMS\Tollan"
  ; Only what the installer put there: a folder the user chose keeps
  ; anything else (and then stays).
  !include "${STAGE}.uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
