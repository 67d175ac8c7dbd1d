; Bexlo's installer and uninstaller. The build runs makensis with
;   ARCH        x86 (what people install) or x64 (a variant to try under Wine)
;   SOURCE_DIR  the source tree, BUILD_DIR the build tree, OUT_FILE the installer to write;
; the program comes from BUILD_DIR/package/stage, the language packs from BUILD_DIR/bin/lang.
; The version comes from the build tree's generated Version.nsh.

Unicode true
!if ${ARCH} == x64
    Target amd64-unicode
!else
    Target x86-unicode
!endif
SetCompressor /SOLID lzma

!include "${BUILD_DIR}/generated/Version.nsh"
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinVer.nsh"
!include "x64.nsh"

; The program reads its files from this folder and from no other, so it is not the user's choice.
!define FOLDER "C:\Program Files\Travenor\BXL"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Bexlo"
!define TASK "Bexlo"
!define TASK_XML "BexloLogon.xml"

Name "Bexlo"
Caption "Bexlo ${BEXLO_VERSION} Setup"
UninstallCaption "Bexlo ${BEXLO_VERSION} Uninstall"
OutFile "${OUT_FILE}"
InstallDir "${FOLDER}"
RequestExecutionLevel admin
BrandingText "Travenor"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${BEXLO_VERSION_QUAD}"
VIFileVersion "${BEXLO_VERSION_QUAD}"
VIAddVersionKey "ProductName" "Bexlo"
VIAddVersionKey "CompanyName" "Travenor"
VIAddVersionKey "FileDescription" "Bexlo Setup"
VIAddVersionKey "FileVersion" "${BEXLO_VERSION}"
VIAddVersionKey "ProductVersion" "${BEXLO_VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Travenor"

!define MUI_ICON "${SOURCE_DIR}/res/app.ico"
!define MUI_UNICON "${SOURCE_DIR}/res/app.ico"
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "Bexlo backs up the folders you choose onto your disk enclosure when \
    you press the enclosure's button.$\r$\n$\r$\nSetup installs Bexlo into ${FOLDER} and starts it \
    at every logon, and now. A Bexlo that is running is closed first; your saved folders, backup \
    record and run log are kept."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
; What Setup started, as the section found it.
Var FinishText
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Bexlo itself is always removed. Your saved folders, backup \
    record, language choice and run log stay unless you tick the box."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

!define ID_TRAY_EXIT 32773
; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
!define PROCESS_ACCESS 0x00101000

; Ends a running Bexlo through its own Exit (which releases the enclosures' vendor libraries) with
; a message to its window and no program run: the window is a dialog captioned "Bexlo" shown by a
; process that runs the installed Bexlo.exe, so that no other window of that name (a folder of
; that name open in Explorer) is asked. The message waits its turn: a copy that is starting, or
; showing or hiding its window, may not take messages for seconds. A copy busy with a backup
; refuses, and the person may retry.
!macro CLOSE_BEXLO_FUNCTION PREFIX
; The running copy's window in $R0 and its process in $R1 (both 0 when none runs).
Function ${PREFIX}FindBexlo
    Push $R2
    Push $R3
    StrCpy $R0 0
    StrCpy $R1 0
    ${Do}
        FindWindow $R0 "#32770" "Bexlo" "" $R0
        ${If} $R0 == 0
            ${Break}
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R2)'
        System::Call 'kernel32::OpenProcess(i ${PROCESS_ACCESS}, i 0, i R2) p .R1'
        ${If} $R1 != 0
            System::Call 'kernel32::QueryFullProcessImageNameW(p R1, i 0, w .R3, *i ${NSIS_MAX_STRLEN}) i .R2'
            ${If} $R2 != 0
            ${AndIf} $R3 == "$INSTDIR\Bexlo.exe"
                ${Break}
            ${EndIf}
            System::Call 'kernel32::CloseHandle(p R1)'
            StrCpy $R1 0
        ${EndIf}
    ${Loop}
    Pop $R3
    Pop $R2
FunctionEnd

Function ${PREFIX}CloseBexlo
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    StrCpy $R3 0
    ${Do}
        Call ${PREFIX}FindBexlo
        ${If} $R0 == 0
            ; A copy that is starting holds its mutex before its window exists: it is waited
            ; for, 15 s at most.
            System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Bexlo") p .R2'
            ${If} $R2 == 0
            ${OrIf} $R3 >= 150
                ${If} $R2 != 0
                    System::Call 'kernel32::CloseHandle(p R2)'
                ${EndIf}
                ${Break}
            ${EndIf}
            System::Call 'kernel32::CloseHandle(p R2)'
            Sleep 100
            IntOp $R3 $R3 + 1
            ${Continue}
        ${EndIf}
        ClearErrors
        SendMessage $R0 ${WM_COMMAND} ${ID_TRAY_EXIT} 0 $R2 /TIMEOUT=15000
        ; Exit destroys the window before it answers; a window still there refused or did not
        ; answer in time.
        IsWindow $R0 0 closed
        System::Call 'kernel32::CloseHandle(p R1)'
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Bexlo cannot be closed now: it is \
            busy with a backup. Let the backup finish, then choose Retry." /SD IDCANCEL \
            IDRETRY retry
        Abort "Bexlo is still running."
    closed:
        System::Call 'kernel32::WaitForSingleObject(p R1, i 15000)'
        System::Call 'kernel32::CloseHandle(p R1)'
    retry:
    ${Loop}
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd
!macroend
!insertmacro CLOSE_BEXLO_FUNCTION ""
!insertmacro CLOSE_BEXLO_FUNCTION "un."

