#include "app/OsVersion.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(OsVersion, MapsEveryPlatformToItsCodeAndRunsFromWindows7WithServicePack1) {
    const std::pair<PlatformVersion, int> codes[] = {
        {{kPlatform9x, 4, 9}, 95},    {{kPlatform9x, 4, 10}, 98},  {{kPlatformNt, 4, 0}, 1000},
        {{kPlatformNt, 5, 0}, 2000},  {{kPlatformNt, 6, 1}, 2002}, {{kPlatformNt, 6, 0}, 2000},
        {{kPlatformNt, 10, 0}, 2000}, {{0, 3, 10}, kOsUnknown},
    };
    for (const auto& [version, code] : codes) {
        EXPECT_EQ(DetectOsVersion(version), code) << version.major << "." << version.minor;
    }
    EXPECT_FALSE(IsSupportedPlatform({kPlatform9x, 4, 10, 0}));
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 0, 2}));  // Vista
    EXPECT_FALSE(IsSupportedPlatform({kPlatformNt, 6, 1, 0}));  // Windows 7
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 6, 1, 1}));   // Windows 7 SP1
    EXPECT_TRUE(IsSupportedPlatform({kPlatformNt, 10, 0, 0}));  // Windows 10 and 11
}

}  // namespace
}  // namespace bexlo
