#pragma once

// What a restore says to the person: its progress, its end box and its entry in the run log, in
// the chosen language.

#include <cstddef>
#include <cstdint>
#include <string>

#include "backup/Restore.h"
#include "backup/RunLog.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// "Restoring: 12 of 40 files, 1.2 MB of 3.4 MB".
std::wstring RestoreProgressText(std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                                 std::uint64_t totalBytes, const MessageTexts& texts);

// The end box: how many files were restored and how many were already as kept, then each file
// that could not be restored with why; at most `listed` of them, then how many more.
std::wstring RestoreEndText(const RestoreOutcome& outcome, const MessageTexts& texts,
                            std::size_t listed = 15);

// The run log's entry of a restore from the backup in `destination`: the files written and the
// files already the same, each file not restored with why, and how it ended.
RunLogEntry RestoreLogEntry(const RestoreOutcome& outcome, const std::wstring& destination,
                            const std::wstring& started, const std::wstring& ended,
                            const MessageTexts& texts);

}  // namespace bexlo
