#pragma once

// Flushes copies through their own handles on threads of its own, so that the work goes on
// copying while the disk catches up.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

class CopyFlusher {
public:
    // `fs` made the copies: it tells why one could not be placed.
    explicit CopyFlusher(const FileSystem& fs);
    // Waits for the copies still being flushed.
    ~CopyFlusher();
    CopyFlusher(const CopyFlusher&) = delete;
    CopyFlusher& operator=(const CopyFlusher&) = delete;

    // What becomes of a copy once its data is on the disk.
    enum class Then {
        Close,  // it was placed already
        Place,  // it takes its name, never over another entry
    };
    // `copy` must work on any thread. It is closed once flushed, and placed first with `Place`.
    void Queue(std::size_t number, std::unique_ptr<StagedCopy> copy, Then then = Then::Close);

    struct Placed {
        // Nothing when it was not placed, for `error`.
        std::optional<FileState> state;
        std::uint32_t error = 0;
    };
    // Places `copy` on the calling thread, with why it could not be from `fs`, which made it.
    static Placed Place(StagedCopy& copy, CopyPlacing placing, const FileSystem& fs);

    struct Drained {
        // The numbers of the copies queued to be closed whose flush failed.
        std::set<std::size_t> failed;
        // The copies queued to be placed, by number.
        std::map<std::size_t, Placed> placed;
    };
    // Waits until every copy queued has been flushed.
    Drained Drain();

private:
    struct Job {
        std::size_t number;
        std::unique_ptr<StagedCopy> copy;
        Then then;
    };

    void Run();

    // A flush mostly waits for the disk: while one thread waits, the other places or closes.
    static constexpr std::size_t kThreads = 2;

    const FileSystem& fs_;
    std::mutex mutex_;
    // Work for the threads, and all of it done.
    std::condition_variable queued_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    Drained done_;
    std::size_t busy_ = 0;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace bexlo
