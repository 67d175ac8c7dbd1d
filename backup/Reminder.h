#pragma once

// Knowing when the backup is late: the last press that walked to its end, kept in the data folder,
// the person's setting of how many days may pass without one, and the rule of when a late backup
// is said: once at logon and once a day after that, never during a run, never twice a day.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/FileSystem.h"
#include "framework/DataFolder.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// The clock's units (the platform's file times): 100 ns.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

inline std::wstring LastBackupFile() {
    return DataFile(L"LastBackup.txt");
}
inline std::wstring ReminderSettingFile() {
    return DataFile(L"Reminder.txt");
}

inline constexpr int kDefaultReminderDays = 7;
inline constexpr int kMostReminderDays = 90;
// Longer than any setting file a person writes, and than a history of 30 days of checks.
inline constexpr std::size_t kReminderFileLimit = 16384;

inline constexpr int kDefaultCheckMinutes = 2;
inline constexpr int kMostCheckMinutes = 60;
// A check of the backup is offered after this many presses without one.
inline constexpr std::int64_t kPressesBetweenChecks = 30;
// The tip tells how much was read back over this many days.
inline constexpr std::int64_t kCheckWindowDays = 30;

// After how many days without a complete backup the person is reminded (none: never), and how
// the backup is read back after each press.
struct ReminderSetting {
    std::optional<int> days = kDefaultReminderDays;
    // A part of the backup is read back after each press, for at most `checkMinutes`.
    bool checkAfterPress = false;
    int checkMinutes = kDefaultCheckMinutes;
};

// "Days=7" or "Days=never", "CheckAfterPress=yes" or "no", "CheckMinutes=2", in UTF-16LE with its
// mark or in plain 8-bit text as Notepad saves it. A missing line or a value out of its range
// (days 1 to 90, minutes 1 to 60) gives its default: 7 days, no check after a press, 2 minutes.
ReminderSetting ParseReminderSetting(std::span<const std::uint8_t> bytes);
ReminderSetting ReadReminderSetting(FileSystem& fs);

// What LastBackup.txt keeps, each a time of the clock.
struct BackupHistory {
    // The end of the last press that walked to its end, whatever it could not copy.
    std::optional<std::int64_t> lastComplete;
    // When the program first found no complete backup: lateness counts from there.
    std::optional<std::int64_t> watchedSince;
    // The last time the person was reminded.
    std::optional<std::int64_t> lastReminded;
    // Presses since the backup was last read back, or since a check was last offered.
    std::int64_t pressesSinceCheck = 0;
    // The start of a round of checks that was stopped before it read everything: the next check
    // goes on with it.
    std::optional<std::int64_t> checkRound;
    // The checks of the last 30 days: when each ended and how many bytes it read.
    std::vector<std::pair<std::int64_t, std::uint64_t>> checks;

    bool operator==(const BackupHistory&) const = default;
};

std::vector<std::uint8_t> FormatBackupHistory(const BackupHistory& history);
// A file that is no such record, or a line of it that is not, reads as nothing known.
BackupHistory ParseBackupHistory(std::span<const std::uint8_t> bytes);
BackupHistory ReadBackupHistory(FileSystem& fs);
bool WriteBackupHistory(FileSystem& fs, const BackupHistory& history);
// After a press that walked to its end at `when`: the backup is no longer late.
bool RecordCompleteBackup(FileSystem& fs, std::int64_t when);
// A check that ended at `when` read `bytes`: checks older than the tip's 30 days are dropped and
// the presses are counted from naught again.
void AddCheck(BackupHistory& history, std::int64_t when, std::uint64_t bytes);
// The bytes the checks of the 30 days before `now` read.
std::uint64_t BytesCheckedRecently(const BackupHistory& history, std::int64_t now);

// A time of the clock on the local calendar.
struct LocalMoment {
    // Days since the clock's start, counted in local time: two moments of one local day share it.
    std::int64_t day = 0;
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    int hour = 0;
    int minute = 0;
};
using LocalCalendar = std::function<LocalMoment(std::int64_t ticks)>;
// The platform's local time zone.
LocalMoment LocalMomentOf(std::int64_t ticks);

// When the late backup is said: at the program's start with the person's logon, or on a later
// look while it runs.
enum class ReminderOccasion { Logon, Later };

// Whole days since the last complete backup (or since the program first found none).
std::optional<std::int64_t> DaysWithoutBackup(const BackupHistory& history, std::int64_t now);
bool BackupLate(const BackupHistory& history, const ReminderSetting& setting, std::int64_t now);
// Whether to remind the person now: the backup is late, no run is going, and no reminder was
// shown on this local day; on a later look, a whole day must also have passed since the last.
bool ReminderDue(const BackupHistory& history, const ReminderSetting& setting, std::int64_t now,
                 ReminderOccasion occasion, bool runActive, const LocalCalendar& calendar);

// "yesterday 18:02", "today 09:15" or "2026-11-30 18:02".
std::wstring WhenText(std::int64_t when, std::int64_t now, const LocalCalendar& calendar,
                      const MessageTexts& texts);
// What a press backs up and when the last complete backup was made: "3 folders to
// E:\FilesBackup, Copy. Last backup: yesterday 18:02", the two sentences `between` apart.
// `sources` 0: nothing is saved yet. Longer than `limit`, the destination loses its middle.
struct SummaryFacts {
    std::size_t sources = 0;
    std::wstring target;
    std::wstring modeName;
    std::optional<std::int64_t> lastComplete;
};
std::wstring BackupSummary(const SummaryFacts& facts, std::int64_t now,
                           const LocalCalendar& calendar, const MessageTexts& texts,
                           std::wstring_view between = L" ",
                           std::size_t limit = std::wstring::npos);
// The reminder's words under its title.
std::wstring ReminderText(const BackupHistory& history, std::int64_t now,
                          const MessageTexts& texts);

}  // namespace bexlo
