#include "backup/BackupRun.h"

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <system_error>

#include "backup/BackupRecord.h"
#include "backup/Pacing.h"
#include "backup/PathList.h"
#include "framework/Guard.h"

namespace bexlo {

namespace {

// path.txt holds at most 99 records of a platform path each; anything past this is not read.
constexpr std::size_t kPathListReadLimit = 256 * 1024;
constexpr int kStepPoints = 3;
// The bar waits here until the run thread reports the end.
constexpr int kCopyingTop = 94;
constexpr int kWaitAtTopMs = 20;
// Longest stretch a pause goes without looking at the run's state and the window's messages.
constexpr int kPauseSliceMs = 50;

}  // namespace

std::optional<int> KeyDriveOf(const std::vector<int>& keyDrives, const std::wstring& path) {
    for (int drive : keyDrives) {
        if (!path.empty() && std::towupper(path[0]) == static_cast<wint_t>(L'A' + drive)) {
            return drive;
        }
    }
    return std::nullopt;
}

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

bool BackupRun::Start(RunInputs inputs) {
    if (state.backupRunning == 1 || !runThreadDone_ || !progressThreadDone_) {
        return false;
    }
    Join();
    inputs_ = std::move(inputs);
    // Set before the thread starts, so that neither a second press nor a minimise slips in.
    state.backupRunning = 1;
    state.copyFinished = 0;
    if (!Launch(runThread_, runThreadDone_, &BackupRun::RunBackupThread)) {
        state.backupRunning = 0;
        return false;
    }
    return true;
}

bool BackupRun::Launch(std::thread& thread, std::atomic<bool>& done, void (BackupRun::*body)()) {
    done = false;
    try {
        thread = std::thread([this, &done, body] {
            (this->*body)();
            done = true;
        });
    } catch (const std::system_error&) {
        done = true;
        return false;
    }
    return true;
}

void BackupRun::RunBackupThread() {
    int result = 0;
    if (!GuardCall(L"RunBackupThread", [this, &result] { result = RunBackup(); })) {
        // Give back whatever the run held, unless the progress thread is there to do it.
        if (!progressStarted_) {
            GuardCall(L"RunBackupThread", [this] { host_.ReleaseControls(false); });
        }
        result = 0;
    }
    if (result == 1) {
        state.stepDelayMs = std::min(state.stepDelayMs.load(), kFinishingDelayLimitMs);
        state.copyFinished = 1;
        return;
    }
    state.runEnded = 1;
    state.backupRunning = 0;
    GuardCall(L"RunBackupThread", [this] { host_.NotifyDevice(RunMessage::Failed); });
}

int BackupRun::Refuse(const wchar_t* caption, Msg text) {
    host_.ShowRefusal(caption, text);
    return 0;
}

void BackupRun::HoldControls() {
    host_.HoldControls();
    state.barPosition = 0;
}

int BackupRun::RunBackup() {
    progressStarted_ = false;
    const auto bytes = fs_.ReadFileBytes(kPathListFile, kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status == PathListRead::Status::PathLost) {
        return Refuse(L"No Path File", Msg::PathLost);
    }
    const std::wstring& target = list.target;
    const std::optional<int> keyDrive = KeyDriveOf(inputs_.keyDrives, target);
    if (inputs_.pressKey == 2 && keyDrive) {
        return Refuse(L"Key Lost", Msg::KeyLost);
    }
    if (state.serialCheckArmed == 1 && CheckBackupVolume(fs_, target) == 0) {
        return Refuse(L"Different Volume", Msg::DiffVol);
    }
    CreateFolderPath(fs_, target);
    if (list.status != PathListRead::Status::Usable) {
        return 0;
    }

    const ScanTotals totals = PreScanSources(fs_, list.sources, target);
    state.totalBytes = totals.totalBytes;
    state.copiedBytes = 0;
    const std::optional<int> delay = ComputeStepDelay(totals.totalBytes, totals.entryCount);
    const bool emptyRun = !delay.has_value();
    state.stepDelayMs = delay.value_or(kSmallRunDelayMs);
    HoldControls();
    if (!emptyRun) {
        state.runEnded = 0;
        state.targetKeyDrive = keyDrive.value_or(-1);
        progressStarted_ = StartProgressThread();
        if (!progressStarted_) {
            state.backupRunning = 0;
            state.runEnded = 1;
            host_.ReleaseControls(false);
            return 0;
        }
    }

    BackupWalker walker(fs_, host_.EnclosurePresent(), *this, totals.totalBytes);
    bool copied = true;
    for (const std::wstring& source : list.sources) {
        host_.NotifyDevice(RunMessage::ItemStarting);
        int result = 1;
        if (inputs_.mode == RunMode::Copy) {
            result = walker.CopyItem(source, target);
        } else if (inputs_.mode == RunMode::Sync) {
            result = walker.SyncItem(source, target);
        }
        state.copiedBytes = walker.CopiedBytes();
        if (result == 0) {
            copied = false;
            break;
        }
    }

    if (emptyRun) {
        if (copied) {
            host_.ShowBox(L"Information", Msg::CopyOver, BoxIcon::Information);
        }
        host_.ReleaseControls(false);
        if (copied) {
            state.backupRunning = 0;
            host_.NotifyDevice(RunMessage::Complete);
        }
    }
    if (!copied) {
        return 0;
    }
    host_.ShowTargetHasFolders(target);
    WriteBackupRecord(fs_, inputs_.mode == RunMode::Sync ? BackupType::Sync : BackupType::Copy,
                      target);
    state.serialCheckArmed = 1;
    return 1;
}

bool BackupRun::StartProgressThread() {
    if (progressThread_.joinable()) {
        return false;
    }
    return Launch(progressThread_, progressThreadDone_, &BackupRun::ProgressThread);
}

void BackupRun::SetProgress(int position) {
    state.barPosition = position;
    host_.SetProgress(position);
}

void BackupRun::Pause(int ms, bool endsWithRun) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        if (endsWithRun && (state.runEnded != 0 || !DevicePresent())) {
            return;
        }
        const Clock::time_point now = Clock::now();
        if (now >= end) {
            return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        const int slice = static_cast<int>(std::min<long long>(left, kPauseSliceMs));
        if (progressWindowOpen_) {
            host_.WaitPaintingProgress(slice);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
    }
}

void BackupRun::ProgressThread() {
    if (!GuardCall(L"ProgressThread", [this] { AnimateProgress(); })) {
        GuardCall(L"ProgressThread", [this] { host_.NotifyDevice(RunMessage::Failed); });
    }
    state.runEnded = 1;
    GuardCall(L"ProgressThread", [this] {
        if (progressWindowOpen_) {
            progressWindowOpen_ = false;
            host_.CloseProgressWindow();
        }
    });
    GuardCall(L"ProgressThread", [this] { host_.ReleaseControls(true); });
    state.barPosition = 0;
    state.backupRunning = 0;
}

void BackupRun::AnimateProgress() {
    progressWindowOpen_ = inputs_.inTray && host_.OpenProgressWindow();
    while (state.runEnded == 0 && DevicePresent()) {
        if (state.copyFinished == 1) {
            for (const ProgressStep& step : FinishingSteps(state.barPosition, state.stepDelayMs)) {
                SetProgress(step.position);
                Pause(step.pauseMs, false);
            }
            SetProgress(100);
            host_.ShowBox(L"Information", Msg::CopyOver, BoxIcon::Information);
            state.runEnded = 1;
            host_.NotifyDevice(RunMessage::Complete);
            return;
        }
        const int position = state.barPosition;
        if (position >= kCopyingTop) {
            Pause(kWaitAtTopMs, true);
            continue;
        }
        const int keyDrive = state.targetKeyDrive;
        if (keyDrive < 0 || host_.CheckKey(keyDrive) == 1) {
            SetProgress(position + kStepPoints);
        }
        Pause(state.stepDelayMs, true);
    }
}

}  // namespace bexlo
