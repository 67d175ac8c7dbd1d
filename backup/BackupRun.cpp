#include "backup/BackupRun.h"

#include <commctrl.h>

#include <algorithm>
#include <system_error>

#include "app/BackupDlg.h"
#include "backup/Pacing.h"
#include "backup/PathList.h"
#include "backup/WindowsFileSystem.h"
#include "framework/Guard.h"
#include "res/resource.h"

namespace bexlo {

namespace {

// path.txt holds at most 99 records of a platform path each; anything past this is not read.
constexpr std::size_t kPathListReadLimit = 256 * 1024;
constexpr int kStepPoints = 3;
// The bar waits here until the run thread reports the end.
constexpr int kCopyingTop = 94;
constexpr int kWaitAtTopMs = 20;
// Longest stretch a pause goes without looking at the run's state and the window's messages.
constexpr DWORD kPauseSliceMs = 50;

}  // namespace

BackupRun::~BackupRun() {
    Join();
}

void BackupRun::Join() {
    if (runThread_.joinable()) {
        runThread_.join();
    }
    if (progressThread_.joinable()) {
        progressThread_.join();
    }
}

bool BackupRun::Start() {
    if (dialog_.backupRunning == 1 || !runThreadDone_ || !progressThreadDone_) {
        return false;
    }
    Join();
    // Set before the thread starts, so that neither a second press nor a minimise slips in.
    dialog_.backupRunning = 1;
    dialog_.copyFinished = 0;
    if (!Launch(runThread_, runThreadDone_, L"RunBackupThread", &BackupRun::RunBackupThread)) {
        dialog_.backupRunning = 0;
        return false;
    }
    return true;
}

bool BackupRun::Launch(std::thread& thread, std::atomic<bool>& done, const wchar_t* name,
                       void (BackupRun::*body)()) {
    done = false;
    try {
        thread = std::thread([this, &done, name, body] {
            GuardCall(name, [this, body] { (this->*body)(); });
            done = true;
        });
    } catch (const std::system_error&) {
        done = true;
        return false;
    }
    return true;
}

void BackupRun::RunBackupThread() {
    if (RunBackup(dialog_.deviceLayer.state.pressKey) == 1) {
        dialog_.stepDelayMs = std::min(dialog_.stepDelayMs.load(), kFinishingDelayLimitMs);
        dialog_.copyFinished = 1;
    } else {
        dialog_.runEnded = 1;
        dialog_.backupRunning = 0;
        NotifyDevice(kPollRunFailed);
    }
}

int BackupRun::Refuse(const wchar_t* caption, Msg text) {
    dialog_.CallOnUiThread([this] { dialog_.EnableUi(false); });
    dialog_.ShowBox(caption, text, MB_ICONWARNING);
    dialog_.CallOnUiThread([this] { dialog_.EnableUi(true); });
    return 0;
}

void BackupRun::NotifyDevice(int mode) {
    PollState& state = dialog_.deviceLayer.state;
    if (state.notifyDevice == 1) {
        dialog_.deviceLayer.poller.PollDevice(1, state.pressDrive, mode);
        if (mode != kPollItemStarting) {
            state.notifyDevice = 0;
        }
    }
}

int BackupRun::RunBackup(int pressKey) {
    const auto bytes = ReadFileBytes(kPathListFile, kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status == PathListRead::Status::PathLost) {
        return Refuse(L"No Path File", Msg::PathLost);
    }
    const std::wstring& target = list.target;
    if (pressKey == 2 && dialog_.KeyDriveOf(target)) {
        return Refuse(L"Key Lost", Msg::KeyLost);
    }
    if (dialog_.serialCheckArmed == 1 && dialog_.CheckBackupVolume(target) == 0) {
        return Refuse(L"Different Volume", Msg::DiffVol);
    }
    CreateFolderPath(fs_, target);
    if (list.status != PathListRead::Status::Usable) {
        return 0;
    }

    const ScanTotals totals = PreScanSources(fs_, list.sources, target);
    dialog_.totalBytes = totals.totalBytes;
    dialog_.entryCount = static_cast<int>(totals.entryCount);
    dialog_.scanCounter = static_cast<int>(totals.entryCount);
    const std::optional<int> delay = ComputeStepDelay(totals.totalBytes, totals.entryCount);
    const bool emptyRun = !delay.has_value();
    dialog_.stepDelayMs = delay.value_or(kSmallRunDelayMs);
    dialog_.CallOnUiThread([this] { HoldControls(true); });
    if (!emptyRun) {
        dialog_.runEnded = 0;
        const std::optional<int> keyDrive = dialog_.KeyDriveOf(target);
        dialog_.targetOnKeyDrive = keyDrive ? 1 : 0;
        dialog_.targetKeyDrive = keyDrive.value_or(-1);
        if (!StartProgressThread()) {
            dialog_.deviceLayer.state.pollSkip = 2;
            dialog_.backupRunning = 0;
            dialog_.runEnded = 1;
            dialog_.CallOnUiThread([this] { HoldControls(false); });
            return 0;
        }
    }

    BackupWalker walker(fs_, dialog_.deviceLayer.state.devicePresent, *this, totals.totalBytes);
    bool copied = true;
    for (const std::wstring& source : list.sources) {
        NotifyDevice(kPollItemStarting);
        int result = 1;
        if (::IsDlgButtonChecked(dialog_.Handle(), IDC_COPY) == BST_CHECKED) {
            result = walker.CopyItem(source, target);
        } else if (::IsDlgButtonChecked(dialog_.Handle(), IDC_SYNC) == BST_CHECKED) {
            result = walker.SyncItem(source, target);
        }
        dialog_.copiedBytes = walker.CopiedBytes();
        if (result == 0) {
            copied = false;
            break;
        }
    }
    dialog_.entryCount = 0;
    dialog_.scanCounter = 0;
    dialog_.copiedBytes = 0;

    if (emptyRun) {
        if (copied) {
            dialog_.ShowBox(L"Information", Msg::CopyOver, MB_ICONINFORMATION);
        }
        dialog_.deviceLayer.state.pollSkip = 2;
        dialog_.CallOnUiThread([this] { HoldControls(false); });
        if (copied) {
            dialog_.backupRunning = 0;
            NotifyDevice(kPollRunComplete);
        }
    }
    if (!copied) {
        return 0;
    }

    const std::size_t lastSlash = target.rfind(L'\\');
    dialog_.CallOnUiThread([this, &target, lastSlash] {
        CTreeFileCtrl& tree = dialog_.TargetTree();
        if (!tree.IsDrive(target) && lastSlash != 2) {
            return;
        }
        if (HTREEITEM driveItem = tree.PathToItem(target.substr(0, 3)); driveItem != nullptr) {
            tree.SetHasChildren(driveItem, true);
        }
    });
    dialog_.WriteBackupRecord(target);
    dialog_.serialCheckArmed = 1;
    return 1;
}

bool BackupRun::StartProgressThread() {
    if (progressThread_.joinable()) {
        return false;
    }
    return Launch(progressThread_, progressThreadDone_, L"ProgressThread",
                  &BackupRun::ProgressThread);
}

int BackupRun::BarPosition() {
    return static_cast<int>(
        ::SendDlgItemMessageW(dialog_.Handle(), IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

void BackupRun::SlowDown() {
    ++dialog_.stepDelayMs;
}

void BackupRun::SetProgress(int position) {
    ::SendDlgItemMessageW(dialog_.Handle(), IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position),
                          0);
    if (progressWindowOpen_) {
        dialog_.progressDlg.SetPos(position);
    }
}

void BackupRun::Pause(int ms, bool endsWithRun) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(ms, 0));
    for (;;) {
        if (endsWithRun && (dialog_.runEnded != 0 || dialog_.DevicePresent() != 1)) {
            return;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) {
            return;
        }
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(end - now, kPauseSliceMs));
        if (progressWindowOpen_) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
            dialog_.progressDlg.PumpMessages();
        } else {
            ::Sleep(slice);
        }
    }
}

