#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// Prints one figure as "bench NAME VALUE", the line the benchmark scripts read.
inline void Report(const char* name, double value) {
    std::printf("bench %s %.3f\n", name, value);
    std::fflush(stdout);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace bexlo::bench
