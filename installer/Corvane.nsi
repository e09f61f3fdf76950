; Corvane's setup for Windows: one 32-bit installer for both host bitnesses. On 64-bit Windows it
; installs and registers x64\Corvane.dll with the 64-bit regsvr32 (file-system redirection off)
; and x86\Corvane.dll with the 32-bit one, so a 64-bit and a 32-bit MaxIm DL both find
; Corvane.PlugIn; on 32-bit Windows only the x86 DLL.
;
; The build defines: VERSION ("1.06"), VERSION_QUAD ("1.6.0.0"), OUTFILE, DLL_X64, DLL_X86, GUIDE,
; INUSE_X64, INUSE_X86 (the in-use helper of each bitness), LOG_TOOL_X64 and LOG_TOOL_X86 (the
; guide-log tool of each bitness, installed beside the DLL of its bitness), REPORT_PICTURE (the
; picture of a report the user guide shows), MONITOR (Corvane Monitor, one 32-bit program for both).
;
; Exit codes: 0 installed; 2 cancelled or aborted (a DLL in use, a failed registration: nothing
; half-replaced is left); 740 not run as administrator.

Unicode true
!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Corvane"
!define PUBLISHER "The Corvane developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvane"
!define GUIDE_NAME "Corvane User Guide.html"
!define PICTURE_NAME "Corvane report.png"
!define ERROR_ELEVATION_REQUIRED 740

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; The folder is chosen in .onInit (Program Files of the system's bitness, or where an earlier
; version went) unless /D= names one.
InstallDir ""
; A file that cannot be replaced stops the setup: never a half-replaced install.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs Corvane ${VERSION}, multi-star guiding for MaxIm DL, for 32-bit and 64-bit MaxIm DL.$\r$\n$\r$\nClose MaxIm DL before you continue.$\r$\n$\r$\n$_CLICK"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\${GUIDE_NAME}"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the user guide"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- shared by the setup and the uninstaller ------------------------------------------------

; Administrators only: registration writes machine-wide keys.
!macro REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Corvane must be installed and removed by an administrator.$\r$\n$\r$\nRight-click the program and choose $\"Run as administrator$\"." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

; Waits until no program holds one of the installed DLLs loaded, asking the user to close it;
; Cancel (the answer in silent mode) aborts with exit 2 before anything is changed. The helper of
; the system's bitness lists the programs that hold a DLL; a DLL Windows will not open for
; writing is in use too, even where the helper cannot see the holder.
!macro ENSURE_NOT_IN_USE un
Function ${un}EnsureNotInUse
  InitPluginsDir
  ${If} ${RunningX64}
    File "/oname=$PLUGINSDIR\corvane-inuse.exe" "${INUSE_X64}"
  ${Else}
    File "/oname=$PLUGINSDIR\corvane-inuse.exe" "${INUSE_X86}"
  ${EndIf}
  check:
  nsExec::ExecToStack '"$PLUGINSDIR\corvane-inuse.exe" "$INSTDIR\x64\Corvane.dll" "$INSTDIR\x86\Corvane.dll"'
  Pop $0
  Pop $1
  ${If} $0 == 1
    StrCpy $1 "Corvane.dll is in use by:$\r$\n$1"
  ${Else}
    StrCpy $1 ""
    ${ForEach} $2 64 32 - 32
      ${If} $1 == ""
      ${AndIf} ${FileExists} "$INSTDIR\x$2\Corvane.dll"
        ClearErrors
        FileOpen $0 "$INSTDIR\x$2\Corvane.dll" a
        ${If} ${Errors}
          StrCpy $1 "$INSTDIR\x$2\Corvane.dll is in use by a running program."
        ${Else}
          FileClose $0
        ${EndIf}
      ${EndIf}
    ${Next}
  ${EndIf}
  ${If} $1 == ""
    Return
  ${EndIf}
  DetailPrint $1
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$1$\r$\nClose MaxIm DL (and any other program that uses Corvane), then press Retry. Cancel stops without changing anything." /SD IDCANCEL IDRETRY check
  DetailPrint "Stopped: a program holds Corvane.dll loaded. Nothing was changed."
  SetErrorLevel 2
  Abort "A program holds Corvane.dll loaded: close it and run this again."
