#include "backup/BackupTimeline.h"

#include <gtest/gtest.h>

#include <map>

#include "backup/VersionIndex.h"
#include "backup/Versions.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
// 2026-01-05 12:00 UTC, a Monday.
constexpr std::int64_t kStart = (134774LL + 20458) * kDay + 12 * kHour;
constexpr wchar_t kBackup[] = L"E:\\FilesBackup";
constexpr wchar_t kWork[] = L"C:\\Work";

class History : public testing::Test {
protected:
    History() { fs.AddFolder(kBackup); }

    // A press at `now`; its moment is the time it started.
    std::int64_t Press(std::int64_t now, bool sync = false) {
        const PressOutcome outcome = PressWith(fs, present, now, {.sync = sync});
        EXPECT_EQ(outcome.walked, 1);
        EXPECT_TRUE(outcome.failures.empty()) << outcome.failures.front().path;
        return now + 1;
    }

    BackupTimeline Read() {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", L"PC-A", fs.CurrentTime());
        EXPECT_TRUE(catalog);
        return BackupTimeline::Read(fs, kBackup, {kWork}, catalog.get());
    }

    // The backup's files at a moment, by original path, the PC's own apart.
    static std::map<std::wstring, FileAtMoment> Backup(const BackupTimeline& history,
                                                       std::int64_t moment) {
        std::map<std::wstring, FileAtMoment> files;
        for (const FileAtMoment& file : history.At(moment)) {
            if (!file.fromPc) {
                files.emplace(file.original, file);
            }
        }
        return files;
    }

    std::string Held(const FileAtMoment& file) {
        return fs.Data(file.state.bytes).value_or("<none>") + "@" +
               std::to_string(file.state.lastWrite);
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
};

}  // namespace

// Before its first press a file is not there; after its deletion from the source Copy keeps it,
// marked; a copy changed on the enclosure and synchronized to the PC leaves the PC's file, kept
// from the PC, as the state before it; and one file's versions run oldest first to the backup
// copy.
TEST_F(History, MomentsMarksAndVersionsOfOneFile) {
    fs.AddFile(L"C:\\Work\\a.txt", "a1", kStart - kDay);
    const std::int64_t first = Press(kStart);
    fs.AddFile(L"C:\\Work\\a.txt", "a2", kStart + kHour);
    fs.AddFile(L"C:\\Work\\Sub\\b.txt", "b1", kStart + kHour);
    const std::int64_t second = Press(kStart + kDay);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "a3", kStart + kDay + kHour);
    const std::int64_t third = Press(kStart + 2 * kDay, true);
    fs.Remove(L"C:\\Work\\Sub\\b.txt");
    fs.AddFile(L"C:\\Work\\a.txt", "a4", kStart + 2 * kDay + kHour);
    const std::int64_t fourth = Press(kStart + 3 * kDay);

    const BackupTimeline history = Read();
    EXPECT_EQ(history.Moments(), (std::vector<std::int64_t>{fourth, third, second, first}));

    std::map<std::wstring, FileAtMoment> at = Backup(history, first);
    ASSERT_EQ(at.size(), 1u) << "b.txt was not backed up yet";
    EXPECT_EQ(Held(at[L"C:\\Work\\a.txt"]), "a1@" + std::to_string(kStart - kDay));

    at = Backup(history, second);
    EXPECT_EQ(Held(at[L"C:\\Work\\a.txt"]), "a2@" + std::to_string(kStart + kHour));
    EXPECT_TRUE(IsWithin(
        at[L"C:\\Work\\a.txt"].state.bytes,
        std::wstring(kBackup) + L"\\Bexlo versions\\" + PressFolderName(third) + L"\\From the PC"));
    EXPECT_FALSE(at[L"C:\\Work\\Sub\\b.txt"].gone);

    at = Backup(history, third);
    EXPECT_EQ(fs.Data(at[L"C:\\Work\\a.txt"].state.bytes), "a3");
    EXPECT_FALSE(at[L"C:\\Work\\Sub\\b.txt"].gone);

    at = Backup(history, fourth);
    EXPECT_EQ(fs.Data(at[L"C:\\Work\\a.txt"].state.bytes), "a4");
    EXPECT_TRUE(at[L"C:\\Work\\Sub\\b.txt"].gone) << "Copy keeps what the source lost";
    EXPECT_EQ(fs.Data(at[L"C:\\Work\\Sub\\b.txt"].state.bytes), "b1");

    std::vector<std::string> fromPc;
    for (const FileAtMoment& file : history.At(second)) {
        if (file.fromPc) {
            EXPECT_EQ(file.original, L"C:\\Work\\a.txt");
            fromPc.push_back(fs.Data(file.state.bytes).value_or("?"));
        }
    }
    EXPECT_EQ(fromPc, std::vector<std::string>{"a2"});

    std::vector<std::string> versions;
    for (const KeptState& state : history.VersionsOf(L"C:\\WORK\\A.TXT", false)) {
        versions.push_back(fs.Data(state.bytes).value_or("?") + " " +
                           (state.press.empty() ? "copy" : "kept"));
    }
    EXPECT_EQ(versions, (std::vector<std::string>{"a1 kept", "a3 kept", "a4 copy"}));
}

