#pragma once

// path.txt: the saved destination and source items, in the byte layout that other
// installations read and write (UTF-16LE, no byte-order mark, LF line ends).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/DataFolder.h"

namespace bexlo {

inline std::wstring PathListFile() {
    return DataFile(L"path.txt");
}
// path.txt holds at most 99 records of a platform path each; anything past this is not read.
inline constexpr std::size_t kPathListReadLimit = 256 * 1024;

// The most source items a list holds: the count field has two characters.
inline constexpr std::size_t kItemLimit = 99;
// The platform's path limit, without the terminator.
inline constexpr std::size_t kMaxPathChars = 259;

// The whole file as Save writes it: the header, then one record for each of the first
// kItemLimit sources. The caller writes it under a temporary name and moves it over the old file.
std::vector<std::uint8_t> PathListBytes(const std::wstring& target,
                                        const std::vector<std::wstring>& sources);

struct PathListRead {
    enum class Status {
        Usable,
        // A marker is missing, or the destination is empty or longer than a path can be: the run
        // shows "No Path File". A file that cannot be opened is the same.
        PathLost,
        // The item count is unreadable: the run ends without a message after its checks.
        BadCount,
        // A record is missing or unreadable: the run ends without a message before copying.
        BadRecord,
    };
    Status status = Status::PathLost;
    // Set for every status but PathLost: the run checks it before it reads the count.
    std::wstring target;
    // Set only when the file is usable, in saved order.
    std::vector<std::wstring> sources;
};

// Reads a path list from the bytes of the file; any bytes give a result.
PathListRead ReadPathList(std::span<const std::uint8_t> bytes);

}  // namespace bexlo
