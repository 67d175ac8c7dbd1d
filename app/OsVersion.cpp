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

}  // namespace bexlo
