#pragma once

#include <cstdint>

namespace bexlo {

// The part of the platform's version record that decides whether the program runs.
struct PlatformVersion {
    std::uint32_t platformId = 0;  // 1: Windows 9x family, 2: NT family
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t servicePack = 0;
};

inline constexpr std::uint32_t kPlatform9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

// Version codes: 95 and 98 (9x family), 1000 (NT 4 and older), 2000, 2002 (XP and later).
inline constexpr int kOsUnknown = -1;
inline constexpr int kOsWindows2000 = 2000;

// The version code of a platform; kOsUnknown for a family that is neither 9x nor NT.
int DetectOsVersion(const PlatformVersion& version);

// The program runs on Windows 7 with Service Pack 1 and later only: it uses calls that came with
// Windows 7 (large-fetch file search, 64-bit tick counts, per-window message filters).
bool IsSupportedPlatform(const PlatformVersion& version);

}  // namespace bexlo
