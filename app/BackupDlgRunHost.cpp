// The main dialog as the host of a run and of the button poll: what they ask of the interface.

#include <windows.h>
#include <commctrl.h>

#include "app/BackupDlg.h"
#include "framework/BoxAnswerWatch.h"
#include "framework/PcPlaces.h"

namespace bexlo {

bool BackupDlg::StartRun() {
    // Nothing of the saved choice is read: the box is answered with the poll paused, and the
    // presses made meanwhile are dropped.
    if (const FolderVerdict verdict = CheckDataFolder(); !verdict.Trusted()) {
        StopPollTimer();
        ShowDataFolderRefusal(verdict);
        deviceLayer.DrainAfterRun();
        StartPollTimer();
        return false;
    }
    StopChecks();
    StopRestore();
    RunInputs inputs;
    if (::IsDlgButtonChecked(Handle(), IDC_COPY) == BST_CHECKED) {
        inputs.mode = RunMode::Copy;
    } else if (::IsDlgButtonChecked(Handle(), IDC_SYNC) == BST_CHECKED) {
        inputs.mode = RunMode::Sync;
    } else {
        inputs.mode = RunMode::None;
    }
    inputs.pressKey = deviceLayer.state.pressKey;
    inputs.inTray = tray.inTray == 1;
    inputs.keyDrives = deviceLayer.KeyDrives();
    inputs.machine = machine;
    inputs.places = ThisPcPlaces();
    return run.Start(std::move(inputs));
}

void BackupDlg::StopPollTimer() {
    ::KillTimer(Handle(), kPollTimer);
}

void BackupDlg::StartPollTimer() {
    ::SetTimer(Handle(), kPollTimer, kStartTimerMs, nullptr);
}

void BackupDlg::ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon,
                           const std::function<void()>& answered) {
    BoxAnswerWatch watch(answered);
    ShowBox(caption, text, icon);
}

void BackupDlg::HoldControls() {
    CallOnUiThread([this] {
        EnableUi(false);
        sourceTree.reselectAfterRefresh = 0;
        targetTree.reselectAfterRefresh = 0;
        keptSelection = targetSelection;
    });
}

void BackupDlg::ReleaseControls(bool reselectTarget, std::atomic<int>& running) {
    CallOnUiThread([this, reselectTarget, &running] {
        deviceLayer.DrainAfterRun();
        EnableUi(true);
        sourceTree.reselectAfterRefresh = 1;
        targetTree.reselectAfterRefresh = 1;
        if (reselectTarget) {
            targetTree.SetSelectedPath(keptSelection, true);
        }
        running = 0;
        OnRunEnded();
    });
}

void BackupDlg::NotifyDevice(RunMessage message) {
    switch (message) {
        case RunMessage::Failed:
            deviceLayer.SendRunMessage(kPollRunFailed);
            break;
        case RunMessage::Complete:
            deviceLayer.SendRunMessage(kPollRunComplete);
            break;
        case RunMessage::ItemStarting:
            deviceLayer.SendRunMessage(kPollItemStarting);
            break;
    }
}

void BackupDlg::ShowTargetHasFolders(const std::wstring& target) {
    CallOnUiThread([this, &target] {
        // A drive, or a folder right below its root as the default destination is.
        if (!targetTree.IsDrive(target) && target.rfind(L'\\') != 2) {
            return;
        }
        if (HTREEITEM driveItem = targetTree.PathToItem(target.substr(0, 3));
            driveItem != nullptr) {
            targetTree.SetHasChildren(driveItem, true);
        }
    });
}

bool BackupDlg::OpenProgressWindow() {
    progressDlg.pos = 0;
    return progressDlg.Create(Handle());
}

void BackupDlg::CloseProgressWindow() {
    progressDlg.DestroyWindow();
}

void BackupDlg::SetProgress(int position) {
    ::SendMessageW(progressBar.Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (progressDlg.Handle() != nullptr) {
        progressDlg.SetPos(position);
    }
}

void BackupDlg::WaitPaintingProgress(int ms) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
    progressDlg.PumpMessages();
}

GuardChoice BackupDlg::AskBeforeReplacing(const std::wstring& text) {
    switch (::MessageBoxW(Handle(), text.c_str(), L"Many Changes",
                          MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON3)) {
        case IDYES:
            return GuardChoice::BackUpAll;
        case IDNO:
            return GuardChoice::OnlyNewFiles;
        default:
            return GuardChoice::Cancel;
    }
}

}  // namespace bexlo