// A backup copy that Synchronize takes back to a PC that lost the file is still the one first
// backed up: the history shows it from its first press on.
TEST_F(History, ACopyTakenBackToThePcKeepsItsFirstPress) {
    fs.AddFile(L"C:\\Work\\a.txt", "a1", kStart - kDay);
    const std::int64_t first = Press(kStart);
    fs.Remove(L"C:\\Work\\a.txt");
    Press(kStart + kDay, true);
    ASSERT_EQ(fs.Data(L"C:\\Work\\a.txt"), "a1");
    std::map<std::wstring, FileAtMoment> at = Backup(Read(), first);
    ASSERT_TRUE(at.contains(L"C:\\Work\\a.txt"));
    EXPECT_EQ(Held(at[L"C:\\Work\\a.txt"]), "a1@" + std::to_string(kStart - kDay));
}

// The history follows no link and believes no index that was cut short, and a state whose bytes
// the enclosure changed outside a press is not taken for what a press made.
TEST_F(History, NoLinkIsFollowedAndACutShortIndexNamesOnlyWhatItKept) {
    fs.AddFile(L"C:\\Work\\a.txt", "a1", kStart - kDay);
    Press(kStart);
    fs.AddFile(L"C:\\Elsewhere\\secret.txt", "secret", kStart);
    fs.AddLink(L"E:\\FilesBackup\\Work\\Linked", L"C:\\Elsewhere");
    const std::wstring press = std::wstring(kBackup) + L"\\Bexlo versions\\2026-01-06 120000";
    const std::vector<VersionRecord> planned = {
        {VersionSide::Backup, VersionReason::Changed, kStart + kDay, 2, kStart - kDay,
         L"Work\\a.txt", L"E:\\FilesBackup\\Work\\a.txt", std::nullopt},
        {VersionSide::Backup, VersionReason::Changed, kStart + kDay, 2, kStart - kDay,
         L"Work\\never.txt", L"E:\\FilesBackup\\Work\\never.txt", std::nullopt}};
    const std::vector<std::uint8_t> index = FormatVersionIndex(planned, false);
    fs.AddFile(press + L"\\" + kVersionIndexName, std::string(index.begin(), index.end()), kStart);
    fs.AddFile(press + L"\\Work\\a.txt", "a0", kStart - kDay);

    const BackupTimeline history = Read();
    const std::map<std::wstring, FileAtMoment> latest = Backup(history, BackupTimeline::kLatest);
    EXPECT_EQ(latest.size(), 1u);
    EXPECT_TRUE(latest.contains(L"C:\\Work\\a.txt"));
    EXPECT_EQ(history.VersionsOf(L"C:\\Work\\a.txt", false).size(), 2u);
    EXPECT_TRUE(history.VersionsOf(L"C:\\Work\\never.txt", false).empty());
}

}  // namespace bexlo
