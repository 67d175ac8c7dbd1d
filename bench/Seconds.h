#pragma once

#include <chrono>

namespace bexlo::bench {

// Seconds since `start`, for the benchmarks' figures.
inline double SecondsSince(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bexlo::bench
