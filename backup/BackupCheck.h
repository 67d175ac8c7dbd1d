#pragma once

// Reading the backup back: each backup copy and each kept version of a destination is read once,
// sequentially, and compared with the hash its record kept when it was written, so that a disk
// that decays is found before the day its copies are needed.

#include <cstdint>
#include <string>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

struct CheckFinding {
    // The copy or kept version on the enclosure, full path.
    std::wstring path;
    enum class Kind { ReadsDifferent, Unreadable, Missing } kind = Kind::ReadsDifferent;
    // A kept version, not a backup copy.
    bool version = false;
    // A backup copy whose source still holds what was backed up: the next press copies it again.
    bool repairable = false;
};

struct CheckOutcome {
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesGood = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t filesRead = 0;
    std::vector<CheckFinding> damaged;
    // Stopped by the person or the budget; the next check goes on where this one stopped.
    bool cancelled = false;
    // Every copy and version has been read since the oldest of them was last read.
    bool allChecked = false;
    // Nothing to check against: no catalog of this PC in the destination.
    bool noCatalog = false;
};

class CheckFeedback {
public:
    virtual ~CheckFeedback() = default;
    // From the checking thread, now and then: bytes read so far of `total`.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;
    // True once the check should stop; asked between reads.
    virtual bool StopRequested() = 0;
};

// Reads back every backup copy and kept version of `destination` for the PC `machine`, oldest
// checked first, within `budgetMs` (0: no budget).
CheckOutcome CheckBackup(FileSystem& fs, const std::wstring& destination,
                         const std::wstring& machine, std::int64_t now, std::uint64_t budgetMs,
                         CheckFeedback& feedback);

}  // namespace bexlo
