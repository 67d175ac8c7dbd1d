#include "backup/RestoreTask.h"

#include <system_error>
#include <utility>

namespace bexlo {

RestoreTask::~RestoreTask() {
    CancelAndWait();
}

bool RestoreTask::Start(Work work) {
    if (thread_.joinable()) {
        return false;
    }
    cancel_ = false;
    finished_ = false;
    files_ = 0;
    bytes_ = 0;
    try {
        thread_ = std::thread([this, work = std::move(work)] {
            outcome_ = work(*this);
            finished_.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RestoreTask::Progress(std::uint64_t files, std::uint64_t bytes) {
    files_ = files;
    bytes_ = bytes;
}

std::optional<RestoreOutcome> RestoreTask::Ended() {
    if (!thread_.joinable() || !finished_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    thread_.join();
    return std::move(outcome_);
}

std::optional<RestoreOutcome> RestoreTask::CancelAndWait() {
    if (!thread_.joinable()) {
        return std::nullopt;
    }
    Cancel();
    thread_.join();
    return std::move(outcome_);
}

}  // namespace bexlo