void BackupRun::ProgressThread() {
    progressWindowOpen_ = false;
    if (dialog_.inTray == 1) {
        dialog_.progressDlg.pos = 0;
        progressWindowOpen_ = dialog_.progressDlg.Create(dialog_.Handle());
    }
    while (dialog_.runEnded == 0 && dialog_.DevicePresent() == 1) {
        if (dialog_.copyFinished == 1) {
            for (const ProgressStep& step : FinishingSteps(BarPosition(), dialog_.stepDelayMs)) {
                SetProgress(step.position);
                Pause(step.pauseMs, false);
            }
            SetProgress(100);
            dialog_.ShowBox(L"Information", Msg::CopyOver, MB_ICONINFORMATION);
            dialog_.runEnded = 1;
            NotifyDevice(kPollRunComplete);
            break;
        }
        const int position = BarPosition();
        if (position >= kCopyingTop) {
            Pause(kWaitAtTopMs, true);
            continue;
        }
        if (dialog_.targetOnKeyDrive != 1 || dialog_.CheckKey(dialog_.targetKeyDrive) == 1) {
            SetProgress(position + kStepPoints);
        }
        Pause(dialog_.stepDelayMs, true);
    }
    dialog_.runEnded = 1;
    if (progressWindowOpen_) {
        dialog_.progressDlg.DestroyWindow();
        progressWindowOpen_ = false;
    }
    dialog_.deviceLayer.state.pollSkip = 2;
    dialog_.CallOnUiThread([this] { RestoreAfterRun(); });
}

void BackupRun::HoldControls(bool hold) {
    dialog_.EnableUi(!hold);
    dialog_.SourceTree().reselectAfterRefresh = hold ? 0 : 1;
    dialog_.TargetTree().reselectAfterRefresh = hold ? 0 : 1;
    if (hold) {
        keptSelection_ = dialog_.targetSelection;
    }
}

void BackupRun::RestoreAfterRun() {
    HoldControls(false);
    dialog_.backupRunning = 0;
    dialog_.TargetTree().SetSelectedPath(keptSelection_, true);
}

}  // namespace bexlo
