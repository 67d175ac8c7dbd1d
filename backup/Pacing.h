#pragma once

// The pacing of the progress animation: the bar climbs 3 points per pause, the pause chosen from
// the size of the work; the walkers lengthen it while the bar runs ahead of the bytes copied.

#include <cstdint>
#include <optional>
#include <vector>

namespace bexlo {

// How far the bar climbs a step, while copying and while finishing.
inline constexpr int kStepPoints = 3;
inline constexpr int kSmallRunDelayMs = 20;
// The finishing steps start from at most this pause.
inline constexpr int kFinishingDelayLimitMs = 500;
// ... and take about this long together, so that the end shows soon after the last byte.
inline constexpr int kFinishingTotalMs = 150;

// ComputeStepDelay: the pause per step for the measured work, or nothing when there are no bytes
// to copy (an empty run, shown without the progress thread).
std::optional<int> ComputeStepDelay(std::uint64_t totalBytes, std::uint32_t entryCount);

struct ProgressStep {
    int position = 0;
    int pauseMs = 0;
};

// Once the run has succeeded: the bar runs from `position` to 99 or 100 in 3-point steps, each
// followed by a pause that starts at the run's pause, at most kFinishingDelayLimitMs and at most
// kFinishingTotalMs shared out over the steps, and shrinks by 8 ms a step while above 13 ms.
std::vector<ProgressStep> FinishingSteps(int position, int stepDelayMs);

// True when the bar stands ahead of the share of bytes copied, so the pause grows by 1 ms.
bool AheadOfCopiedBytes(std::uint64_t copiedBytes, std::uint64_t totalBytes, int barPosition);

}  // namespace bexlo
