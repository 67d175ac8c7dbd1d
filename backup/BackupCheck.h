#pragma once

// The check that reads a destination's backup back: every backup copy and kept version of this PC,
// read once in large pieces and held against the hash recorded when it was written. A disk decays,
// and a copy that was right when written can read different years later; a copy found so is
// marked in the catalog, and the next press copies it again from a source that still holds what
// was backed up.
//
// The longest unchecked are read first, and what a check has read is written to the catalog as it
// goes: a check cut short, by the person or by its budget, is taken up by the next where it
// stopped, and no file is read twice before every other has been read once. A file cut in the
// middle of its read is read again from its start.
//
// A kept version found damaged goes aside into "Bexlo versions\Damaged" and out of its press
// folder's index, so that thinning and a restore never take it for a good one.

#include <cstdint>
#include <string>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

struct CheckFinding {
    // Full path of the copy or kept version on the enclosure, where the check read it.
    std::wstring path;
    enum class Kind { ReadsDifferent, Unreadable, Missing } kind;
    // A kept version, not a backup copy.
    bool version = false;
    // A backup copy whose source still holds what was backed up: the next press copies it again.
    bool repairable = false;
};

struct CheckOutcome {
    std::uint64_t bytesRead = 0, bytesGood = 0, bytesTotal = 0;
    std::uint64_t filesRead = 0;
    std::vector<CheckFinding> damaged;
    // Stopped by the person or the budget; the next check resumes where this stopped.
    bool cancelled = false;
    // Every copy and version was read, by this check or an earlier one, since it was last
    // written.
    bool allChecked = false;
    // Nothing to check against: the destination has no catalog of ours.
    bool noCatalog = false;
};

class CheckFeedback {
public:
    virtual ~CheckFeedback() = default;
    // From the checking thread, now and then (not per buffer): bytes read so far of bytesTotal.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;
    // True once the check should stop (cancel, budget); checked between buffers.
    virtual bool StopRequested() = 0;
};

// The size of each read: large enough that the disk streams, where Wine or a volume reads through
// the system's cache and its read-ahead falls short of it.
inline constexpr std::size_t kCheckBuffer = 4 << 20;

// Reads back every backup copy and kept version of `destination` for this PC (`machine`),
// oldest-checked first. `budgetMs` 0 = no budget; the budget is looked at between files, so that
// each check reads at least one. `now` from fs.CurrentTime(). A round of checks that began at
// `roundStart` (the `now` of its first check) has read what was checked since: a check that goes
// on with that round reads only the rest; `roundStart` 0, or `now`, reads everything.
CheckOutcome CheckBackup(FileSystem& fs, const std::wstring& destination,
                         const std::wstring& machine, std::int64_t now, std::uint64_t budgetMs,
                         CheckFeedback& feedback, std::int64_t roundStart = 0);

}  // namespace bexlo
