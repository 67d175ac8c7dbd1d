#include "backup/Pacing.h"

#include <algorithm>
#include <limits>

namespace bexlo {

namespace {

constexpr std::uint64_t kSmallRunBytes = 0x80000;
constexpr std::uint32_t kManyEntries = 200;
constexpr int kFinishingStepCount = 33;
constexpr int kShrinkMs = 8;

}  // namespace

std::optional<int> ComputeStepDelay(std::uint64_t totalBytes, std::uint32_t entryCount) {
    if (totalBytes == 0) {
        return std::nullopt;
    }
    std::uint64_t delay = 0;
    if (totalBytes <= kSmallRunBytes) {
        delay = kSmallRunDelayMs;
        if (entryCount > kManyEntries) {
            delay += 50 * (entryCount / kManyEntries);
        }
    } else {
        // 1 ms for every 384 KiB: the 256 KiB units divided by 1.5, truncated.
        const auto units = static_cast<std::uint32_t>(totalBytes >> 18);
        delay = std::uint64_t{units} * 2 / 3;
        if (entryCount > kManyEntries) {
            delay += 40;
        }
    }
    return static_cast<int>(std::min<std::uint64_t>(delay, std::numeric_limits<int>::max()));
}

std::vector<ProgressStep> FinishingSteps(int position, int stepDelayMs) {
    std::vector<ProgressStep> steps;
    const int count = std::clamp((100 - position) / kStepPoints, 1, kFinishingStepCount);
    int pause = std::min({stepDelayMs, kFinishingDelayLimitMs, kFinishingTotalMs / count});
    for (int i = 0; i < kFinishingStepCount && position <= 100 - kStepPoints; ++i) {
        position += kStepPoints;
        steps.push_back({position, pause});
        if (pause > 13) {
            pause -= kShrinkMs;
        }
    }
    return steps;
}

bool AheadOfCopiedBytes(std::uint64_t copiedBytes, std::uint64_t totalBytes, int barPosition) {
    if (totalBytes == 0) {
        return false;
    }
    return copiedBytes * 100 / totalBytes < static_cast<std::uint64_t>(std::max(barPosition, 0));
}

}  // namespace bexlo