FunctionEnd
!macroend
!insertmacro ENSURE_NOT_IN_USE ""
!insertmacro ENSURE_NOT_IN_USE "un."

; regsvr32 of the DLL's own bitness; $0 is its exit code afterwards (0 on success).
!macro REGSVR32 bitness flags dll
  ${If} "${bitness}" == "64"
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${flags} "${dll}"' $0
    ${EnableX64FSRedirection}
  ${ElseIf} ${RunningX64}
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${flags} "${dll}"' $0
  ${Else}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${flags} "${dll}"' $0
  ${EndIf}
!macroend

; Unregisters whichever of the two DLLs is present; the last one registered removes the keys the
; two share. $2 is "" when every unregistration succeeded, else the DLL that failed.
!macro UNREGISTER_ALL un
Function ${un}UnregisterAll
  StrCpy $2 ""
  ${If} ${FileExists} "$INSTDIR\x64\Corvane.dll"
    !insertmacro REGSVR32 64 /u "$INSTDIR\x64\Corvane.dll"
    DetailPrint "Unregistered $INSTDIR\x64\Corvane.dll (regsvr32 exit code $0)"
    ${If} $0 != 0
      StrCpy $2 "$INSTDIR\x64\Corvane.dll"
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\Corvane.dll"
    !insertmacro REGSVR32 32 /u "$INSTDIR\x86\Corvane.dll"
    DetailPrint "Unregistered $INSTDIR\x86\Corvane.dll (regsvr32 exit code $0)"
    ${If} $0 != 0
      StrCpy $2 "$INSTDIR\x86\Corvane.dll"
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro UNREGISTER_ALL ""
!insertmacro UNREGISTER_ALL "un."

; Exactly the files, shortcuts and entries the setup writes; folders only when they are empty, so
; whatever else a user put there (a guide log, notes) stays.
!macro REMOVE_INSTALLED_FILES
  Delete "$INSTDIR\x64\Corvane.dll"
  Delete "$INSTDIR\x86\Corvane.dll"
  Delete "$INSTDIR\x64\corvane-log.exe"
  Delete "$INSTDIR\x86\corvane-log.exe"
  Delete "$INSTDIR\corvane-monitor.exe"
  Delete "$INSTDIR\${GUIDE_NAME}"
  Delete "$INSTDIR\${PICTURE_NAME}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Corvane\Corvane Monitor.lnk"
  Delete "$SMPROGRAMS\Corvane\Corvane User Guide.lnk"
  Delete "$SMPROGRAMS\Corvane\Uninstall Corvane.lnk"
  Delete "$SMPROGRAMS\Corvane\Corvane reports.lnk"
  Delete "$SMPROGRAMS\Corvane\Report of the last run.lnk"
  RMDir "$SMPROGRAMS\Corvane"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; ---- the setup --------------------------------------------------------------------------------

Function .onInit
  !insertmacro REQUIRE_ADMIN
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ${If} $INSTDIR == ""
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${ElseIf} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\Corvane"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\Corvane"
    ${EndIf}
  ${EndIf}
FunctionEnd

; An earlier install in another folder is removed by its own uninstaller first, so there is one
; Corvane and one entry in the list of installed programs.
Function RemoveEarlierInstallElsewhere
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$0\Uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the earlier install in $0"
  ExecWait '"$0\Uninstall.exe" /S _?=$0' $1
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "The earlier Corvane in $0 could not be removed (exit code $1). Uninstall it first, then run this setup again." /SD IDOK
    SetErrorLevel 2
    Abort "The earlier Corvane in $0 could not be removed."
  ${EndIf}
  Delete "$0\Uninstall.exe"
  RMDir "$0"
FunctionEnd

