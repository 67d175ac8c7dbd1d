#include "backup/CopyFlusher.h"

#include <utility>

namespace bexlo {

CopyFlusher::CopyFlusher(const FileSystem& fs) : fs_(fs) {
    for (std::size_t i = 0; i < kThreads; ++i) {
        threads_.emplace_back([this] { Run(); });
    }
}

CopyFlusher::~CopyFlusher() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void CopyFlusher::Queue(std::size_t number, std::unique_ptr<StagedCopy> copy, Then then) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back({number, std::move(copy), then});
    }
    queued_.notify_one();
}

CopyFlusher::Drained CopyFlusher::Drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
    return std::exchange(done_, {});
}

CopyFlusher::Placed CopyFlusher::Place(StagedCopy& copy, CopyPlacing placing,
                                       const FileSystem& fs) {
    Placed placed;
    placed.state = copy.Place(placing);
    // The error is this thread's, asked before the copy goes.
    placed.error = placed.state ? 0 : fs.LastError();
    return placed;
}

void CopyFlusher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return !queue_.empty() || ending_; });
        if (queue_.empty()) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
        lock.unlock();
        bool flushed = false;
        Placed placed;
        if (job.then == Then::Place) {
            placed = Place(*job.copy, CopyPlacing::Durable, fs_);
        } else {
            flushed = job.copy->Flush();
        }
        job.copy.reset();
        lock.lock();
        --busy_;
        if (job.then == Then::Place) {
            done_.placed.emplace(job.number, placed);
        } else if (!flushed) {
            done_.failed.insert(job.number);
        }
        if (queue_.empty() && busy_ == 0) {
            idle_.notify_all();
        }
    }
}

}  // namespace bexlo
