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

; The program reads its files from Travenor\BXL in the 64-bit Program Files folder and from no
; other, so it is not the user's choice. Earlier versions used this folder on every PC.
!define OLD_FOLDER "C:\Program Files\Travenor\BXL"
; The installer service's account, which owns what Windows itself installed.
!define TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Bexlo"
!define TASK "Bexlo"
!define TASK_XML "BexloLogon.xml"

Name "Bexlo"
Caption "Bexlo ${BEXLO_VERSION} Setup"
UninstallCaption "Bexlo ${BEXLO_VERSION} Uninstall"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Travenor\BXL"
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
    you press the enclosure's button.$\r$\n$\r$\nSetup installs Bexlo into $INSTDIR and starts it \
    at every logon, and now. A Bexlo that is running is closed first; your saved folders, backup \
    record and run log are kept."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
; What Setup started, as the section found it.
Var FinishText
; The 64-bit Program Files folder, as the registry's 64-bit view names it.
Var ProgramFilesFolder
; The owner of the Windows folder, as a security identifier: whoever owns it owns the PC.
Var WindowsOwner
; An earlier version's program in the old folder, when the data folder is elsewhere; else empty.
Var OldProgram
; 1 once Setup has closed a running Bexlo, which it then starts again.
Var ClosedBexlo
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
!define EVENT_MODIFY_STATE 0x0002
; How long, in steps of 100 ms, Setup looks for the window of the Bexlo it started.
!define START_WAIT_STEPS 100
!define TH32CS_SNAPPROCESS 0x00000002
!define FILE_ATTRIBUTE_REPARSE_POINT 0x400
!define INVALID_HANDLE_VALUE -1
; WIN32_FIND_DATAW, its attributes first.
!define FIND_DATA_SIZE 592
; PROCESSENTRY32W; the process id is its third field on both.
!if ${ARCH} == x64
    !define PROCESSENTRY_SIZE 568
!else
    !define PROCESSENTRY_SIZE 556
!endif

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
                ${If} $R3 == "$INSTDIR\Bexlo.exe"
                ${OrIf} $R3 == $OldProgram
                    ${Break}
                ${EndIf}
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
        StrCpy $ClosedBexlo 1
    retry:
    ${Loop}
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
    Call ${PREFIX}CloseOtherCopies
FunctionEnd

; The copies no window message of Setup reaches, in other users' sessions or on other desktops,
; keep the program file locked. Each is asked through the event named after its process, which
; only administrators and the system may set, to end as its Exit ends it; a copy busy with a
; backup refuses, and a copy of a version without the event cannot be asked: Setup waits for them
; and says so, and the person may retry.
Function ${PREFIX}CloseOtherCopies
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    ${Do}
        ; Copies that did not end.
        StrCpy $R5 0
        System::Call 'kernel32::CreateToolhelp32Snapshot(i ${TH32CS_SNAPPROCESS}, i 0) p .R0'
        System::Alloc ${PROCESSENTRY_SIZE}
        Pop $R1
        System::Call '*$R1(i ${PROCESSENTRY_SIZE})'
        System::Call 'kernel32::Process32FirstW(p R0, p R1) i .R2'
        ${DoWhile} $R2 != 0
            System::Call '*$R1(i, i, i .R6)'
            System::Call 'kernel32::OpenProcess(i ${PROCESS_ACCESS}, i 0, i R6) p .R3'
            ${If} $R3 != 0
                System::Call 'kernel32::QueryFullProcessImageNameW(p R3, i 0, w .R4, *i ${NSIS_MAX_STRLEN}) i .R2'
                ${If} $R2 != 0
                    ${If} $R4 == "$INSTDIR\Bexlo.exe"
                    ${OrIf} $R4 == $OldProgram
                        DetailPrint "Closing Bexlo for another user of this computer..."
                        ; Asked again each second: a copy that is starting may not have its window
                        ; yet.
                        ${For} $R4 1 15
                            System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w "Global\BexloExit-$R6") p .R2'
                            ${If} $R2 != 0
                                System::Call 'kernel32::SetEvent(p R2)'
                                System::Call 'kernel32::CloseHandle(p R2)'
                            ${EndIf}
                            System::Call 'kernel32::WaitForSingleObject(p R3, i 1000) i .R2'
                            ${If} $R2 == 0
                                ${ExitFor}
                            ${EndIf}
                        ${Next}
                        ${If} $R2 == 0
                            StrCpy $ClosedBexlo 1
                        ${Else}
                            IntOp $R5 $R5 + 1
                        ${EndIf}
                    ${EndIf}
                ${EndIf}
                System::Call 'kernel32::CloseHandle(p R3)'
            ${EndIf}
            System::Call 'kernel32::Process32NextW(p R0, p R1) i .R2'
        ${Loop}
        System::Free $R1
        System::Call 'kernel32::CloseHandle(p R0)'
        ${If} $R5 == 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Bexlo is running for another user of this \
            computer and did not end: it may be busy with a backup, or be a version that cannot be \
            closed from here. Ask that user to let the backup finish or to exit Bexlo, then choose \
            Retry." /SD IDCANCEL IDRETRY retryOthers
        Abort "Bexlo is still running."
    retryOthers:
    ${Loop}
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd
!macroend
!insertmacro CLOSE_BEXLO_FUNCTION ""
!insertmacro CLOSE_BEXLO_FUNCTION "un."