Section "Corvane" SecCorvane
  SectionIn RO
  SetShellVarContext all
  Call EnsureNotInUse
  Call RemoveEarlierInstallElsewhere
  ; The earlier or same version in this folder: its registrations go before its files are replaced.
  Call UnregisterAll

  SetOverwrite on
  SetOutPath "$INSTDIR\x86"
  File "/oname=Corvane.dll" "${DLL_X86}"
  File "/oname=corvane-log.exe" "${LOG_TOOL_X86}"
  ${If} ${RunningX64}
    SetOutPath "$INSTDIR\x64"
    File "/oname=Corvane.dll" "${DLL_X64}"
    File "/oname=corvane-log.exe" "${LOG_TOOL_X64}"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=corvane-monitor.exe" "${MONITOR}"
  File "/oname=${GUIDE_NAME}" "${GUIDE}"
  File "/oname=${PICTURE_NAME}" "${REPORT_PICTURE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ${If} ${RunningX64}
    !insertmacro REGSVR32 64 "" "$INSTDIR\x64\Corvane.dll"
    DetailPrint "Registered $INSTDIR\x64\Corvane.dll for 64-bit hosts (regsvr32 exit code $0)"
    ${If} $0 != 0
      StrCpy $3 "$INSTDIR\x64\Corvane.dll"
      Goto failed
    ${EndIf}
  ${EndIf}
  !insertmacro REGSVR32 32 "" "$INSTDIR\x86\Corvane.dll"
  DetailPrint "Registered $INSTDIR\x86\Corvane.dll for 32-bit hosts (regsvr32 exit code $0)"
  ${If} $0 != 0
    StrCpy $3 "$INSTDIR\x86\Corvane.dll"
    Goto failed
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\Corvane"
  CreateShortcut "$SMPROGRAMS\Corvane\Corvane Monitor.lnk" "$INSTDIR\corvane-monitor.exe"
  CreateShortcut "$SMPROGRAMS\Corvane\Corvane User Guide.lnk" "$INSTDIR\${GUIDE_NAME}"
  CreateShortcut "$SMPROGRAMS\Corvane\Uninstall Corvane.lnk" "$INSTDIR\Uninstall.exe"
  ; The runs' records (Documents\Corvane of whoever opens it) and the newest one's report, written
  ; next to it and opened in the default browser, by corvane-log of the system's bitness; its
  ; console comes up minimized (a failure is shown in a message box).
  ${If} ${RunningX64}
    StrCpy $4 "$INSTDIR\x64\corvane-log.exe"
  ${Else}
    StrCpy $4 "$INSTDIR\x86\corvane-log.exe"
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\Corvane\Corvane reports.lnk" "$4" "records --open" "$4" 0 \
    SW_SHOWMINIMIZED "" "The runs' records (Documents\Corvane)"
  CreateShortcut "$SMPROGRAMS\Corvane\Report of the last run.lnk" "$4" "report --last --open" \
    "$4" 0 SW_SHOWMINIMIZED "" "The last run's report, next to its record, in the browser"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Comments" "Multi-star guiding for MaxIm DL"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  Return

  failed:
  ; Nothing half-done stays: what was registered is unregistered and the files go again.
  DetailPrint "Registering $3 failed (regsvr32 exit code $0): undoing the installation"
  Call UnregisterAll
  !insertmacro REMOVE_INSTALLED_FILES
  MessageBox MB_OK|MB_ICONSTOP "Registering $3 failed (regsvr32 exit code $0). Corvane is not installed: its files and registrations were removed again." /SD IDOK
  SetErrorLevel 2
  Abort "Registering $3 failed."
SectionEnd

; ---- the uninstaller --------------------------------------------------------------------------

Function un.onInit
  !insertmacro REQUIRE_ADMIN
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.EnsureNotInUse
  Call un.UnregisterAll
  ${If} $2 != ""
    MessageBox MB_OK|MB_ICONSTOP "Unregistering $2 failed. Corvane was not removed; close MaxIm DL and try again." /SD IDOK
    SetErrorLevel 2
    Abort "Unregistering $2 failed."
  ${EndIf}
  !insertmacro REMOVE_INSTALLED_FILES
SectionEnd
