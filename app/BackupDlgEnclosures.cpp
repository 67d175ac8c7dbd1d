// The main dialog with the enclosures and the notification area: drives that arrive and leave,
// the key check before a write to the destination, and the stay in the tray.

#include "app/BackupDlg.h"

#include <algorithm>

#include "app/AboutDlg.h"
#include "res/resource.h"

namespace bexlo {

void BackupDlg::ApplyDriveFlags() {
    std::copy(deviceLayer.record.sourceDriveIncludeFlags.begin(),
              deviceLayer.record.sourceDriveIncludeFlags.end(),
              sourceTree.DriveIncludeFlags.begin());
    std::copy(deviceLayer.record.targetDriveIncludeFlags.begin(),
              deviceLayer.record.targetDriveIncludeFlags.end(),
              targetTree.DriveIncludeFlags.begin());
}

void BackupDlg::EnableDeviceControls(bool enable) {
    for (int id : {IDC_SAVE, IDC_TARGET_TREE, IDC_NEW_TARGET_DIR}) {
        ::EnableWindow(Item(id), enable ? TRUE : FALSE);
    }
}

MsgResult BackupDlg::OnDeviceChange(WPARAM event) {
    const DeviceChange change = deviceLayer.OnDeviceChange(static_cast<std::uint32_t>(event));
    if (event != kDeviceArrival && event != kDeviceRemoveComplete) {
        return MsgResult::Handled(TRUE);
    }
    ApplyDriveFlags();
    if (change.firstArrived) {
        StartPollTimer();
        EndReminder();
        tray.ShowForDevice(true);
        EnableDeviceControls(true);
    }
    if (change.lastRemoved) {
        StopPollTimer();
        tray.ShowForDevice(false);
        EnableDeviceControls(false);
    }
    // A rescan may have moved drives from one side to the other, whatever the event.
    sourceTree.ShowDrivesPresent(change.presentDrives);
    targetTree.ShowDrivesPresent(change.presentDrives);
    return MsgResult::Handled(TRUE);
}

int BackupDlg::CheckKey(int drive) {
    const PollResult key = deviceLayer.CheckKey(drive);
    if (key.keyLost) {
        ShowBox(L"Key Lost", Msg::KeyLost, BoxIcon::Warning);
    }
    return key.value == 1 ? 1 : 0;
}

std::optional<int> BackupDlg::KeyDriveOf(const std::wstring& path) const {
    return bexlo::KeyDriveOf(deviceLayer.KeyDrives(), path);
}

bool BackupDlg::TargetKeyAnswers() {
    const std::optional<int> drive = KeyDriveOf(targetSelection);
    return !drive || CheckKey(*drive) == 1;
}

MsgResult BackupDlg::OnSysCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case IDM_ABOUTBOX: {
            AboutDlg about;
            about.DoModal(Handle());
            return MsgResult::NotHandled();
        }
        case SC_MINIMIZE:
            if (run.state.backupRunning == 1) {
                return MsgResult::Handled();
            }
            tray.inTray = 1;
            tray.Show(Handle(), kTrayNotifyMessage, smallIcon ? smallIcon.Get() : appIcon,
                      DevicePresent() == 1);
            ::KillTimer(Handle(), kSelectionTimer);
            ::ShowWindow(Handle(), SW_MINIMIZE);
            ::ShowWindow(Handle(), SW_HIDE);
            return MsgResult::Handled();
        default:
            return MsgResult::NotHandled();
    }
}

void BackupDlg::OnTrayOpen() {
    if (run.state.backupRunning == 1) {
        return;
    }
    ::ShowWindow(Handle(), SW_SHOW);
    ::ShowWindow(Handle(), SW_RESTORE);
    tray.Leave();
    ::SetTimer(Handle(), kSelectionTimer, kRestoredSelectionTimerMs, nullptr);
}

void BackupDlg::OnTrayExit() {
    // The check's window is answered first, as a run's end box is.
    if (run.state.backupRunning == 1 || openCheck != nullptr || openRestore != nullptr) {
        return;
    }
    StopChecks();
    deviceLayer.ReleaseVendorLibraries(false);
    tray.trayIcon.Delete();
    ::DestroyWindow(Handle());
    // The modal loop notices that its window has gone only at its next message, and none may
    // come: one is posted.
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
}

}  // namespace bexlo
