#include "backup/ReplaceGuard.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr std::uint64_t kLeastReplaced = 20;
constexpr std::uint64_t kLeastDamaged = 10;
constexpr std::size_t kHistoryReadLimit = 4096;

struct KnownStart {
    std::wstring_view extension;
    std::string_view start;
};

constexpr std::string_view kZip("PK\x03\x04", 4);
constexpr std::array<KnownStart, 16> kKnownStarts{{
    {L".docx", kZip},
    {L".docm", kZip},
    {L".xlsx", kZip},
    {L".xlsm", kZip},
    {L".pptx", kZip},
    {L".pptm", kZip},
    {L".odt", kZip},
    {L".ods", kZip},
    {L".odp", kZip},
    {L".zip", kZip},
    {L".pdf", "%PDF"},
    {L".jpg", "\xFF\xD8\xFF"},
    {L".jpeg", "\xFF\xD8\xFF"},
    {L".jpe", "\xFF\xD8\xFF"},
    {L".png", "\x89PNG\r\n\x1A\n"},
    {L".jfif", "\xFF\xD8\xFF"},
}};

}  // namespace

DamageSign SignOfDamage(const std::wstring& name, std::span<const std::uint8_t> start,
                        std::uint64_t size, std::uint64_t replacedSize) {
    if (size == 0 && replacedSize > 0) {
        return DamageSign::Empty;
    }
    if (size < replacedSize / 10) {
        return DamageSign::Shrunk;
    }
    const std::wstring folded = FoldCase(name);
    for (const KnownStart& known : kKnownStarts) {
        if (!folded.ends_with(FoldCase(known.extension))) {
            continue;
        }
        const bool matches =
            start.size() >= known.start.size() &&
            std::equal(known.start.begin(), known.start.end(), start.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
        return matches ? DamageSign::None : DamageSign::WrongType;
    }
    return DamageSign::None;
}

DamageSample SampleDamage(FileSystem& fs, const std::vector<Replacement>& replacements) {
    DamageSample sample;
    const std::size_t count = replacements.size();
    sample.sampled = std::min(count, kDamageSampleSize);
    for (std::size_t i = 0; i < sample.sampled; ++i) {
        const Replacement& replacement = replacements[i * count / sample.sampled];
        const std::vector<std::uint8_t> start =
            fs.ReadFileBytes(replacement.from, kDamageStartBytes)
                .value_or(std::vector<std::uint8_t>{});
        const DamageSign sign = SignOfDamage(LastSegment(replacement.from), start, replacement.size,
                                             replacement.replaced.size);
        if (sign != DamageSign::None) {
            sample.damaged.push_back({PlainPath(replacement.from), sign});
        }
    }
    return sample;
}

bool ShouldAsk(const GuardFigures& figures) {
    const std::uint64_t replacing = figures.replacing;
    if (replacing == 0) {
        return false;
    }
    std::vector<std::uint64_t> history = figures.history;
    std::sort(history.begin(), history.end());
    const std::size_t n = history.size();
    const bool aboveUsual = n > 0 && replacing * 2 > 5 * (history[(n - 1) / 2] + history[n / 2]);
    const bool many =
        replacing >= kLeastReplaced && (replacing * 10 >= figures.onBothSides * 3 || aboveUsual);
    const bool damaged =
        figures.damaged >= kLeastDamaged || (replacing >= kLeastReplaced && figures.sampled > 0 &&
                                             figures.damaged * 20 >= figures.sampled);
    return many || damaged;
}

std::vector<std::uint64_t> ReadReplaceHistory(FileSystem& fs) {
    const std::vector<std::uint8_t> bytes =
        fs.ReadFileBytes(ReplaceHistoryFile(), kHistoryReadLimit)
            .value_or(std::vector<std::uint8_t>{});
    std::vector<std::uint64_t> history;
    std::uint64_t value = 0;
    bool digits = false;
    // A line that is no count is left out whole.
    bool other = false;
    for (const std::uint8_t byte : bytes) {
        if (byte == '\n') {
            if (digits && !other) {
                history.push_back(value);
            }
            value = 0;
            digits = other = false;
        } else if (byte >= '0' && byte <= '9' && value < (1ull << 48)) {
            value = value * 10 + (byte - '0');
            digits = true;
        } else if (byte != '\r') {
            other = true;
        }
    }
    if (history.size() > kHistoryLength) {
        history.erase(history.begin(), history.end() - kHistoryLength);
    }
    return history;
}

bool AppendReplaceHistory(FileSystem& fs, std::uint64_t replaced) {
    std::vector<std::uint64_t> history = ReadReplaceHistory(fs);
    history.push_back(replaced);
    if (history.size() > kHistoryLength) {
        history.erase(history.begin());
    }
    std::string text;
    for (const std::uint64_t count : history) {
        text += std::to_string(count) + "\r\n";
    }
    return fs.WriteFileReplacing(
        ReplaceHistoryFile(),
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace bexlo
