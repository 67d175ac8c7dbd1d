#pragma once

// The run log beside path.txt: what each run did, in UTF-16LE with a byte-order mark and CRLF
// line ends, so that Notepad opens it. The oldest runs are dropped to keep it below about 1 MiB.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

inline constexpr wchar_t kRunLogFile[] = L"C:\\Program Files\\Travenor\\BXL\\RunLog.txt";
inline constexpr std::size_t kRunLogLimitBytes = 1 << 20;

struct RunLogEntry {
    std::wstring started;
    std::wstring ended;
    std::wstring mode;
    std::wstring destination;
    std::uint64_t filesCopied = 0;
    std::uint64_t bytesCopied = 0;
    // Each entry not copied, with its reason.
    std::vector<std::pair<std::wstring, std::wstring>> failures;
    std::wstring result;
};

// One run's lines, each ended by CRLF.
std::wstring FormatRunLogEntry(const RunLogEntry& entry);

// The whole file after `entry`: the runs already in `existing` and the new one, the oldest runs
// dropped while the file would be past `limit` bytes. A file that is not such a log starts anew.
std::vector<std::uint8_t> AppendToRunLog(std::span<const std::uint8_t> existing,
                                         const std::wstring& entry, std::size_t limit);

// Appends one run to the log file; false when it could not be written.
bool AppendRunLog(FileSystem& fs, const RunLogEntry& entry);

// The local time as the log shows it: "2026-12-07 14:05:09".
std::wstring LocalTimeText();

}  // namespace bexlo
