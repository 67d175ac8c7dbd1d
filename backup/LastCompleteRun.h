#pragma once

// When the last Copy run that ended complete began, for one saved list and destination volume:
// a file not changed since then, whose backup copy has its size and last-write time, is passed
// over. Kept in the data folder beside path.txt; a new list or another volume starts anew.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "backup/FileSystem.h"

namespace bexlo {

inline constexpr wchar_t kLastCompleteRunFile[] = L"C:\\Program Files\\Travenor\\BXL\\LastRun.txt";

// The file's bytes for a run that began at `started`.
std::string LastCompleteRunText(std::span<const std::uint8_t> pathList,
                                std::optional<std::uint32_t> volumeSerial, std::int64_t started);
// When the run recorded in `text` began, if it was made for this list and volume; else 0.
std::int64_t ReadLastCompleteRunText(std::string_view text, std::span<const std::uint8_t> pathList,
                                     std::optional<std::uint32_t> volumeSerial);

std::int64_t ReadLastCompleteRun(FileSystem& fs, std::span<const std::uint8_t> pathList,
                                 std::optional<std::uint32_t> volumeSerial);
bool WriteLastCompleteRun(FileSystem& fs, std::span<const std::uint8_t> pathList,
                          std::optional<std::uint32_t> volumeSerial, std::int64_t started);

}  // namespace bexlo
