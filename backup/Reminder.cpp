#include "backup/Reminder.h"

#include <algorithm>
#include <ctime>
#include <cwctype>
#include <limits>
#include <string_view>

#include "backup/Utf16Text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace bexlo {

namespace {

constexpr std::wstring_view kDaysKey = L"Days";
constexpr std::wstring_view kCompleteKey = L"Complete";
constexpr std::wstring_view kSinceKey = L"WatchedSince";
constexpr std::wstring_view kRemindedKey = L"Reminded";
constexpr std::wstring_view kCheckAfterPressKey = L"CheckAfterPress";
constexpr std::wstring_view kCheckMinutesKey = L"CheckMinutes";
constexpr std::wstring_view kPressesKey = L"PressesSinceCheck";
constexpr std::wstring_view kCheckedKey = L"Checked";
constexpr std::wstring_view kRoundKey = L"CheckRound";

// The file's text: UTF-16LE after its mark, else each byte a character (the setting is ASCII).
std::wstring DecodeText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return FromUtf16(Utf16TextUpToNul(bytes.subspan(2)));
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes = bytes.subspan(3);
    }
    return std::wstring(bytes.begin(), bytes.end());
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::wstring Trimmed(std::wstring_view text) {
    while (!text.empty() && std::iswspace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::iswspace(text.back())) {
        text.remove_suffix(1);
    }
    return std::wstring(text);
}

std::optional<std::int64_t> ParseNumber(const std::wstring& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (wchar_t c : text) {
        const int digit = c - L'0';
        if (digit < 0 || digit > 9 ||
            value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// The value of `key` when `line` sets it ("Key=value", blanks and case aside).
std::optional<std::wstring> ValueOf(const std::wstring& line, std::wstring_view key) {
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) {
        return std::nullopt;
    }
    const std::wstring name = Trimmed(std::wstring_view(line).substr(0, equals));
    if (name.size() != key.size() ||
        !std::equal(name.begin(), name.end(), key.begin(),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); })) {
        return std::nullopt;
    }
    return Trimmed(std::wstring_view(line).substr(equals + 1));
}

std::wstring Lowered(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

std::wstring TwoDigitText(int value) {
    std::wstring text = std::to_wstring(value);
    return text.size() < 2 ? L"0" + text : text;
}

}  // namespace

ReminderSetting ParseReminderSetting(std::span<const std::uint8_t> bytes) {
    ReminderSetting setting;
    bool daysRead = false;
    for (const std::wstring& line : Lines(DecodeText(bytes))) {
        if (const auto value = ValueOf(line, kDaysKey); value && !daysRead) {
            daysRead = true;
            const std::wstring lower = Lowered(*value);
            const std::optional<std::int64_t> days = ParseNumber(lower);
            if (lower == L"never") {
                setting.days = std::nullopt;
            } else if (days && *days >= 1 && *days <= kMostReminderDays) {
                setting.days = static_cast<int>(*days);
            }
        } else if (const auto after = ValueOf(line, kCheckAfterPressKey)) {
            const std::wstring lower = Lowered(*after);
            setting.checkAfterPress = lower == L"yes" || lower == L"1" || lower == L"true";
        } else if (const auto minutes = ValueOf(line, kCheckMinutesKey)) {
            const std::optional<std::int64_t> number = ParseNumber(*minutes);
            setting.checkMinutes = number && *number >= 1 && *number <= kMostCheckMinutes
                                       ? static_cast<int>(*number)
                                       : kDefaultCheckMinutes;
        }
    }
    return setting;
}

ReminderSetting ReadReminderSetting(FileSystem& fs) {
    const auto bytes = fs.ReadFileBytes(ReminderSettingFile(), kReminderFileLimit);
    return bytes ? ParseReminderSetting(*bytes) : ReminderSetting{};
}

