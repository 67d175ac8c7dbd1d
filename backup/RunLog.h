#pragma once

// The run log beside path.txt: what each run did, in UTF-16LE with a byte-order mark and CRLF
// line ends, so that Notepad opens it. The oldest runs are dropped to keep it below about 1 MiB.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "backup/FileSystem.h"
#include "framework/DataFolder.h"

namespace bexlo {

inline std::wstring RunLogFile() {
    return DataFile(L"RunLog.txt");
}
inline constexpr std::size_t kRunLogLimitBytes = 1 << 20;

struct RunLogEntry {
    std::wstring started;
    std::wstring ended;
    std::wstring mode;
    std::wstring destination;
    // What the run asked before replacing many files, and the answer; empty when it did not ask.
    std::wstring asked;
    // How the destination's catalog was found, when not as it should be; empty when it was.
    std::wstring catalog;
    std::uint64_t filesCopied = 0;
    std::uint64_t bytesCopied = 0;
    // Files Copy passed over because their backup copy was already the same.
    std::uint64_t filesUnchanged = 0;
    // Each entry not copied, with its reason.
    std::vector<std::pair<std::wstring, std::wstring>> failures;
    // The backup copies a press did not replace because only new files were to be copied.
    std::vector<std::wstring> held;
    // For a check of the backup instead of a press: what it read back; `failures` are then the
    // copies it found damaged.
    struct ReadBack {
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        std::uint64_t good = 0;
    };
    std::optional<ReadBack> readBack;
    std::wstring result;
};

// One run's lines, each ended by CRLF. A run that has only begun (no result yet) has no "Ended"
// line: a log whose last run has none holds a run that never ended.
std::wstring FormatRunLogEntry(const RunLogEntry& entry);

// Whether the bytes are such a log (an empty file is none).
bool IsRunLog(std::span<const std::uint8_t> bytes);

// The whole file after `entry`: the runs already in `existing` and the new one, the oldest runs
// dropped while the file would be past `limit` bytes. A last run that never ended is closed with a
// line that says so, unless `entry` is that run's end, which takes its place. A file that is not
// such a log starts anew.
std::vector<std::uint8_t> AppendToRunLog(std::span<const std::uint8_t> existing,
                                         const std::wstring& entry, std::size_t limit);

// Appends one run, or its beginning, to the log file; false when it could not be written. A file
// there that is not a log is kept aside under a name of its own, never written over, and a log
// that cannot be read is left as it is.
bool AppendRunLog(FileSystem& fs, const RunLogEntry& entry);

// Closes a last run that never ended (the program or the computer stopped during it), so that
// the log says so from the next start on. A file there that is no log is left as it is.
bool CloseUnfinishedRun(FileSystem& fs);

// The local time as the log shows it: "2026-12-07 14:05:09".
std::wstring LocalTimeText();

}  // namespace bexlo
