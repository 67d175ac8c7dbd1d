#include "backup/ReplaceGuard.h"

#include <gtest/gtest.h>

#include "backup/PressPlan.h"
#include "backup/Walkers.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

bool Asks(std::uint64_t replacing, std::uint64_t onBothSides,
          std::vector<std::uint64_t> history = {}, std::uint64_t sampled = 0,
          std::uint64_t damaged = 0) {
    return ShouldAsk({replacing, onBothSides, std::move(history), sampled, damaged});
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace

TEST(ReplaceGuard, AsksOnlyPastEachLimit) {
    EXPECT_FALSE(Asks(0, 0)) << "a first press";
    EXPECT_FALSE(Asks(19, 19)) << "a small folder, all of it replaced";
    EXPECT_TRUE(Asks(20, 66));
    EXPECT_FALSE(Asks(20, 67)) << "under 30 % of the files on both sides";
    // The median of the last presses: 3 (odd count) and 3.5 (even count).
    EXPECT_TRUE(Asks(20, 1000, {9, 3, 1, 3, 2}));
    EXPECT_FALSE(Asks(20, 1000, {9, 4, 1, 4, 2}));
    EXPECT_TRUE(Asks(20, 1000, {3, 4, 0, 100}));
    EXPECT_TRUE(Asks(35, 1000, {3, 4, 7, 7}));
    EXPECT_FALSE(Asks(35, 1000, {7, 7, 7, 8})) << "not more than 5 x 7";
    EXPECT_FALSE(Asks(19, 1000, {0, 0})) << "fewer than 20 never asks for its count";
    // Signs of damage: 10 files, or 5 % of the sample once 20 copies are replaced.
    EXPECT_TRUE(Asks(10, 10000, {}, 10, 10));
    EXPECT_FALSE(Asks(300, 10000, {300}, 200, 9));
    EXPECT_TRUE(Asks(20, 10000, {20}, 20, 1));
    EXPECT_FALSE(Asks(20, 10000, {20}, 21, 1));
    EXPECT_FALSE(Asks(19, 10000, {19}, 19, 1)) << "one damaged file in a small folder";
}

TEST(ReplaceGuard, SignsOfDamageByContentAndSize) {
    const auto zip = Bytes(std::string_view("PK\x03\x04\x14\0\x06\0", 8));
    const auto random = Bytes("\x8e\x11\xf0\x42\x99\x01\x7a\x3c");
    EXPECT_EQ(SignOfDamage(L"Report.DOCX", zip, 5000, 5000), DamageSign::None);
    EXPECT_EQ(SignOfDamage(L"Report.docx", random, 5000, 5000), DamageSign::WrongType);
    EXPECT_EQ(SignOfDamage(L"sheet.xlsx", random, 5000, 5000), DamageSign::WrongType);
    EXPECT_EQ(SignOfDamage(L"a.pdf", Bytes("%PDF-1.7"), 9, 9), DamageSign::None);
    EXPECT_EQ(SignOfDamage(L"a.pdf", random, 9, 9), DamageSign::WrongType);
    EXPECT_EQ(SignOfDamage(L"a.jpg", Bytes("\xFF\xD8\xFF\xE0"), 9, 9), DamageSign::None);
    EXPECT_EQ(SignOfDamage(L"a.jpeg", random, 9, 9), DamageSign::WrongType);
    EXPECT_EQ(SignOfDamage(L"a.png", Bytes("\x89PNG\r\n\x1A\n"), 9, 9), DamageSign::None);
    EXPECT_EQ(SignOfDamage(L"a.png", Bytes("\x89PNG"), 9, 9), DamageSign::WrongType);
    EXPECT_EQ(SignOfDamage(L"notes.txt", random, 9, 9), DamageSign::None) << "no known start";
    EXPECT_EQ(SignOfDamage(L"notes.txt", {}, 0, 9), DamageSign::Empty);
    EXPECT_EQ(SignOfDamage(L"notes.txt", {}, 0, 0), DamageSign::None);
    EXPECT_EQ(SignOfDamage(L"notes.txt", random, 9, 100), DamageSign::Shrunk);
    EXPECT_EQ(SignOfDamage(L"notes.txt", random, 10, 100), DamageSign::None);
}

TEST(ReplaceGuard, ThePlanCountsWhatEachModeReplacesOnBothSides) {
    MemoryFileSystem fs;
    fs.AddFolder(L"E:\\FilesBackup");
    fs.AddFile(L"C:\\Work\\same.txt", "same", kMonday);
    fs.AddFile(L"C:\\Work\\Sub\\newer-here.txt", "new", kMonday + 60 * kSecond);
    fs.AddFile(L"C:\\Work\\newer-there.txt", "old", kMonday);
    fs.AddFile(L"C:\\Work\\only-here.txt", "x", kMonday);
    fs.AddFile(L"C:\\Bexlo versions\\a.txt", "x", kMonday);
    const std::vector<std::wstring> sources = {L"C:\\Work", L"C:\\Bexlo versions"};
    const auto plan = [&](bool sync) {
        return PlanPress(fs, {}, sync, sources, L"E:\\FilesBackup");
    };
    EXPECT_TRUE(plan(false).replacements.empty()) << "a first press replaces nothing";

    fs.AddFile(L"E:\\FilesBackup\\Work\\same.txt", "same", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\newer-here.txt", "old", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\newer-there.txt", "newer", kMonday + 60 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\only-there.txt", "x", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Bexlo versions\\a.txt", "y", kMonday + 60 * kSecond);

    const PressPlan sync = plan(true);
    EXPECT_EQ(sync.onBothSides, 3u);
    ASSERT_EQ(sync.replacements.size(), 2u);
    std::map<std::wstring, VersionSide> sides;
    for (const Replacement& replacement : sync.replacements) {
        sides[replacement.replaced.original] = replacement.replaced.side;
    }
    const std::map<std::wstring, VersionSide> expected = {
        {L"E:\\FilesBackup\\Work\\Sub\\newer-here.txt", VersionSide::Backup},
        {L"C:\\Work\\newer-there.txt", VersionSide::Pc}};
    EXPECT_EQ(sides, expected);

    // Copy with no records counts what visibly differs, and what was written after its copy was.
    EXPECT_EQ(plan(false).replacements.size(), 2u);
    fs.AddFile(L"C:\\Work\\same.txt", "SAME", kMonday);
    EXPECT_EQ(plan(false).replacements.size(), 3u) << "written since, its time put back";
}

// The count is of what the walks replace: a mass change behind a saved folder link asks too.
TEST(ReplaceGuard, ThePlanFollowsLinksWhereTheWalksDo) {
    MemoryFileSystem fs;
    for (int i = 0; i < 30; ++i) {
        const std::wstring name = L"\\doc" + std::to_wstring(i) + L".txt";
        fs.AddFile(L"D:\\Real" + name, "encrypted", kMonday + 60 * kSecond);
        fs.AddFile(L"E:\\FilesBackup\\Docs" + name, "plain", kMonday);
        fs.AddFile(L"C:\\Work" + name, "new", kMonday + 60 * kSecond);
        fs.AddFile(L"D:\\Elsewhere" + name, "old", kMonday);
    }
    fs.AddLink(L"C:\\Docs", L"D:\\Real");
    fs.AddLink(L"E:\\FilesBackup\\Work", L"D:\\Elsewhere");
    fs.AddFileLink(L"C:\\note.txt", L"D:\\Real\\doc0.txt");
    fs.AddFile(L"E:\\FilesBackup\\note.txt", "plain", kMonday);

    const PressPlan plan =
        PlanPress(fs, {}, true, {L"C:\\Docs", L"C:\\Work", L"C:\\note.txt"}, L"E:\\FilesBackup");
    EXPECT_EQ(plan.onBothSides, 30u);
    ASSERT_EQ(plan.replacements.size(), 30u);
    for (const Replacement& replacement : plan.replacements) {
        EXPECT_EQ(replacement.replaced.original.rfind(L"E:\\FilesBackup\\Docs\\", 0), 0u)
            << testing::PrintToString(replacement.replaced.original);
    }
    EXPECT_TRUE(ShouldAsk({plan.replacements.size(), plan.onBothSides, {}, 0, 0}));
}

TEST(ReplaceGuard, SampleNamesTheDamagedFilesWithTheirSign) {
    MemoryFileSystem fs;
    fs.AddFolder(L"E:\\FilesBackup");
    for (int i = 0; i < 300; ++i) {
        const std::wstring name = L"doc" + std::to_wstring(i) + L".pdf";
        fs.AddFile(L"C:\\Work\\" + name, i % 3 == 0 ? "\x13\x37garbage" : "%PDF-1.4 new",
                   kMonday + 60 * kSecond);
        fs.AddFile(L"E:\\FilesBackup\\Work\\" + name, "%PDF-1.4 old", kMonday);
    }
    const PressPlan plan = PlanPress(fs, {}, false, {L"C:\\Work"}, L"E:\\FilesBackup");
    ASSERT_EQ(plan.replacements.size(), 300u);
    const DamageSample sample = SampleDamage(fs, plan.replacements);
    EXPECT_EQ(sample.sampled, 200u);
    EXPECT_GT(sample.damaged.size(), 50u);
    EXPECT_LT(sample.damaged.size(), 80u);
    for (const DamagedFile& file : sample.damaged) {
        EXPECT_EQ(file.sign, DamageSign::WrongType);
        EXPECT_EQ(fs.Data(file.path), "\x13\x37garbage");
    }
}

TEST(ReplaceGuard, OnlyNewFilesReplacesNothingOnEitherSide) {
    for (const bool sync : {false, true}) {
        MemoryFileSystem fs;
        fs.AddFile(L"C:\\Work\\changed.txt", "pc new", kMonday + 60 * kSecond);
        fs.AddFile(L"E:\\FilesBackup\\Work\\changed.txt", "backup old", kMonday);
        fs.AddFile(L"C:\\Work\\Sub\\older.txt", "pc old", kMonday);
        fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\older.txt", "backup new", kMonday + 60 * kSecond);
        fs.AddFile(L"C:\\Work\\Sub\\new.txt", "new", kMonday);
        fs.AddFile(L"E:\\FilesBackup\\Work\\there.txt", "there", kMonday);
        std::atomic<int> present{1};
        StillBar bar;
        BackupWalker walker(fs, present, bar, 0);
        walker.OnlyNewFiles(true);
        EXPECT_EQ(Walk(walker, sync), 1);
        EXPECT_TRUE(walker.Failures().empty());
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\changed.txt"), "backup old");
        EXPECT_EQ(fs.Data(L"C:\\Work\\Sub\\older.txt"), "pc old");
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\older.txt"), "backup new");
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\new.txt"), "new");
        EXPECT_EQ(fs.Data(L"C:\\Work\\there.txt"),
                  sync ? std::optional<std::string>("there") : std::nullopt);
        EXPECT_EQ(walker.FilesHeld(), 2u);
    }
}

TEST(ReplaceGuard, TheHistoryKeepsTheLastTenCounts) {
    MemoryFileSystem fs;
    fs.AddFolder(L"C:\\Program Files\\Travenor\\BXL");
    EXPECT_TRUE(ReadReplaceHistory(fs).empty());
    for (std::uint64_t i = 1; i <= 12; ++i) {
        ASSERT_TRUE(AppendReplaceHistory(fs, i));
    }
    EXPECT_EQ(ReadReplaceHistory(fs),
              (std::vector<std::uint64_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    fs.AddFile(ReplaceHistoryFile(), "7\r\nx12\r\n\r\n99999999999999999999999\r\n8\r\n", kMonday);
    EXPECT_EQ(ReadReplaceHistory(fs), (std::vector<std::uint64_t>{7, 8})) << "lines of no count";
}

}  // namespace bexlo
