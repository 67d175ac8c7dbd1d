#pragma once

// What a restore says to the person: its progress and its end box, in the chosen language.

#include <cstddef>
#include <cstdint>
#include <string>

#include "backup/Restore.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// "Restoring: 12 of 40 files, 1.2 MB of 3.4 MB".
std::wstring RestoreProgressText(std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                                 std::uint64_t totalBytes, const MessageTexts& texts);

// The end box: how many files were restored and how many were already as kept, then each file
// that could not be restored with why; at most `listed` of them, then how many more.
std::wstring RestoreEndText(const RestoreOutcome& outcome, const MessageTexts& texts,
                            std::size_t listed = 15);

}  // namespace bexlo
