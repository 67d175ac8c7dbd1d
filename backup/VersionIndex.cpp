#include "backup/VersionIndex.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <set>
#include <tuple>

#include "backup/Utf16Text.h"
#include "backup/WalkRules.h"

namespace bexlo {

namespace {

constexpr std::int64_t kDay = 24LL * 3600 * 10'000'000;
constexpr std::int64_t kWeek = 7 * kDay;
// Days from 1601-01-01, a Monday, to 1970-01-01.
constexpr std::int64_t kDaysTo1970 = 134774;

constexpr std::u16string_view kHeader = u"Bexlo versions index 1";
constexpr std::u16string_view kEnd = u"end";

struct CivilDate {
    int year;
    unsigned month;
    unsigned day;
};

// The calendar date of a day counted from 1970-01-01.
CivilDate DateOfDay(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
    const int year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::u16string Field(std::int64_t value) {
    return ToUtf16(std::to_wstring(value));
}

template <typename Number>
std::optional<Number> NumberOf(std::u16string_view text) {
    std::string narrow;
    for (const char16_t c : text) {
        if (c > 0x7F) {
            return std::nullopt;
        }
        narrow += static_cast<char>(c);
    }
    Number value{};
    const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error != std::errc() || end != narrow.data() + narrow.size() || narrow.empty()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::u16string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// A path below a press folder: plain segments only, so that it never leads out of it.
bool IsStoredPath(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L":/") != std::wstring::npos) {
        return false;
    }
    const std::u16string text = ToUtf16(path);
    for (const std::u16string_view segment : Split(text, u'\\')) {
        if (segment.empty() || segment == u"." || segment == u"..") {
            return false;
        }
    }
    return true;
}

// A copy's record after a version's own fields: its hash ("-" for none), when it was made and last
// seen, and the source's and the copy's size, last-write time, change time and id.
constexpr std::size_t kCatalogFields = 11;

std::u16string CatalogFields(const CatalogRecord& record) {
    const std::string hash = record.hash ? HashText(*record.hash) : "-";
    std::u16string text = u"\t" + std::u16string(hash.begin(), hash.end());
    for (const std::int64_t value :
         {record.made, record.seen, static_cast<std::int64_t>(record.source.size),
          record.source.lastWrite, record.source.changeTime,
          static_cast<std::int64_t>(record.source.fileId),
          static_cast<std::int64_t>(record.copy.size), record.copy.lastWrite,
          record.copy.changeTime, static_cast<std::int64_t>(record.copy.fileId)}) {
        text += u"\t" + Field(value);
    }
    return text;
}

// Nothing when a field is not what it should be: a record half read is no record.
std::optional<CatalogRecord> ParseCatalogFields(std::span<const std::u16string_view> fields,
                                                const VersionRecord& version) {
    CatalogRecord record;
    record.name = LastSegment(version.original);
    if (fields[0] != u"-") {
        std::string hash;
        for (const char16_t c : fields[0]) {
            hash += c < 0x80 ? static_cast<char>(c) : '?';
        }
        ContentHash parsed;
        if (!ParseHashText(hash, parsed)) {
            return std::nullopt;
        }
        record.hash = parsed;
    }
    std::int64_t values[kCatalogFields - 1];
    for (std::size_t i = 0; i + 1 < kCatalogFields; ++i) {
        const auto value = NumberOf<std::int64_t>(fields[i + 1]);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    record.made = values[0];
    record.seen = values[1];
    record.source = {static_cast<std::uint64_t>(values[2]), values[3], values[4],
                     static_cast<std::uint64_t>(values[5])};
    record.copy = {static_cast<std::uint64_t>(values[6]), values[7], values[8],
                   static_cast<std::uint64_t>(values[9])};
    return record;
}

}  // namespace

std::vector<std::uint8_t> FormatVersionIndex(const std::vector<VersionRecord>& records,
                                             bool complete) {
    std::u16string text(kHeader);
    text += u"\r\n";
    for (const VersionRecord& record : records) {
        text += record.side == VersionSide::Pc ? u"pc\t" : u"backup\t";
        text += record.reason == VersionReason::Older ? u"older\t" : u"changed\t";
        text += Field(record.when) + u"\t" + Field(static_cast<std::int64_t>(record.size)) + u"\t" +
                Field(record.lastWrite) + u"\t" + ToUtf16(record.stored) + u"\t" +
                ToUtf16(record.original);
        if (record.record) {
            text += CatalogFields(*record.record);
        }
        text += u"\r\n";
    }
    if (complete) {
        text += std::u16string(kEnd) + u"\r\n";
    }
    return Utf16LeWithMark(text);
}

VersionIndex ParseVersionIndex(std::span<const std::uint8_t> bytes) {
    VersionIndex index;
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return index;
    }
    const std::u16string text = Utf16TextUpToNul(bytes.subspan(2));
    const std::vector<std::u16string_view> lines = Split(text, u'\n');
    if (lines.empty() || lines.front() != std::u16string(kHeader) + u"\r") {
        return index;
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::u16string_view line = lines[i];
        if (!line.ends_with(u'\r')) {
            break;
        }
        line.remove_suffix(1);
        if (line == kEnd) {
            index.complete = i + 2 == lines.size() && lines.back().empty();
            break;
        }
        const std::vector<std::u16string_view> fields = Split(line, u'\t');
        if ((fields.size() != 7 && fields.size() != 7 + kCatalogFields) ||
            (fields[0] != u"pc" && fields[0] != u"backup") ||
            (fields[1] != u"older" && fields[1] != u"changed")) {
            continue;
        }
        const auto when = NumberOf<std::int64_t>(fields[2]);
        const auto size = NumberOf<std::uint64_t>(fields[3]);
        const auto lastWrite = NumberOf<std::int64_t>(fields[4]);
        VersionRecord record{fields[0] == u"pc" ? VersionSide::Pc : VersionSide::Backup,
                             fields[1] == u"older" ? VersionReason::Older : VersionReason::Changed,
                             when.value_or(0),
                             size.value_or(0),
                             lastWrite.value_or(0),
                             FromUtf16(fields[5]),
                             FromUtf16(fields[6]),
                             std::nullopt};
        if (fields.size() > 7) {
            record.record = ParseCatalogFields(std::span(fields).subspan(7), record);
        }
        if (when && size && lastWrite && IsStoredPath(record.stored) && !record.original.empty()) {
            index.records.push_back(std::move(record));
        }
    }
    return index;
}

std::wstring PathInBackup(VersionSide side, const std::wstring& path,
                          const std::wstring& destination, const std::wstring& source) {
    if (side == VersionSide::Pc) {
        return LastSegment(source) + path.substr(std::min(path.size(), source.size()));
    }
    const std::size_t skip =
        destination.size() + (!destination.empty() && destination.back() == L'\\' ? 0 : 1);
    return path.substr(std::min(skip, path.size()));
}

std::wstring StoredName(VersionSide side, const std::wstring& relative) {
    return side == VersionSide::Pc ? std::wstring(kFromThePcName) + L'\\' + relative : relative;
}

std::wstring PressFolderName(std::int64_t when) {
    const std::int64_t days = FloorDiv(when, kDay);
    const std::int64_t seconds = (when - days * kDay) / 10'000'000;
    const CivilDate date = DateOfDay(days - kDaysTo1970);
    wchar_t name[32];
    std::swprintf(name, 32, L"%04d-%02u-%02u %02lld%02lld%02lld", date.year, date.month, date.day,
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60));
    return name;
}

