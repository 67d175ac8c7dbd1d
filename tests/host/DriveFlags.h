#pragma once

#include <array>
#include <vector>

#include "device/DeviceRecord.h"

namespace bexlo {

// The drive numbers whose entry in a per-drive table is set.
inline std::vector<int> Flagged(const std::array<int, kDriveCount>& flags) {
    std::vector<int> drives;
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (flags[drive] != 0) {
            drives.push_back(drive);
        }
    }
    return drives;
}

}  // namespace bexlo
