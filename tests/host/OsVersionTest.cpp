#include "app/OsVersion.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(OsVersion, RunsFromWindows7WithServicePack1) {
    EXPECT_FALSE(IsSupportedPlatform({kPlatform9x, 4, 10, 0}));
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 0, 2}));  // Vista
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 1, 0}));  // Windows 7
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 6, 1, 1}));   // Windows 7 SP1
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 10, 0, 0}));  // Windows 10 and 11
}

}  // namespace
}  // namespace bexlo
