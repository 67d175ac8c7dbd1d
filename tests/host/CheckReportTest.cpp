// What a check of the backup tells the person and the log, and the thread it runs on.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/LanguageFiles.h"
#include "backup/CheckReport.h"
#include "backup/CheckTask.h"

namespace bexlo {
namespace {

MessageTexts EnglishTexts() {
    MessageTexts texts;
    SetDefaultMessages(texts);
    return texts;
}

TEST(CheckReport, SizesReadInTheLanguagesUnitsAndRoundUpIntoTheNextUnit) {
    const MessageTexts english = EnglishTexts();
    const std::pair<std::uint64_t, const wchar_t*> cases[] = {
        {0, L"0 bytes"},
        {1023, L"1023 bytes"},
        {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},
        {10 * 1024 - 52, L"9.9 KB"},
        {10 * 1024, L"10 KB"},
        {(1 << 20) - 1, L"1.0 MB"},
        {(std::uint64_t{1} << 30) * 3 / 2, L"1.5 GB"},
        {std::uint64_t{1} << 50, L"1024 TB"},
        {~std::uint64_t{0}, L"16777216 TB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(SizeText(bytes, english), text) << bytes;
    }
    MessageTexts french = english;
    french[Msg::SizeUnits] = L"octets Ko Mo Go To";
    french[Msg::DecimalMark] = L",";
    EXPECT_EQ(SizeText(1536, french), L"1,5 Ko");
    EXPECT_EQ(SizeText(12, french), L"12 octets");
    french[Msg::SizeUnits] = L"octets Ko";
    EXPECT_EQ(SizeText(1536, french), L"1,5 KB") << "a language file short of units";

    EXPECT_EQ(CheckProgressText(1536, 1 << 20, std::nullopt, english),
              L"Read back: 1.5 KB of 1.0 MB");
    EXPECT_EQ(CheckProgressText(0, 0, 45, english),
              L"Read back: 0 bytes of 0 bytes\nTime left: about 45 s");
    EXPECT_TRUE(
        CheckProgressText(1, 2, 150, english).ends_with(L" of 2 bytes\nTime left: about 3 min"));
}

CheckOutcome DamagedOutcome() {
    CheckOutcome outcome;
    outcome.bytesRead = 3 << 20;
    outcome.bytesGood = 2 << 20;
    outcome.bytesTotal = 4 << 20;
    outcome.filesRead = 3;
    outcome.damaged = {
        {L"\\\\?\\E:\\FilesBackup\\Work\\a.doc", CheckFinding::Kind::ReadsDifferent, false, true},
        {L"E:\\FilesBackup\\Bexlo versions\\2026-12-01 10-00-00\\Work\\b.doc",
         CheckFinding::Kind::Unreadable, true, false},
        {L"E:\\FilesBackup\\Work\\c.doc", CheckFinding::Kind::Missing, false, true},
        {L"E:\\FilesBackup\\Work\\d.doc", CheckFinding::Kind::ReadsDifferent, false, false},
    };
    return outcome;
}

TEST(CheckReport, TheEndBoxSaysWhatWasReadAndNamesEachDamagedCopyAndWhatThePressRepairs) {
    const MessageTexts english = EnglishTexts();
    const std::wstring text = CheckEndText(DamagedOutcome(), english);
    EXPECT_EQ(text,
              L"Read back: 3.0 MB\nRead back as written: 2.0 MB\n\n"
              L"Reads back different from what was written:\n"
              L"E:\\FilesBackup\\Work\\a.doc\nE:\\FilesBackup\\Work\\d.doc\n\n"
              L"Could not be read:\n"
              L"E:\\FilesBackup\\Bexlo versions\\2026-12-01 10-00-00\\Work\\b.doc (an earlier "
              L"version)\n\n"
              L"Missing from the enclosure:\nE:\\FilesBackup\\Work\\c.doc\n\n"
              L"Backup copies the next press copies again from the PC, keeping the damaged ones "
              L"aside: 2");

    const std::wstring short_ = CheckEndText(DamagedOutcome(), english, 1);
    EXPECT_NE(short_.find(L"a.doc\nMore, listed in the run log: 1\n\nCould not"),
              std::wstring::npos)
        << "past the limit, each list says how many more";
    EXPECT_EQ(short_.find(L"b.doc"), std::wstring::npos);

    CheckOutcome good;
    good.bytesRead = good.bytesGood = 512;
    good.cancelled = true;
    EXPECT_EQ(CheckEndText(good, english),
              L"Read back: 512 bytes\nRead back as written: 512 bytes\n\n"
              L"Nothing read back different from what was written.\n\n"
              L"The check was stopped. The next check goes on where this one stopped.");

    CheckOutcome none;
    none.noCatalog = true;
    EXPECT_EQ(CheckEndText(none, english), english[Msg::CheckNothing]);
}

TEST(CheckReport, TheRunLogSaysWhatWasReadBackAndEachDamagedCopy) {
    const MessageTexts english = EnglishTexts();
    const RunLogEntry entry =
        CheckLogEntry(DamagedOutcome(), L"E:\\FilesBackup", L"2026-12-09 10:00:00",
                      L"2026-12-09 10:05:00", english);
    const std::wstring text = FormatRunLogEntry(entry);
    EXPECT_NE(text.find(L"Mode: Check\r\nDestination: E:\\FilesBackup\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Read back: 3 files, 3145728 bytes; as written: 2097152 bytes\r\n"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"Damaged: E:\\FilesBackup\\Work\\a.doc (Reads back different from what "
                        L"was written)\r\n"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"b.doc (Could not be read (an earlier version))\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"Copied:"), std::wstring::npos);
    EXPECT_NE(text.find(L"Ended 2026-12-09 10:05:00: damaged copies found\r\n"),
              std::wstring::npos);
    EXPECT_TRUE(IsRunLog(AppendToRunLog({}, text, kRunLogLimitBytes)));
}

TEST(CheckTask, TimeLeftWaitsUntilThePaceIsKnown) {
    EXPECT_EQ(SecondsLeft(0, 100, 60'000), std::nullopt);
    EXPECT_EQ(SecondsLeft(50, 100, 1'999), std::nullopt) << "the disk may still spin up";
    EXPECT_EQ(SecondsLeft(50, 100, 10'000), 10);
    EXPECT_EQ(SecondsLeft(100, 100, 10'000), 0);
    EXPECT_EQ(SecondsLeft(101, 100, 10'000), std::nullopt);
    EXPECT_EQ(SecondsLeft(std::uint64_t{1} << 40, std::uint64_t{1} << 50, 60'000), std::nullopt)
        << "under 1 %";
    EXPECT_EQ(SecondsLeft(std::uint64_t{1} << 61, std::uint64_t{1} << 62, 3'600'000), 3600);
}

// A work that reads until it is told to stop, as the check does between reads.
CheckOutcome ReadUntilStopped(CheckFeedback& feedback) {
    CheckOutcome outcome;
    while (!feedback.StopRequested()) {
        feedback.Progress(++outcome.bytesRead, 1 << 30);
        std::this_thread::yield();
    }
    outcome.cancelled = true;
    return outcome;
}

TEST(CheckTask, StopsBetweenReadsGivesItsOutcomeOnceAndStartsAgain) {
    CheckTask task;
    EXPECT_EQ(task.StopAndWait(), std::nullopt) << "nothing going";
    ASSERT_TRUE(task.Start(ReadUntilStopped));
    EXPECT_FALSE(task.Start(ReadUntilStopped)) << "one check at a time";
    while (task.Now().done == 0) {
        std::this_thread::yield();
    }
    EXPECT_EQ(task.Now().total, 1U << 30);
    const std::optional<CheckOutcome> stopped = task.StopAndWait();
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(stopped->cancelled);
    EXPECT_GT(stopped->bytesRead, 0U);
    EXPECT_FALSE(task.Running());
    EXPECT_EQ(task.Ended(), std::nullopt) << "the outcome is given once";

    std::atomic<bool> go{false};
    ASSERT_TRUE(task.Start([&go](CheckFeedback& feedback) {
        while (!go) {
            std::this_thread::yield();
        }
        feedback.Progress(7, 7);
        CheckOutcome outcome;
        outcome.bytesRead = 7;
        return outcome;
    }));
    EXPECT_EQ(task.Ended(), std::nullopt) << "still reading";
    EXPECT_EQ(task.Now().done, 0U) << "the last check's progress is gone";
    go = true;
    std::optional<CheckOutcome> ended;
    while (!(ended = task.Ended())) {
        std::this_thread::yield();
    }
    EXPECT_EQ(ended->bytesRead, 7U);
    EXPECT_FALSE(ended->cancelled);

    CheckTask left;
    ASSERT_TRUE(left.Start(ReadUntilStopped));
    // Going out of scope stops and waits for it: no thread outlives its task.
}

}  // namespace
}  // namespace bexlo
