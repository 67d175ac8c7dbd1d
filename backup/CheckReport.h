#pragma once

// What a check of the backup says to the person: its progress, its end box and its lines in the
// run log, in the chosen language.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "backup/BackupCheck.h"
#include "backup/RunLog.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// "512 bytes", "1.2 MB", "3 GB": one decimal below 10 units, in the language's units and mark.
std::wstring SizeText(std::uint64_t bytes, const MessageTexts& texts);

// "Read: 120 MB of 1.0 GB", and on a second line "Time left: about 3 min" once it is known.
std::wstring CheckProgressText(std::uint64_t done, std::uint64_t total,
                               std::optional<std::int64_t> secondsLeft, const MessageTexts& texts);

// The end box: how much was read and how much of it was good, each damaged copy by its path and
// what the next press will repair; at most `listed` paths, then how many more.
std::wstring CheckEndText(const CheckOutcome& outcome, const MessageTexts& texts,
                          std::size_t listed = 15);

// The check's entry in the run log.
RunLogEntry CheckLogEntry(const CheckOutcome& outcome, const std::wstring& destination,
                          const std::wstring& started, const std::wstring& ended,
                          const MessageTexts& texts);

}  // namespace bexlo
