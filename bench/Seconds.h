#pragma once

#include <chrono>
#include <cstdint>

#include "backup/Walkers.h"

namespace bexlo::bench {

// The walkers' progress feedback, unused: the benchmarks time the walk alone.
class NoProgress : public ProgressFeedback {
public:
    int BarPosition() override { return 0; }
    void SlowDown() override {}
    void Copied(std::uint64_t) override {}
};

// Seconds since `start`, for the benchmarks' figures.
inline double SecondsSince(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bexlo::bench
