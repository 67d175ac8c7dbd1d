#pragma once

// A progress display that never moves, for walks the tests make without pacing.

#include "backup/Walkers.h"

namespace bexlo {

class StillBar : public ProgressFeedback {
public:
    int BarPosition() override { return 0; }
    void SlowDown() override {}
    void Copied(std::uint64_t) override {}
};

}  // namespace bexlo
