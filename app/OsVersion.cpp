#include "app/OsVersion.h"

namespace bexlo {

int DetectOsVersion(const PlatformVersion& version) {
    if (version.platformId == kPlatform9x) {
        return version.minor < 10 ? 95 : 98;
    }
    if (version.platformId == kPlatformNt) {
        if (version.major < 5) {
            return 1000;
        }
        return version.minor == 0 ? 2000 : 2002;
    }
    return kOsUnknown;
}

bool IsSupportedPlatform(const PlatformVersion& version) {
    if (version.platformId != kPlatformNt) {
        return false;
    }
    if (version.major != 6) {
        return version.major > 6;
    }
    return version.minor > 1 || (version.minor == 1 && version.servicePack >= 1);
}

}  // namespace bexlo