Function .onInit
    ; Not the command line's /D: the program only ever reads its own folder.
    StrCpy $INSTDIR "${FOLDER}"
!if ${ARCH} == x64
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "This Bexlo is for 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
!endif
    StrCpy $0 0
    ${If} ${AtMostWinVista}
        StrCpy $0 1
    ${ElseIf} ${IsWin7}
    ${AndIf} ${AtMostServicePack} 0
        StrCpy $0 1
    ${EndIf}
    ${If} $0 == 1
        MessageBox MB_OK|MB_ICONSTOP "Bexlo needs Windows 7 with Service Pack 1 or later." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

; The task starts Bexlo at any user's logon with the highest rights that user has, without the
; elevation prompt that a program started from the Run key or the Startup folder would meet.
; The definition stays in the program's folder beside the program it names.
Function RegisterLogonTask
    FileOpen $0 "$INSTDIR\${TASK_XML}" w
    FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $0 '  <RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $0 '    <Author>Travenor</Author>$\r$\n'
    FileWriteUTF16LE $0 '    <Description>Starts Bexlo at logon, so that a press of the enclosure button backs up.</Description>$\r$\n'
    FileWriteUTF16LE $0 '  </RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $0 '  <Triggers>$\r$\n'
    FileWriteUTF16LE $0 '    <LogonTrigger>$\r$\n'
    FileWriteUTF16LE $0 '      <Enabled>true</Enabled>$\r$\n'
    FileWriteUTF16LE $0 '    </LogonTrigger>$\r$\n'
    FileWriteUTF16LE $0 '  </Triggers>$\r$\n'
    FileWriteUTF16LE $0 '  <Principals>$\r$\n'
    FileWriteUTF16LE $0 '    <Principal id="Author">$\r$\n'
    ; Builtin Users: the task runs in the session of whoever logs on.
    FileWriteUTF16LE $0 '      <GroupId>S-1-5-32-545</GroupId>$\r$\n'
    FileWriteUTF16LE $0 '      <RunLevel>HighestAvailable</RunLevel>$\r$\n'
    FileWriteUTF16LE $0 '    </Principal>$\r$\n'
    FileWriteUTF16LE $0 '  </Principals>$\r$\n'
    FileWriteUTF16LE $0 '  <Settings>$\r$\n'
    FileWriteUTF16LE $0 '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>$\r$\n'
    FileWriteUTF16LE $0 '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>$\r$\n'
    FileWriteUTF16LE $0 '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>$\r$\n'
    ; Bexlo runs for the whole session: no time limit, and the priority of a program started by hand.
    FileWriteUTF16LE $0 '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>$\r$\n'
    FileWriteUTF16LE $0 '    <Priority>5</Priority>$\r$\n'
    FileWriteUTF16LE $0 '    <Enabled>true</Enabled>$\r$\n'
    FileWriteUTF16LE $0 '  </Settings>$\r$\n'
    FileWriteUTF16LE $0 '  <Actions Context="Author">$\r$\n'
    FileWriteUTF16LE $0 '    <Exec>$\r$\n'
    FileWriteUTF16LE $0 '      <Command>$INSTDIR\Bexlo.exe</Command>$\r$\n'
    FileWriteUTF16LE $0 '      <WorkingDirectory>$INSTDIR</WorkingDirectory>$\r$\n'
    FileWriteUTF16LE $0 '    </Exec>$\r$\n'
    FileWriteUTF16LE $0 '  </Actions>$\r$\n'
    FileWriteUTF16LE $0 '</Task>$\r$\n'
    FileClose $0
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /XML "$INSTDIR\${TASK_XML}" /TN "${TASK}" /F'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "Bexlo could not be set to start at logon. Start it \
            from the Start menu after each logon, or install it again." /SD IDOK
    ${EndIf}
FunctionEnd

; Access lists, as SDDL and protected from what the folder above hands down. The folder lets
; every user list it and read the program's own files, and hands to what is made in it later
; (the saved folders, the backup record, the run log) access for administrators and the system
; only: they name the folders backed up and the files that failed, and the program that reads
; and writes them runs elevated.
!define FOLDER_ACCESS "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)"
!define PROGRAM_ACCESS "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"
!define DATA_ACCESS "D:P(A;;FA;;;SY)(A;;FA;;;BA)"

