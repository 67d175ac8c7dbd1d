#pragma once

// One check of the backup on a thread of its own. The interface thread starts it, reads its
// progress and asks it to stop; nothing on the checking thread touches a window, so the thread
// that shows it looks at Progress and Ended on a timer.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "backup/BackupCheck.h"
#include "framework/WorkThread.h"

namespace bexlo {

class CheckTask : private CheckFeedback {
public:
    using Work = std::function<CheckOutcome(CheckFeedback&)>;

    CheckTask() = default;
    // Stops the check and waits for it.
    ~CheckTask() override;
    CheckTask(const CheckTask&) = delete;
    CheckTask& operator=(const CheckTask&) = delete;

    // False while a check is going or when no thread could be made.
    bool Start(Work work);
    bool Running() const { return thread_.Running(); }
    // The check stops between two reads; what it finished stays checked.
    void Stop() { stop_ = true; }

    struct Status {
        std::uint64_t done = 0;
        std::uint64_t total = 0;
        // Seconds left at the pace so far; none until the pace is known.
        std::optional<std::int64_t> secondsLeft;
    };
    Status Now() const;
    // The outcome once, after the thread has ended; nothing before.
    std::optional<CheckOutcome> Ended() { return thread_.Ended(); }
    // Stops the check and gives its outcome once it has ended; nothing when none was going.
    std::optional<CheckOutcome> StopAndWait();

private:
    void Progress(std::uint64_t done, std::uint64_t total) override;
    bool StopRequested() override { return stop_; }

    std::chrono::steady_clock::time_point started_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    // Last, so that it goes first and no check outlives the fields it reports to.
    WorkThread<CheckOutcome> thread_;
};

// The time left when `done` of `total` took `elapsedMs`: none while too little is known to say.
std::optional<std::int64_t> SecondsLeft(std::uint64_t done, std::uint64_t total,
                                        std::int64_t elapsedMs);

}  // namespace bexlo
