#pragma once

// The counting pass: before a press writes anything, one listing of both sides that asks, for each
// file, the rule the walk will ask, and counts what the walk will do: the work the progress paces,
// the trees with nothing to do, and the copies it will replace, which the guard weighs and the
// versions' index names before the first one moves. It keeps counts and the replacements, never
// a list of every file.

#include <cstdint>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/PairJudge.h"
#include "backup/ReplaceGuard.h"
#include "backup/WalkRules.h"

namespace bexlo {

struct PressPlan {
    // The bytes and entries the walk will copy.
    std::uint64_t totalBytes = 0;
    std::uint32_t entryCount = 0;
    // Every entry below the sources, as the walk counts the entries it comes to.
    std::uint32_t allEntries = 0;
    // The folders with nothing to do in them, which the walk need not list again.
    UnchangedTrees unchanged;
    // The copies the press will replace, on either side.
    std::vector<Replacement> replacements;
    // Files on both sides.
    std::uint64_t onBothSides = 0;
};

// Counts what Copy or Synchronize will do below the usable saved sources. A pair whose data had
// to be read and was found the same has its record staged in the press's catalog, as the walk
// would.
PressPlan PlanPress(FileSystem& fs, PressContext context, bool synchronize,
                    const std::vector<std::wstring>& sources, const std::wstring& target);

}  // namespace bexlo
