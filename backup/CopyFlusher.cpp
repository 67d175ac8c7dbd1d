#include "backup/CopyFlusher.h"

#include <utility>

namespace bexlo {

CopyFlusher::CopyFlusher() : thread_([this] { Run(); }) {}

CopyFlusher::~CopyFlusher() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void CopyFlusher::Queue(std::size_t number, std::unique_ptr<StagedCopy> copy, bool handBack) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back({number, std::move(copy), handBack});
    }
    changed_.notify_all();
}

CopyFlusher::Drained CopyFlusher::Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
    return std::exchange(done_, {});
}

void CopyFlusher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || ending_; });
        if (queue_.empty()) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const bool flushed = job.copy->Flush();
        if (!job.handBack) {
            job.copy.reset();
        }
        lock.lock();
        busy_ = false;
        if (!flushed) {
            done_.failed.insert(job.number);
        }
        if (job.handBack) {
            done_.handedBack.emplace(job.number, std::move(job.copy));
        }
        changed_.notify_all();
    }
}

}  // namespace bexlo
