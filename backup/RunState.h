#pragma once

// What a backup run shares between the interface thread, the run thread and the progress thread,
// and what the interface thread hands the run when it starts.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/PcPlaces.h"

namespace bexlo {

enum class RunMode { Copy, Sync, None };

// Taken on the interface thread when a press starts the run, so that no worker thread reads a
// control.
struct RunInputs {
    // The radio checked at the press; with neither, every item is passed over.
    RunMode mode = RunMode::Copy;
    // The press kind the device layer reported (2: the key is out).
    int pressKey = 1;
    // The dialog sits in the notification area: the progress window shows the run.
    bool inTray = false;
    // The family-1 enclosure drives, where the key is checked.
    std::vector<int> keyDrives;
    // This PC's identity, which its records in a destination's catalog are kept under.
    std::wstring machine = L"this PC";
    // Where this PC keeps the person's folders, which the backup carries for a new PC.
    PcPlaces places{};
};

// The key drive that `path` lies on, if any.
std::optional<int> KeyDriveOf(const std::vector<int>& keyDrives, const std::wstring& path);

struct RunState {
    // 1 from the press to the end of the run: the shell refuses to hide, show or exit meanwhile.
    std::atomic<int> backupRunning{0};
    // The run thread walked every item: the progress thread finishes the display.
    std::atomic<int> copyFinished{0};
    // Tells the progress thread to stop.
    std::atomic<int> runEnded{0};
    // Pause between two steps of the progress animation.
    std::atomic<int> stepDelayMs{0};
    // Where the progress thread last put the bar; the walkers compare it with the bytes copied.
    std::atomic<int> barPosition{0};
    // The pre-scan's measure and what the walkers have copied of it.
    std::atomic<std::uint64_t> totalBytes{0};
    std::atomic<std::uint64_t> copiedBytes{0};
    // The key drive holding the destination, or -1: the bar climbs only while its key answers.
    std::atomic<int> targetKeyDrive{-1};
    // Save clears it; a run into another volume is refused while it is 1.
    std::atomic<int> serialCheckArmed{1};
};

}  // namespace bexlo
