#include "app/OsVersion.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(OsVersion, MapsEveryPlatformToItsCode) {
    struct Case {
        PlatformVersion version;
        int expected;
    };
    const Case cases[] = {
        {{kPlatform9x, 4, 0}, 95},     // Windows 95
        {{kPlatform9x, 4, 9}, 95},     // the last 95-numbered minor
        {{kPlatform9x, 4, 10}, 98},    // Windows 98
        {{kPlatform9x, 4, 90}, 98},    // Windows Me
        {{kPlatformNt, 3, 51}, 1000},  // NT 3.51
        {{kPlatformNt, 4, 0}, 1000},   // NT 4
        {{kPlatformNt, 5, 0}, 2000},   // Windows 2000
        {{kPlatformNt, 5, 1}, 2002},   // XP
        {{kPlatformNt, 6, 1}, 2002},   // Windows 7
        {{kPlatformNt, 6, 0}, 2000},   // Vista: minor 0 counts as 2000, which still runs
        {{kPlatformNt, 10, 0}, 2000},  // Windows 10 and 11
        {{0, 3, 10}, kOsUnknown},      // Win32s
        {{3, 5, 0}, kOsUnknown},       // Windows CE
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.version.platformId << " "
                                        << c.version.major << "." << c.version.minor);
        EXPECT_EQ(DetectOsVersion(c.version), c.expected);
    }
}

TEST(OsVersion, OnlyWindows7WithServicePack1AndLaterRun) {
    EXPECT_FALSE(IsSupportedPlatform({kPlatform9x, 4, 10, 0}));
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 4, 0, 6}));
    EXPECT_FALSE(IsSupportedPlatform({7, 10, 0, 0}));
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 5, 1, 3}));  // XP
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 0, 2}));  // Vista
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 1, 0}));  // Windows 7
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 6, 1, 1}));   // Windows 7 SP1
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 6, 2, 0}));   // Windows 8, and 8.1 and 10
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 10, 0, 0}));  // Windows 10 and 11
}

}  // namespace
}  // namespace bexlo
