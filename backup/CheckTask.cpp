#include "backup/CheckTask.h"

#include <utility>

namespace bexlo {

namespace {

// Below these the pace says little: the first reads wait for the disk to spin up.
constexpr std::int64_t kLeastElapsedMs = 2000;
constexpr std::uint64_t kLeastShare = 100;  // 1 %, in units of 0.01 %

}  // namespace

std::optional<std::int64_t> SecondsLeft(std::uint64_t done, std::uint64_t total,
                                        std::int64_t elapsedMs) {
    if (done == 0 || done > total || elapsedMs < kLeastElapsedMs ||
        done < total / 10'000 * kLeastShare) {
        return std::nullopt;
    }
    const long double left = static_cast<long double>(total - done) * elapsedMs / done / 1000;
    return static_cast<std::int64_t>(left + 0.5L);
}

CheckTask::~CheckTask() {
    Stop();
}

bool CheckTask::Start(Work work) {
    if (thread_.Running()) {
        return false;
    }
    stop_ = false;
    done_ = 0;
    total_ = 0;
    started_ = std::chrono::steady_clock::now();
    return thread_.Start([this, work = std::move(work)] { return work(*this); });
}

void CheckTask::Progress(std::uint64_t done, std::uint64_t total) {
    total_ = total;
    done_ = done;
}

CheckTask::Status CheckTask::Now() const {
    Status now{done_, total_, std::nullopt};
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    now.secondsLeft = SecondsLeft(now.done, now.total, elapsed.count());
    return now;
}

std::optional<CheckOutcome> CheckTask::StopAndWait() {
    Stop();
    return thread_.Join();
}

}  // namespace bexlo
