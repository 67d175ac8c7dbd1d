#pragma once

// Flushes copies through their own handles on a thread of its own, so that the work goes on
// copying while the disk catches up.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "backup/FileSystem.h"

namespace bexlo {

class CopyFlusher {
public:
    CopyFlusher();
    // Waits for the copies still being flushed.
    ~CopyFlusher();
    CopyFlusher(const CopyFlusher&) = delete;
    CopyFlusher& operator=(const CopyFlusher&) = delete;

    // `copy` must flush on any thread. It is closed once flushed, or, with `handBack`, kept for
    // Drain to hand back.
    void Queue(std::size_t number, std::unique_ptr<StagedCopy> copy, bool handBack = false);

    struct Drained {
        // The numbers of the copies whose flush failed.
        std::set<std::size_t> failed;
        // The copies queued with `handBack`, by number.
        std::map<std::size_t, std::unique_ptr<StagedCopy>> handedBack;
    };
    // Waits until every copy queued has been flushed.
    Drained Drain();

private:
    struct Job {
        std::size_t number;
        std::unique_ptr<StagedCopy> copy;
        bool handBack;
    };

    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    Drained done_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace bexlo