std::vector<bool> VersionsToKeep(const std::vector<VersionAge>& versions, std::int64_t now) {
    std::vector<std::size_t> order(versions.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    // Each file's versions together, newest first.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(versions[a].file, versions[b].when) <
               std::tie(versions[b].file, versions[a].when);
    });
    std::vector<bool> keep(versions.size(), false);
    // The periods of each kind that a newer version of the file falls in, whatever its age.
    std::set<std::int64_t> seen[3];
    std::size_t rank = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const VersionAge& version = versions[order[i]];
        if (i == 0 || versions[order[i - 1]].file != version.file) {
            for (std::set<std::int64_t>& periods : seen) {
                periods.clear();
            }
            rank = 0;
        }
        const std::int64_t age = now - version.when;
        const std::int64_t day = FloorDiv(version.when, kDay);
        const CivilDate monday = DateOfDay(FloorDiv(day, 7) * 7 - kDaysTo1970);
        const std::int64_t periods[3] = {
            day, FloorDiv(day, 7), static_cast<std::int64_t>(monday.year) * 12 + monday.month};
        const int kind = age < 30 * kDay ? 0 : age < 26 * kWeek ? 1 : 2;
        const bool newestOfPeriod = !seen[kind].contains(periods[kind]);
        for (int k = 0; k < 3; ++k) {
            seen[k].insert(periods[k]);
        }
        keep[order[i]] = rank++ < kNewestVersionsKept || age < 7 * kDay || newestOfPeriod;
    }
    return keep;
}

bool VersionsFit(const VolumeSpace& space, std::uint64_t inVersions, std::uint64_t more,
                 std::uint64_t written) {
    return inVersions + more <= space.total / 4 && space.free >= space.total / 20 + written;
}

}  // namespace bexlo
