// The progress bar of a run: paced by the bytes the run thread reports, stepped on its own
// thread, with its pauses painting the window.

#include <algorithm>
#include <chrono>
#include <thread>

#include "backup/BackupRun.h"
#include "backup/Pacing.h"
#include "framework/Guard.h"

namespace bexlo {

namespace {

// The bar waits here until the run thread reports the end.
constexpr int kCopyingTop = 94;
constexpr int kWaitAtTopMs = 20;
// Longest stretch a pause goes without looking at the run's state and the window's messages.
constexpr int kPauseSliceMs = 50;

}  // namespace

void BackupRun::Copied(std::uint64_t bytes) {
    state.copiedBytes = bytes;
}

int BackupRun::CopiedShare() const {
    const std::uint64_t total = state.totalBytes;
    return total == 0 ? 0 : static_cast<int>(state.copiedBytes * 100 / total);
}

bool BackupRun::StartProgressThread() {
    if (progressThread_.joinable()) {
        return false;
    }
    return Launch(progressThread_, &BackupRun::ProgressThread);
}

void BackupRun::SetProgress(int position) {
    state.barPosition = position;
    host_.SetProgress(position);
}

void BackupRun::Pause(int ms, bool endsWithRun) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        // A copying pause ends with the run, and as soon as the bar falls behind the bytes below
        // the top: at the top it waits for the end, which would otherwise spin through the last
        // bytes without painting the window.
        if (endsWithRun && (state.runEnded != 0 || state.copyFinished != 0 || !DevicePresent() ||
                            state.barPosition < std::min(CopiedShare(), kCopyingTop))) {
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
    GuardCall(L"ProgressThread", [this] { AnimateProgress(); });
    // Gone before the end box shows.
    GuardCall(L"ProgressThread", [this] {
        if (progressWindowOpen_) {
            progressWindowOpen_ = false;
            host_.CloseProgressWindow();
        }
    });
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
            // Behind the bytes already copied, the bar catches up without pausing.
            if (state.barPosition < CopiedShare()) {
                continue;
            }
        }
        Pause(state.stepDelayMs, true);
    }
}

}  // namespace bexlo