; The folder on the stack when it is a folder of a drive, "X:\folder..." (a trailing "\" dropped);
; else nothing.
Function FolderOfADrive
    Exch $R0
    Push $R1
    Push $R2
    StrCpy $R1 $R0 1 -1
    ${If} $R1 == "\"
        StrCpy $R0 $R0 -1
    ${EndIf}
    StrCpy $R1 $R0 2 1
    StrLen $R2 $R0
    ${If} $R1 != ":\"
    ${OrIf} $R2 <= 3
    ${OrIf} $R2 > 200
        StrCpy $R0 ""
    ${EndIf}
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd

; The owner of the file or folder on the stack, as a security identifier ("S-1-5-32-544"); nothing
; when it cannot be read.
Function OwnerOf
    Exch $R0
    Push $R1
    Push $R2
    Push $R3
    System::Call 'advapi32::GetNamedSecurityInfoW(w R0, i 1, i 1, *p .R1, p 0, p 0, p 0, *p .R2) i .R3'
    StrCpy $R0 ""
    ${If} $R3 == 0
        System::Call 'advapi32::ConvertSidToStringSidW(p R1, *p .R3) i .R1'
        ${If} $R1 != 0
            System::Call 'kernel32::lstrcpynW(w .R0, p R3, i ${NSIS_MAX_STRLEN})'
            System::Call 'kernel32::LocalFree(p R3)'
        ${EndIf}
        System::Call 'kernel32::LocalFree(p R2)'
    ${EndIf}
    Pop $R3
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd

; What is wrong with the folder on the stack for the program that runs as administrator to read
; what is in it: a link, or an owner other than the administrators, the system, the installer
; service or the Windows folder's owner. Nothing when it may be trusted, or does not exist.
Function FolderFault
    Exch $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    StrCpy $R4 ""
    System::Alloc ${FIND_DATA_SIZE}
    Pop $R1
    ; Wine shows a link only in its parent's listing, Windows in both.
    System::Call 'kernel32::FindFirstFileW(w R0, p R1) p .R2'
    ${If} $R2 != ${INVALID_HANDLE_VALUE}
        System::Call 'kernel32::FindClose(p R2)'
        System::Call '*$R1(i .R2)'
        System::Call 'kernel32::GetFileAttributesW(w R0) i .R3'
        IntOp $R2 $R2 | $R3
        IntOp $R2 $R2 & ${FILE_ATTRIBUTE_REPARSE_POINT}
        ${If} $R2 != 0
            StrCpy $R4 "It is a link (junction or symbolic link)."
        ${Else}
            Push $R0
            Call OwnerOf
            Pop $R2
            ${If} $R2 == ""
                StrCpy $R4 "Its owner cannot be read."
            ${ElseIf} $R2 != "S-1-5-32-544"
            ${AndIf} $R2 != "S-1-5-18"
            ${AndIf} $R2 != "${TRUSTED_INSTALLER}"
            ${AndIf} $R2 != $WindowsOwner
                StrCpy $R4 "It belongs to $R2, not to the administrators or the system."
                System::Call 'advapi32::ConvertStringSidToSidW(w R2, *p .R3) i .R5'
                ${If} $R5 != 0
                    System::Call 'advapi32::LookupAccountSidW(p 0, p R3, w .R5, *i ${NSIS_MAX_STRLEN}, w .R6, *i ${NSIS_MAX_STRLEN}, *i .R2) i .R2'
                    ${If} $R2 != 0
                        StrCpy $R4 "It belongs to $R6\$R5, not to the administrators or the system."
                    ${EndIf}
                    System::Call 'kernel32::LocalFree(p R3)'
                ${EndIf}
            ${EndIf}
        ${EndIf}
    ${EndIf}
    System::Free $R1
    StrCpy $R0 $R4
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd

!macro FIRST_FAULT FOLDER
    ${If} $R3 == ""
        Push "${FOLDER}"
        Call FolderFault
        Pop $R3
        ${If} $R3 != ""
            StrCpy $R3 '"${FOLDER}"$\r$\n$R3'
        ${EndIf}
    ${EndIf}
!macroend

; The first of the folders from Program Files down to the data folder on the stack that may not
; be trusted, with its name and why, for people; nothing when all that exist may be.
Function DataFolderFault
    Exch $R0
    Push $R1
    Push $R2
    Push $R3
    ${GetParent} $R0 $R2
    ${GetParent} $R2 $R1
    StrCpy $R3 ""
    !insertmacro FIRST_FAULT $R1
    !insertmacro FIRST_FAULT $R2
    !insertmacro FIRST_FAULT $R0
    StrCpy $R0 $R3
    Pop $R3
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd

Function .onInit
    ; Not the command line's /D, nor the environment: the program only ever reads its own folder,
    ; which it finds as this does. On 32-bit Windows there is one view of the registry.
    SetRegView 64
    ReadRegStr $ProgramFilesFolder HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion" "ProgramFilesDir"
    SetRegView lastused
    Push $ProgramFilesFolder
    Call FolderOfADrive
    Pop $ProgramFilesFolder
    ${If} $ProgramFilesFolder == ""
        StrCpy $ProgramFilesFolder "C:\Program Files"
    ${EndIf}
    StrCpy $INSTDIR "$ProgramFilesFolder\Travenor\BXL"
    ${If} $INSTDIR != "${OLD_FOLDER}"
        StrCpy $OldProgram "${OLD_FOLDER}\Bexlo.exe"
    ${EndIf}
    Push $WINDIR
    Call OwnerOf
    Pop $WindowsOwner
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

; Makes the administrators the owner of the folder on the stack.
Function MakeAdministratorsOwner
    Exch $R0
    Push $R1
    Push $R2
    System::Call 'advapi32::ConvertStringSidToSidW(w "S-1-5-32-544", *p .R1) i .R2'
    ${If} $R2 != 0
        System::Call 'advapi32::SetNamedSecurityInfoW(w R0, i 1, i 1, p R1, p 0, p 0, p 0) i .R2'
        System::Call 'kernel32::LocalFree(p R1)'
        ${If} $R2 != 0
            DetailPrint "The owner of $R0 could not be set ($R2)."
        ${EndIf}
    ${EndIf}
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

!macro TAKE_OVER NAME
    ${If} ${FileExists} "${OLD_FOLDER}\${NAME}"
    ${AndIfNot} ${FileExists} "$INSTDIR\${NAME}"
        DetailPrint "Taking over ${OLD_FOLDER}\${NAME}"
        CopyFiles /SILENT "${OLD_FOLDER}\${NAME}" "$INSTDIR"
        Delete "${OLD_FOLDER}\${NAME}"
    ${EndIf}
!macroend

; Where the data folder moved away from the folder every earlier version used, the saved choices
; there come along once: each file the new folder does not have yet is moved, and the earlier
; version's program goes. Only from a folder the program itself would trust: anyone could have
; made that folder on a PC whose Windows is not on C:.
Function TakeOverOldFolder
    ${If} $OldProgram == ""
    ${OrIfNot} ${FileExists} "${OLD_FOLDER}\*.*"
        Return
    ${EndIf}
    Push "${OLD_FOLDER}"
    Call DataFolderFault
    Pop $0
    ${If} $0 != ""
        DetailPrint "The settings in ${OLD_FOLDER} are not taken over: $0"
        Return
    ${EndIf}
    !insertmacro TAKE_OVER "path.txt"
    !insertmacro TAKE_OVER "SerailNo.txt"
    !insertmacro TAKE_OVER "Setup.txt"
    !insertmacro TAKE_OVER "RunLog.txt"
    !insertmacro TAKE_OVER "Replaced.txt"
    !insertmacro TAKE_OVER "SourceIds.txt"
    !insertmacro TAKE_OVER "LastBackup.txt"
    !insertmacro TAKE_OVER "Reminder.txt"
    Delete "${OLD_FOLDER}\Bexlo.exe"
    Delete "${OLD_FOLDER}\UI_String(U).txt"
    Delete "${OLD_FOLDER}\Msg_String(U).txt"
    Delete "${OLD_FOLDER}\${TASK_XML}"
    Delete "${OLD_FOLDER}\Uninstall.exe"
    RMDir "${OLD_FOLDER}"
    RMDir "${OLD_FOLDER}\.."
FunctionEnd

Section "Bexlo"
    SectionIn RO
    ; The program refuses to read its saved choices from a folder that someone without
    ; administrator rights could have prepared: Setup installs nothing into one.
    Push $INSTDIR
    Call DataFolderFault
    Pop $0
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONSTOP "Bexlo cannot be installed: a program without administrator \
            rights may have prepared its folder.$\r$\n$\r$\n$0$\r$\n$\r$\nAn administrator must \
            remove or repair it first." /SD IDOK
        Abort "The folder $INSTDIR cannot be trusted."
    ${EndIf}
    Call CloseBexlo

    SetOutPath "$INSTDIR"
    ; Made by whoever ran Setup, they belong to the administrators, whom the program trusts.
    Push "$ProgramFilesFolder\Travenor"
    Call MakeAdministratorsOwner
    Push $INSTDIR
    Call MakeAdministratorsOwner
    Call TakeOverOldFolder
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

    ; Started as a logon starts it, through the task: as the people logged on, with their own
    ; highest rights, never with Setup's (which may be an administrator's typed in for someone
    ; without them). A first silent install starts nothing: Bexlo starts at the next logon. An
    ; update that closed Bexlo starts it again, silent or not, or the PC would go without backups
    ; until then.
    StrCpy $FinishText "Bexlo starts at every logon. Setup did not see it start now: open Bexlo \
        from the Start menu to start it."
    ${IfNot} ${Silent}
    ${OrIf} $ClosedBexlo == 1
        nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Run /TN "${TASK}"'
        Pop $0
    ${EndIf}
    ; The task's exit code says only that the run was asked for: running is what Setup sees.
    ${IfNot} ${Silent}
        ${ForEach} $1 1 ${START_WAIT_STEPS} + 1
            Call FindBexlo
            ${If} $R0 != 0
                System::Call 'kernel32::CloseHandle(p R1)'
                StrCpy $FinishText "Bexlo is installed and running, and starts at every logon. \
                    With no enclosure attached it waits out of sight; attach the enclosure and \
                    open Bexlo from the Start menu to choose your folders."
                ${Break}
            ${EndIf}
            Sleep 100
        ${Next}
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
    Delete "$INSTDIR\Replaced.txt"
    Delete "$INSTDIR\SourceIds.txt"
    Delete "$INSTDIR\LastBackup.txt"
    Delete "$INSTDIR\Reminder.txt"
SectionEnd

; The folders go only when nothing of the person's is left in them.
Section "-un.Folders"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
SectionEnd