std::vector<std::uint8_t> FormatBackupHistory(const BackupHistory& history) {
    std::wstring text;
    const auto line = [&text](std::wstring_view key, std::optional<std::int64_t> value) {
        if (value) {
            text += std::wstring(key) + L"=" + std::to_wstring(*value) + L"\r\n";
        }
    };
    line(kCompleteKey, history.lastComplete);
    line(kSinceKey, history.watchedSince);
    line(kRemindedKey, history.lastReminded);
    line(kRoundKey, history.checkRound);
    if (history.pressesSinceCheck > 0) {
        line(kPressesKey, history.pressesSinceCheck);
    }
    for (const auto& [when, bytes] : history.checks) {
        text += std::wstring(kCheckedKey) + L"=" + std::to_wstring(when) + L"," +
                std::to_wstring(bytes) + L"\r\n";
    }
    return Utf16LeWithMark(ToUtf16(text));
}

BackupHistory ParseBackupHistory(std::span<const std::uint8_t> bytes) {
    BackupHistory history;
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return history;
    }
    for (const std::wstring& line : Lines(DecodeText(bytes))) {
        for (const auto& [key, field] : {std::pair{kCompleteKey, &history.lastComplete},
                                         std::pair{kSinceKey, &history.watchedSince},
                                         std::pair{kRemindedKey, &history.lastReminded},
                                         std::pair{kRoundKey, &history.checkRound}}) {
            if (const auto value = ValueOf(line, key)) {
                *field = ParseNumber(*value);
            }
        }
        if (const auto presses = ValueOf(line, kPressesKey)) {
            history.pressesSinceCheck = ParseNumber(*presses).value_or(0);
        }
        if (const auto check = ValueOf(line, kCheckedKey)) {
            const std::size_t comma = check->find(L',');
            const auto when = ParseNumber(check->substr(0, comma));
            const auto bytes =
                comma == std::wstring::npos ? std::nullopt : ParseNumber(check->substr(comma + 1));
            if (when && bytes) {
                history.checks.emplace_back(*when, static_cast<std::uint64_t>(*bytes));
            }
        }
    }
    return history;
}

BackupHistory ReadBackupHistory(FileSystem& fs) {
    const auto bytes = fs.ReadFileBytes(LastBackupFile(), kReminderFileLimit);
    return bytes ? ParseBackupHistory(*bytes) : BackupHistory{};
}

bool WriteBackupHistory(FileSystem& fs, const BackupHistory& history) {
    return fs.WriteFileReplacing(LastBackupFile(), FormatBackupHistory(history));
}

bool RecordCompleteBackup(FileSystem& fs, std::int64_t when) {
    BackupHistory history = ReadBackupHistory(fs);
    history.lastComplete = when;
    return WriteBackupHistory(fs, history);
}

void AddCheck(BackupHistory& history, std::int64_t when, std::uint64_t bytes) {
    std::erase_if(history.checks, [when](const auto& check) {
        return check.first > when || when - check.first >= kCheckWindowDays * kTicksPerDay;
    });
    // One line a day keeps the file small whatever a rolling check after each press adds.
    if (!history.checks.empty() &&
        history.checks.back().first / kTicksPerDay == when / kTicksPerDay) {
        history.checks.back().first = when;
        history.checks.back().second += bytes;
    } else {
        history.checks.emplace_back(when, bytes);
    }
    history.pressesSinceCheck = 0;
}

std::uint64_t BytesCheckedRecently(const BackupHistory& history, std::int64_t now) {
    std::uint64_t bytes = 0;
    for (const auto& [when, read] : history.checks) {
        if (when <= now && now - when < kCheckWindowDays * kTicksPerDay) {
            bytes += read;
        }
    }
    return bytes;
}

LocalMoment LocalMomentOf(std::int64_t ticks) {
    LocalMoment moment;
#if defined(_WIN32)
    const auto plain = static_cast<std::uint64_t>(ticks);
    const FILETIME utc{static_cast<DWORD>(plain & 0xFFFFFFFF), static_cast<DWORD>(plain >> 32)};
    FILETIME local{};
    SYSTEMTIME parts{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &parts)) {
        return moment;
    }
    moment.day =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(local.dwHighDateTime) << 32) |
                                  local.dwLowDateTime) /
        kTicksPerDay;
    moment.year = parts.wYear;
    moment.month = parts.wMonth;
    moment.dayOfMonth = parts.wDay;
    moment.hour = parts.wHour;
    moment.minute = parts.wMinute;
