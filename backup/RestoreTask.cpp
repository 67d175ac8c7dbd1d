#include "backup/RestoreTask.h"

#include <utility>

namespace bexlo {

RestoreTask::~RestoreTask() {
    CancelAndWait();
}

bool RestoreTask::Start(Work work) {
    if (thread_.Running()) {
        return false;
    }
    cancel_ = false;
    files_ = 0;
    bytes_ = 0;
    return thread_.Start([this, work = std::move(work)] { return work(*this); });
}

void RestoreTask::Progress(std::uint64_t files, std::uint64_t bytes) {
    files_ = files;
    bytes_ = bytes;
}

std::optional<RestoreOutcome> RestoreTask::CancelAndWait() {
    Cancel();
    return thread_.Join();
}

}  // namespace bexlo