; Gives the file or folder on the stack's second place the access list on its top.
Function SetAccess
    Exch $R0
    Exch
    Exch $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R0, i 1, *p .R2, p 0) i .R3'
    ${If} $R3 != 0
        System::Call 'advapi32::GetSecurityDescriptorDacl(p R2, *i .R3, *p .R4, *i .R5)'
        ; A file object; the list and its protection.
        System::Call 'advapi32::SetNamedSecurityInfoW(w R1, i 1, i 0x80000004, p 0, p 0, p R4, p 0) i .R3'
        System::Call 'kernel32::LocalFree(p R2)'
    ${EndIf}
    ${If} $R3 != 0
        DetailPrint "The access list of $R1 could not be set ($R3)."
    ${EndIf}
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

!macro SET_ACCESS PATH ACCESS
    Push "${PATH}"
    Push "${ACCESS}"
    Call SetAccess
!macroend

Function SecureDataFiles
    !insertmacro SET_ACCESS "$INSTDIR" "${FOLDER_ACCESS}"
    !insertmacro SET_ACCESS "$INSTDIR\Bexlo.exe" "${PROGRAM_ACCESS}"
    !insertmacro SET_ACCESS "$INSTDIR\UI_String(U).txt" "${PROGRAM_ACCESS}"
    !insertmacro SET_ACCESS "$INSTDIR\Msg_String(U).txt" "${PROGRAM_ACCESS}"
    !insertmacro SET_ACCESS "$INSTDIR\Uninstall.exe" "${PROGRAM_ACCESS}"
    !insertmacro SET_ACCESS "$INSTDIR\${TASK_XML}" "${PROGRAM_ACCESS}"
    ; What an earlier version left readable to every user.
    ${If} ${FileExists} "$INSTDIR\path.txt"
        !insertmacro SET_ACCESS "$INSTDIR\path.txt" "${DATA_ACCESS}"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\SerailNo.txt"
        !insertmacro SET_ACCESS "$INSTDIR\SerailNo.txt" "${DATA_ACCESS}"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\RunLog.txt"
        !insertmacro SET_ACCESS "$INSTDIR\RunLog.txt" "${DATA_ACCESS}"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\Setup.txt"
        !insertmacro SET_ACCESS "$INSTDIR\Setup.txt" "${DATA_ACCESS}"
    ${EndIf}
FunctionEnd

Function RegisterUninstall
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Bexlo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${BEXLO_VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Travenor"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Bexlo.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Section "Bexlo"
    SectionIn RO
    Call CloseBexlo

    SetOutPath "$INSTDIR"
    File "${BUILD_DIR}/package/stage/Bexlo.exe"
    File "${BUILD_DIR}/bin/lang/UI_String(U).txt"
    File "${BUILD_DIR}/bin/lang/Msg_String(U).txt"
    ; The language choice is the person's: an update keeps it.
    SetOverwrite off
    File "${BUILD_DIR}/bin/lang/Setup.txt"
    SetOverwrite on
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\Bexlo.lnk" "$INSTDIR\Bexlo.exe" "" "$INSTDIR\Bexlo.exe" 0
    Call RegisterLogonTask
    Call SecureDataFiles
    Call RegisterUninstall

    ; Started as a logon starts it, through the task: as the person logged on here, with that
    ; person's own highest rights, never with Setup's (which may be an administrator's typed in
    ; for someone without them). A silent install starts nothing: run by a management tool, often
    ; as the system account in a session nobody sees, a copy would answer no box and keep the
    ; program locked against the next update. Bexlo then starts at the next logon.
    StrCpy $FinishText "Bexlo starts at every logon. It was not started now: open Bexlo from the \
        Start menu to start it at once."
    ${IfNot} ${Silent}
        nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Run /TN "${TASK}"'
        Pop $0
        ${If} $0 == 0
            StrCpy $FinishText "Bexlo is installed and running, and starts at every logon. With \
                no enclosure attached it waits out of sight; attach the enclosure and open Bexlo \
                from the Start menu to choose your folders."
        ${EndIf}
    ${EndIf}
SectionEnd

Section "-un.Bexlo"
    Push "$INSTDIR\Bexlo.exe"
    Call un.CloseBexlo
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK}" /F'
    Pop $0
    Delete "$INSTDIR\Bexlo.exe"
    Delete "$INSTDIR\UI_String(U).txt"
    Delete "$INSTDIR\Msg_String(U).txt"
    Delete "$INSTDIR\${TASK_XML}"
    Delete "$INSTDIR\Uninstall.exe"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Bexlo.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Also remove my settings and run log"
    Delete "$INSTDIR\path.txt"
    Delete "$INSTDIR\SerailNo.txt"
    Delete "$INSTDIR\RunLog.txt"
    Delete "$INSTDIR\RunLog unreadable *.txt"
    Delete "$INSTDIR\Setup.txt"
    Delete "$INSTDIR\LastRun.txt"
SectionEnd

; The folders go only when nothing of the person's is left in them.
Section "-un.Folders"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
SectionEnd
