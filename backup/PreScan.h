#pragma once

// The pre-scan: before a run writes anything, what it will copy, so that the progress paces that
// work and Copy passes over the trees where there is none.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/Walkers.h"

namespace bexlo {

struct ScanTotals {
    // The bytes and entries the walk will copy.
    std::uint64_t totalBytes = 0;
    std::uint32_t entryCount = 0;
    // Every entry below the sources, as the walk counts the entries it comes to.
    std::uint32_t allEntries = 0;
    // For Copy: the folders with nothing to do in them, which the walk need not list again.
    UnchangedTrees unchanged;
};

// PreScanSources: the entries and bytes below the usable saved sources. A saved source that is a
// file counts as one entry of its size, since Copy copies it too. For Copy (`lastCompleteRun`
// given, as for the walker), files whose backup copy is the same are not counted as work.
ScanTotals PreScanSources(FileSystem& fs, const std::vector<std::wstring>& sources,
                          const std::wstring& target,
                          std::optional<std::int64_t> lastCompleteRun = std::nullopt);

}  // namespace bexlo
