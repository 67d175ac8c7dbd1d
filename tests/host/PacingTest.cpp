#include "backup/Pacing.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr std::uint64_t kGiB = 1024 * kMiB;

TEST(Pacing, StepDelayFollowsTheSizeAndNumberOfEntries) {
    EXPECT_EQ(ComputeStepDelay(0, 0), std::nullopt);
    EXPECT_EQ(ComputeStepDelay(0, 5000), std::nullopt);
    EXPECT_EQ(ComputeStepDelay(1, 1), 20);
    EXPECT_EQ(ComputeStepDelay(512 * kKiB, 200), 20);
    EXPECT_EQ(ComputeStepDelay(512 * kKiB, 201), 70);
    EXPECT_EQ(ComputeStepDelay(400 * kKiB, 450), 120);
    EXPECT_EQ(ComputeStepDelay(3 * kMiB, 10), 8);
    EXPECT_EQ(ComputeStepDelay(3 * kMiB, 201), 48);
    EXPECT_EQ(ComputeStepDelay(512 * kKiB + 1, 0), 1);
    EXPECT_EQ(ComputeStepDelay(kGiB, 150), 2730);
    // Sizes past 4 GiB count in full.
    EXPECT_EQ(ComputeStepDelay(6 * kGiB, 150), 16384);
}

// However long the run's pause, the finishing steps take about 150 ms in all, so the end shows
// soon after the last byte.
TEST(Pacing, FinishingIsQuickAndShrinksBy8) {
    const auto total = [](const std::vector<ProgressStep>& steps) {
        int sum = 0;
        for (const ProgressStep& step : steps) {
            sum += step.pauseMs;
        }
        return sum;
    };
    const std::vector<ProgressStep> fromTop = FinishingSteps(94, 2730);
    ASSERT_EQ(fromTop.size(), 2u);
    EXPECT_EQ(fromTop[0].position, 97);
    EXPECT_EQ(fromTop[0].pauseMs, 75);
    EXPECT_EQ(fromTop[1].position, 100);
    EXPECT_EQ(fromTop[1].pauseMs, 67);

    const std::vector<ProgressStep> fromStart = FinishingSteps(0, 2730);
    ASSERT_EQ(fromStart.size(), 33u);
    EXPECT_EQ(fromStart.back().position, 99);
    EXPECT_LE(total(fromStart), kFinishingTotalMs);
    EXPECT_LE(total(FinishingSteps(50, 400)), kFinishingTotalMs);

    // Short pauses stop shrinking once at 13 ms or below.
    const std::vector<ProgressStep> quick = FinishingSteps(85, 20);
    ASSERT_EQ(quick.size(), 5u);
    EXPECT_EQ(quick[0].pauseMs, 20);
    EXPECT_EQ(quick[1].pauseMs, 12);
    EXPECT_EQ(quick[4].pauseMs, 12);
    EXPECT_TRUE(FinishingSteps(98, 100).empty());
}

TEST(Pacing, TheBarIsAheadOnlyWhenItsPositionPassesTheWholePercent) {
    EXPECT_FALSE(AheadOfCopiedBytes(512, 1000, 51));
    EXPECT_TRUE(AheadOfCopiedBytes(512, 1000, 52));
    EXPECT_FALSE(AheadOfCopiedBytes(0, 0, 90));
    EXPECT_FALSE(AheadOfCopiedBytes(5 * kGiB, 10 * kGiB, 50));
    EXPECT_TRUE(AheadOfCopiedBytes(5 * kGiB - 1, 10 * kGiB, 50));
}

}  // namespace
}  // namespace bexlo
