#pragma once

#include <cstdlib>

namespace bexlo::fuzz {

// Ends the run on a broken promise; the fuzzer keeps the input that broke it.
inline void Holds(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace bexlo::fuzz
