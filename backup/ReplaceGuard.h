#pragma once

// Before its first write a press counts the copies it will replace, on both sides, and looks for
// signs that the files about to replace them are damaged: it asks the person before replacing
// much of the backup at once, as ransomware or a broken program would have it do.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/VersionIndex.h"
#include "framework/DataFolder.h"

namespace bexlo {

enum class DamageSign {
    None,
    Empty,      // a file that had data holds nothing now
    Shrunk,     // under a tenth of the copy it replaces
    WrongType,  // its start no longer matches its extension
};

// What `start`, the first bytes of a file of this name and `size`, tells about it, set beside the
// `replacedSize` bytes of the copy it would replace. Zip-based office documents, PDF, JPEG and PNG
// are known by their start.
DamageSign SignOfDamage(const std::wstring& name, std::span<const std::uint8_t> start,
                        std::uint64_t size, std::uint64_t replacedSize);
// How many bytes SignOfDamage looks at.
inline constexpr std::size_t kDamageStartBytes = 8;

// One copy a press will replace.
struct Replacement {
    // The file that replaces it, long form, and its size.
    std::wstring from;
    std::uint64_t size = 0;
    VersionRecord replaced;
};

struct DamagedFile {
    std::wstring path;
    DamageSign sign = DamageSign::None;
};

// A sample of up to 200 of the replacing files, spread over the plan, and those among them that
// show a sign of damage.
struct DamageSample {
    std::uint64_t sampled = 0;
    std::vector<DamagedFile> damaged;
};
inline constexpr std::size_t kDamageSampleSize = 200;
DamageSample SampleDamage(FileSystem& fs, const std::vector<Replacement>& replacements);

struct GuardFigures {
    std::uint64_t replacing = 0;
    std::uint64_t onBothSides = 0;
    // The replacements of the last presses, up to 10.
    std::vector<std::uint64_t> history;
    std::uint64_t sampled = 0;
    std::uint64_t damaged = 0;
};

// Asks when at least 20 copies would be replaced and either 30 % of the files on both sides or
// more than 5 times the median of the last presses' replacements; or when at least 10 of the
// sampled files, or 5 % of the sample when at least 20 copies would be replaced, show damage. A
// press that replaces nothing never asks.
bool ShouldAsk(const GuardFigures& figures);

// The person's answer.
enum class GuardChoice { BackUpAll, OnlyNewFiles, Cancel };

// The replacements of the last presses, kept beside the run log: one count a line, newest last.
inline std::wstring ReplaceHistoryFile() {
    return DataFile(L"Replaced.txt");
}
inline constexpr std::size_t kHistoryLength = 10;
std::vector<std::uint64_t> ReadReplaceHistory(FileSystem& fs);
bool AppendReplaceHistory(FileSystem& fs, std::uint64_t replaced);

}  // namespace bexlo