#else
    // The clock counts from 1601; the C library from 1970.
    constexpr std::int64_t kEpochDifference = 11'644'473'600LL;
    const std::time_t seconds =
        static_cast<std::time_t>(ticks / kTicksPerSecond - kEpochDifference);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    moment.day = (ticks / kTicksPerSecond + parts.tm_gmtoff) / 86'400;
    moment.year = parts.tm_year + 1900;
    moment.month = parts.tm_mon + 1;
    moment.dayOfMonth = parts.tm_mday;
    moment.hour = parts.tm_hour;
    moment.minute = parts.tm_min;
#endif
    return moment;
}

std::optional<std::int64_t> DaysWithoutBackup(const BackupHistory& history, std::int64_t now) {
    const std::optional<std::int64_t> since =
        history.lastComplete ? history.lastComplete : history.watchedSince;
    if (!since) {
        return std::nullopt;
    }
    return now > *since ? (now - *since) / kTicksPerDay : 0;
}

bool BackupLate(const BackupHistory& history, const ReminderSetting& setting, std::int64_t now) {
    const std::optional<std::int64_t> days = DaysWithoutBackup(history, now);
    return setting.days && days && *days >= *setting.days;
}

bool ReminderDue(const BackupHistory& history, const ReminderSetting& setting, std::int64_t now,
                 ReminderOccasion occasion, bool runActive, const LocalCalendar& calendar) {
    if (runActive || !BackupLate(history, setting, now)) {
        return false;
    }
    if (!history.lastReminded) {
        return true;
    }
    // A clock put back must not make the person wait for a day that already went.
    if (*history.lastReminded > now) {
        return true;
    }
    if (calendar(*history.lastReminded).day == calendar(now).day) {
        return false;
    }
    return occasion == ReminderOccasion::Logon || now - *history.lastReminded >= kTicksPerDay;
}

std::wstring WhenText(std::int64_t when, std::int64_t now, const LocalCalendar& calendar,
                      const MessageTexts& texts) {
    const LocalMoment then = calendar(when);
    const LocalMoment today = calendar(now);
    const std::wstring time = TwoDigitText(then.hour) + L":" + TwoDigitText(then.minute);
    if (then.day == today.day) {
        return texts[Msg::Today] + L" " + time;
    }
    if (then.day + 1 == today.day) {
        return texts[Msg::Yesterday] + L" " + time;
    }
    return std::to_wstring(then.year) + L"-" + TwoDigitText(then.month) + L"-" +
           TwoDigitText(then.dayOfMonth) + L" " + time;
}

std::wstring BackupSummary(const SummaryFacts& facts, std::int64_t now,
                           const LocalCalendar& calendar, const MessageTexts& texts,
                           std::wstring_view between, std::size_t limit) {
    const std::wstring when =
        std::wstring(between) + texts[Msg::LastBackup] + L" " +
        (facts.lastComplete ? WhenText(*facts.lastComplete, now, calendar, texts)
                            : texts[Msg::NoBackupYet]);
    if (facts.sources == 0) {
        return texts[Msg::NothingSaved] + when;
    }
    const std::wstring before = std::to_wstring(facts.sources) + L" " +
                                texts[facts.sources == 1 ? Msg::OneFolderTo : Msg::FoldersTo] +
                                L" ";
    const std::wstring after = L", " + facts.modeName + L".";
    std::wstring target = facts.target;
    const std::size_t rest = before.size() + after.size() + when.size();
    if (limit != std::wstring::npos && rest + target.size() > limit) {
        // The drive and the last folder say most; the middle goes.
        const std::size_t room = limit > rest + 1 ? limit - rest - 1 : 0;
        const std::size_t head = std::min<std::size_t>({3, room, target.size()});
        target = target.substr(0, head) + L"\u2026" +
                 target.substr(target.size() - std::min(target.size() - head, room - head));
    }
    return before + target + after + when;
}

std::wstring ReminderText(const BackupHistory& history, std::int64_t now,
                          const MessageTexts& texts) {
    std::wstring text;
    if (history.lastComplete) {
        text = texts[Msg::DaysSinceBackup] + L" " +
               std::to_wstring(DaysWithoutBackup(history, now).value_or(0));
    } else {
        text = texts[Msg::NoBackupMade];
    }
    return text + L"\n" + texts[Msg::AttachAndPress];
}

}  // namespace bexlo
