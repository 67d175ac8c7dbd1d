#pragma once

// One restore on a thread of its own. The interface thread starts it, reads its progress and
// cancels it; nothing on the restoring thread touches a window, so the window that shows it looks
// at Now and Ended on a timer.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "backup/Restore.h"
#include "framework/WorkThread.h"

namespace bexlo {

class RestoreTask {
public:
    // The restore itself: it reports each file through Progress and stops before the next file
    // once Cancelled is set.
    using Work = std::function<RestoreOutcome(RestoreTask&)>;

    RestoreTask() = default;
    // Cancels the restore and waits for it.
    ~RestoreTask();
    RestoreTask(const RestoreTask&) = delete;
    RestoreTask& operator=(const RestoreTask&) = delete;

    // False while a restore is going or when no thread could be made.
    bool Start(Work work);
    bool Running() const { return thread_.Running(); }
    void Cancel() { cancel_ = true; }
    const std::atomic<bool>& Cancelled() const { return cancel_; }

    void Progress(std::uint64_t files, std::uint64_t bytes);
    struct Status {
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
    };
    Status Now() const { return {files_, bytes_}; }
    // The outcome once, after the thread has ended; nothing before.
    std::optional<RestoreOutcome> Ended() { return thread_.Ended(); }
    // Cancels the restore and gives its outcome once it has ended; nothing when none was going.
    std::optional<RestoreOutcome> CancelAndWait();

private:
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> files_{0};
    std::atomic<std::uint64_t> bytes_{0};
    // Last, so that it goes first and no restore outlives the fields it reports to.
    WorkThread<RestoreOutcome> thread_;
};

}  // namespace bexlo
