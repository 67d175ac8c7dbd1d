#include "backup/Reminder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/LanguageFiles.h"
#include "backup/Utf16Text.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/RunSupport.h"

namespace bexlo {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kHour = 3600 * kTicksPerSecond;
// 2026-12-01 00:00 UTC on the clock (days since 1601-01-01).
constexpr std::int64_t kDecemberFirst = 155'562LL * kTicksPerDay;

// A calendar one hour ahead of the clock, as in central Europe in winter.
LocalMoment OneHourAhead(std::int64_t ticks) {
    const std::int64_t local = ticks + kHour;
    LocalMoment moment;
    moment.day = local / kTicksPerDay;
    const std::chrono::year_month_day date{std::chrono::sys_days{
        std::chrono::days{moment.day - 134'774}}};  // 1601-01-01 to 1970-01-01
    moment.year = static_cast<int>(date.year());
    moment.month = static_cast<int>(static_cast<unsigned>(date.month()));
    moment.dayOfMonth = static_cast<int>(static_cast<unsigned>(date.day()));
    moment.hour = static_cast<int>(local % kTicksPerDay / kHour);
    moment.minute = static_cast<int>(local % kHour / (60 * kTicksPerSecond));
    return moment;
}

// A local time on December `day`, 2026, in that calendar.
std::int64_t December(int day, int hour, int minute = 0) {
    return kDecemberFirst + (day - 1) * kTicksPerDay + (hour - 1) * kHour +
           minute * 60 * kTicksPerSecond;
}

Bytes Ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The in-memory disks with the data folder.
struct DataDisks : MemoryFileSystem {
    DataDisks() { AddFolder(DataFolder()); }
};

MessageTexts EnglishTexts() {
    MessageTexts texts;
    SetDefaultMessages(texts);
    return texts;
}

TEST(ReminderSetting, ReadsOneToNinetyDaysOrNeverInEitherEncodingAndFallsBackToAWeek) {
    EXPECT_EQ(ParseReminderSetting(Ascii("Days=3\r\n")).days, 3);
    EXPECT_EQ(ParseReminderSetting(Ascii("; how long\r\n  days = 90 \r\n")).days, 90);
    EXPECT_EQ(ParseReminderSetting(Ascii("[Reminder]\nDAYS=never\n")).days, std::nullopt);
    EXPECT_EQ(ParseReminderSetting(Ascii("\xEF\xBB\xBF"
                                         "Days=1"))
                  .days,
              1);
    EXPECT_EQ(ParseReminderSetting(Utf16LeWithMark(u"Days=90\r\n")).days, 90);
    for (const char* wrong :
         {"Days=0", "Days=91", "Days=-3", "Days=7 days", "Days=", "", "7", "Day=3"}) {
        EXPECT_EQ(ParseReminderSetting(Ascii(wrong)).days, kDefaultReminderDays) << wrong;
    }

    const ReminderSetting checking =
        ParseReminderSetting(Ascii("Days=never\r\nCheckAfterPress = Yes\r\ncheckminutes=15\r\n"));
    EXPECT_EQ(checking.days, std::nullopt) << "the check's lines leave the days alone";
    EXPECT_TRUE(checking.checkAfterPress);
    EXPECT_EQ(checking.checkMinutes, 15);
    for (const char* wrong : {"CheckMinutes=0", "CheckMinutes=61", "CheckMinutes=2m", ""}) {
        const ReminderSetting read = ParseReminderSetting(Ascii(wrong));
        EXPECT_EQ(read.checkMinutes, kDefaultCheckMinutes) << wrong;
        EXPECT_FALSE(read.checkAfterPress) << wrong;
        EXPECT_EQ(read.days, kDefaultReminderDays) << wrong;
    }
    EXPECT_FALSE(ParseReminderSetting(Ascii("CheckAfterPress=sometimes")).checkAfterPress);

    DataDisks fs;
    EXPECT_EQ(ReadReminderSetting(fs).days, kDefaultReminderDays) << "no file";
    fs.WriteFileReplacing(ReminderSettingFile(), Ascii("Days=never"));
    EXPECT_EQ(ReadReminderSetting(fs).days, std::nullopt);
}

TEST(BackupHistory, IsKeptInTheDataFolderAndAnyOtherFileReadsAsNothingKnown) {
    DataDisks fs;
    EXPECT_EQ(ReadBackupHistory(fs), BackupHistory{});
    const BackupHistory history{.lastComplete = December(8, 18, 2),
                                .watchedSince = December(1, 9),
                                .lastReminded = December(9, 8),
                                .pressesSinceCheck = 12,
                                .checkRound = December(5, 10),
                                .checks = {{December(2, 10), 4096}, {December(7, 11), 1}}};
    ASSERT_TRUE(WriteBackupHistory(fs, history));
    EXPECT_EQ(ReadBackupHistory(fs), history);

    ASSERT_TRUE(RecordCompleteBackup(fs, December(9, 19)));
    const BackupHistory after = ReadBackupHistory(fs);
    EXPECT_EQ(after.lastComplete, December(9, 19));
    EXPECT_EQ(after.watchedSince, history.watchedSince) << "the rest is kept";
    EXPECT_EQ(after.lastReminded, history.lastReminded);
    EXPECT_EQ(after.checks, history.checks);
    EXPECT_EQ(after.pressesSinceCheck, 12);

    EXPECT_EQ(ParseBackupHistory(Ascii("Complete=1\r\n")), BackupHistory{}) << "no mark";
    const BackupHistory damaged = ParseBackupHistory(
        Utf16LeWithMark(u"Complete=12x\r\nReminded=77\r\nWatchedSince=9223372036854775808\r\n"));
    BackupHistory reminded;
    reminded.lastReminded = 77;
    EXPECT_EQ(damaged, reminded);
}

// The checks' history feeds the tip's "read back in 30 days" and must stay small enough to be read
// again however often a check runs after a press.
TEST(BackupHistory, KeepsOneLineADayOfChecksForThirtyDays) {
    BackupHistory history;
    history.pressesSinceCheck = 29;
    AddCheck(history, December(1, 9), 100);
    EXPECT_EQ(history.pressesSinceCheck, 0) << "a check counts the presses from naught";
    AddCheck(history, December(1, 20), 50);
    EXPECT_EQ(history.checks.size(), 1U) << "one line a day";
    EXPECT_EQ(BytesCheckedRecently(history, December(2, 9)), 150U);
    EXPECT_EQ(BytesCheckedRecently(history, December(31, 19)), 150U);
    EXPECT_EQ(BytesCheckedRecently(history, December(31, 21)), 0U) << "30 days later";

    DataDisks fs;
    for (int day = 0; day < 400; ++day) {
        for (int press = 0; press < 20; ++press) {
            AddCheck(history, December(1, 9) + day * kTicksPerDay + press * 60 * kTicksPerSecond,
                     std::uint64_t{1} << 40);
        }
    }
    ASSERT_TRUE(WriteBackupHistory(fs, history));
    const BackupHistory read = ReadBackupHistory(fs);
    EXPECT_EQ(read, history) << "a year of rolling checks is still read back";
    EXPECT_LE(read.checks.size(), 31U);
    EXPECT_EQ(BytesCheckedRecently(read, December(1, 9) + 399 * kTicksPerDay + kTicksPerDay / 2),
              30 * 20 * (std::uint64_t{1} << 40));
}

// The schedule across logons, days, runs and settings, on a clock the test moves.
TEST(ReminderSchedule, RemindsOnceAtLogonAndOnceADayWhileLateNeverDuringARunNorTwiceADay) {
    const ReminderSetting week;
    BackupHistory history;
    history.lastComplete = December(1, 18, 2);
    const auto due = [&](std::int64_t now, ReminderOccasion occasion, bool running = false) {
        return ReminderDue(history, week, now, occasion, running, OneHourAhead);
    };
    using enum ReminderOccasion;

    EXPECT_FALSE(due(December(8, 9), Logon)) << "six days and 15 hours are not yet seven days";
    EXPECT_FALSE(due(December(8, 18, 1), Later));
    EXPECT_TRUE(due(December(8, 18, 2), Later));
    EXPECT_FALSE(due(December(8, 18, 2), Later, true)) << "never during a run";
    EXPECT_TRUE(due(December(8, 18, 30), Later)) << "once the run is over";

    history.lastReminded = December(8, 18, 30);
    EXPECT_FALSE(due(December(8, 23, 59), Later));
    EXPECT_FALSE(due(December(8, 21), Logon)) << "a second logon the same day";
    EXPECT_FALSE(due(December(9, 8), Later)) << "a new day, but not a whole day since";
    EXPECT_TRUE(due(December(9, 8), Logon)) << "the first logon of a new day";
    EXPECT_TRUE(due(December(9, 18, 30), Later));

    history.lastReminded = December(9, 8);
    EXPECT_FALSE(due(December(9, 23), Later));
    EXPECT_TRUE(due(December(10, 8), Later));
    EXPECT_TRUE(due(December(8, 20), Later)) << "a clock put back does not silence it";

    // A press that walks to its end clears it.
    history.lastComplete = December(10, 7);
    EXPECT_FALSE(due(December(11, 8), Logon));
    EXPECT_FALSE(due(December(16, 23), Later));
    EXPECT_TRUE(due(December(17, 7), Later));

    const ReminderSetting never{std::nullopt};
    const ReminderSetting oneDay{1};
    EXPECT_FALSE(ReminderDue(history, never, December(31, 9), Logon, false, OneHourAhead));
    EXPECT_FALSE(ReminderDue(history, oneDay, December(11, 6, 59), Logon, false, OneHourAhead));
    EXPECT_TRUE(ReminderDue(history, oneDay, December(11, 7), Logon, false, OneHourAhead));
}

TEST(ReminderSchedule, WithNoCompleteBackupLatenessCountsFromTheFirstLook) {
    BackupHistory history;
    EXPECT_FALSE(BackupLate(history, ReminderSetting{1}, December(31, 9))) << "nothing known";
    history.watchedSince = December(1, 9);
    EXPECT_FALSE(BackupLate(history, ReminderSetting{}, December(8, 8, 59)));
    EXPECT_TRUE(BackupLate(history, ReminderSetting{}, December(8, 9)));
    EXPECT_EQ(ReminderText(history, December(8, 9), EnglishTexts()),
              L"No complete backup has been made yet.\n"
              L"Attach the enclosure and press its button.");
    history.lastComplete = December(2, 9);
    EXPECT_FALSE(BackupLate(history, ReminderSetting{}, December(8, 9)));
    EXPECT_EQ(ReminderText(history, December(12, 10), EnglishTexts()),
              L"Days since the last complete backup: 10\n"
              L"Attach the enclosure and press its button.");
}

TEST(BackupSummary, SaysWhatAPressBacksUpAndWhenTheLastCompleteBackupWasMade) {
    const MessageTexts english = EnglishTexts();
    const std::int64_t now = December(9, 10, 15);
    const auto summary = [&](SummaryFacts facts) {
        return BackupSummary(facts, now, OneHourAhead, english);
    };
    EXPECT_EQ(summary({3, L"E:\\FilesBackup", L"Copy", December(8, 18, 2)}),
              L"3 folders to E:\\FilesBackup, Copy. Last backup: yesterday 18:02");
    EXPECT_EQ(summary({1, L"F:\\Safe", L"Synchronize", December(9, 0, 5)}),
              L"1 folder to F:\\Safe, Synchronize. Last backup: today 00:05");
    EXPECT_EQ(summary({2, L"E:\\FilesBackup", L"Copy", December(7, 23, 59)}),
              L"2 folders to E:\\FilesBackup, Copy. Last backup: 2026-12-07 23:59");
    EXPECT_EQ(summary({0, L"", L"Copy", std::nullopt}),
              L"Nothing is saved for backup yet. Last backup: none yet");

    // The tip has two lines and 127 characters: a long destination loses its middle, never the
    // time of the last backup.
    const std::wstring longTarget = L"E:\\" + std::wstring(200, L'x') + L"\\Backups of the PC";
    const std::wstring tip = BackupSummary({3, longTarget, L"Copy", December(8, 18, 2)}, now,
                                           OneHourAhead, english, L"\n", 115);
    EXPECT_EQ(tip.size(), 115u);
    EXPECT_EQ(tip.substr(0, 17), L"3 folders to E:\\\u2026");
    EXPECT_NE(tip.find(L"\\Backups of the PC, Copy.\nLast backup: yesterday 18:02"),
              std::wstring::npos)
        << std::string(tip.begin(), tip.end());
}

// A press that walks to its end is recorded, a file it could not copy or not; one refused or
// stopped early leaves the last complete backup as it was.
TEST(BackupRunOnMemoryDisks, APressThatWalksToItsEndIsTheLastCompleteBackup) {
    MemoryRun t;
    t.fs.AddFile(L"C:\\Work\\locked.doc", "locked", 4 * kMinute);
    t.fs.HoldOpen(L"C:\\Work\\locked.doc");
    t.SaveUnchecked();
    t.fs.SetClock(December(8, 18));
    t.Press();
    ASSERT_EQ(t.host.Count("box Copy Fail"), 1) << "the file held open is named";
    const std::optional<std::int64_t> first = ReadBackupHistory(t.fs).lastComplete;
    ASSERT_TRUE(first);
    EXPECT_GE(*first, December(8, 18));

    t.fs.capacities[L'E'] = 10;
    t.fs.AddFile(L"C:\\Work\\big.doc", std::string(100, 'b'), 5 * kMinute);
    t.Press();
    EXPECT_EQ(ReadBackupHistory(t.fs).lastComplete, first) << "a press that stopped early";

    t.fs.RemoveFile(PathListFile());
    t.Press();
    EXPECT_EQ(ReadBackupHistory(t.fs).lastComplete, first) << "a refused press";
}

}  // namespace
}  // namespace bexlo
