#pragma once

// One piece of work on a thread of its own, whose outcome the thread that started it collects
// once it has ended: by looking (Ended, from a timer) or by waiting (Join). The starter tells the
// work to stop by its own means before it waits.

#include <atomic>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace bexlo {

template <typename Outcome>
class WorkThread {
public:
    WorkThread() = default;
    ~WorkThread() { Join(); }
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // False while work is going or when no thread could be made.
    bool Start(std::function<Outcome()> work) {
        if (thread_.joinable()) {
            return false;
        }
        finished_ = false;
        try {
            thread_ = std::thread([this, work = std::move(work)] {
                outcome_ = work();
                finished_.store(true, std::memory_order_release);
            });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }
    bool Running() const { return thread_.joinable(); }
    // The outcome once, after the work has ended; nothing before.
    std::optional<Outcome> Ended() {
        if (!thread_.joinable() || !finished_.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        return Join();
    }
    // Waits for the work and gives its outcome once; nothing when none was going.
    std::optional<Outcome> Join() {
        if (!thread_.joinable()) {
            return std::nullopt;
        }
        thread_.join();
        return std::move(outcome_);
    }

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
    // Written by the working thread before finished_ is set.
    Outcome outcome_;
};

}  // namespace bexlo
