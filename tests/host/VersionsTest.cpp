#include "backup/Versions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "backup/PathList.h"
#include "backup/Walkers.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
// 2026-01-05 12:00 UTC, a Monday, in 100-ns units since 1601.
constexpr std::int64_t kStart = (134774LL + 20458) * kDay + 12 * kHour;
constexpr wchar_t kVersions[] = L"E:\\FilesBackup\\Bexlo versions";

// Every file below the versions folder but the indexes and the catalog, by its path below its
// press folder: "Work\a.txt" -> the data of each version.
std::multimap<std::wstring, std::string> Kept(const MemoryFileSystem& fs) {
    std::multimap<std::wstring, std::string> kept;
    const std::wstring prefix = std::wstring(kVersions) + L"\\";
    for (const auto& [path, value] : fs.Snapshot(L'E')) {
        if (!path.starts_with(prefix) || value == "<folder>" ||
            path.ends_with(std::wstring(L"\\") + kVersionIndexName) ||
            path.substr(prefix.size()).starts_with(kCatalogName)) {
            continue;
        }
        const std::wstring below = path.substr(prefix.size());
        kept.emplace(below.substr(below.find(L'\\') + 1), value.substr(0, value.rfind('@')));
    }
    return kept;
}

// The press folders below the versions folder.
std::size_t PressFolders(const MemoryFileSystem& fs) {
    std::size_t folders = 0;
    const std::wstring prefix = std::wstring(kVersions) + L"\\";
    for (const auto& [path, value] : fs.Snapshot(L'E')) {
        folders += path.starts_with(prefix) && value == "<folder>" &&
                           path.find(L'\\', prefix.size()) == std::wstring::npos
                       ? 1
                       : 0;
    }
    return folders;
}

// One press at `now`, versions kept.
std::pair<int, std::vector<CopyFailure>> PressAt(MemoryFileSystem& fs, std::atomic<int>& present,
                                                 std::int64_t now, bool sync) {
    const PressOutcome outcome = PressWith(fs, present, now, {.sync = sync});
    return {outcome.walked, outcome.failures};
}

class Versions : public testing::Test {
protected:
    Versions() { fs.AddFolder(L"E:\\FilesBackup"); }

    std::pair<int, std::vector<CopyFailure>> Press(std::int64_t now, bool sync = false) {
        return PressAt(fs, present, now, sync);
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
    StillBar bar;
};

}  // namespace

TEST(VersionIndex, RecordsSurviveTheFileAndNoneLeadsOutOfItsPressFolder) {
    const std::vector<VersionRecord> records = {
        {VersionSide::Backup, VersionReason::Changed, kStart, 12, kStart - kDay, L"Work\\a b.txt",
         L"E:\\FilesBackup\\Work\\a b.txt",
         CatalogRecord{L"a b.txt",
                       {12, kStart - kDay, kStart - 5, ~0ull},
                       {12, kStart - kDay, kStart, 7},
                       kStart - 9 * kDay,
                       kStart - 2 * kDay,
                       false,
                       ContentHash{1, ~0ull}}},
        {VersionSide::Pc, VersionReason::Older, kStart, 1ull << 40, 0,
         L"From the PC\\Work\\\u00e9t\u00e9\\\U0001F600.docx", L"C:\\Work\\\u00e9t\u00e9\\x.docx",
         std::nullopt}};
    for (const bool complete : {false, true}) {
        const VersionIndex read = ParseVersionIndex(FormatVersionIndex(records, complete));
        EXPECT_EQ(read.complete, complete);
        ASSERT_EQ(read.records.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const auto fields = [](const VersionRecord& r) {
                return std::tie(r.side, r.reason, r.when, r.size, r.lastWrite, r.stored, r.original,
                                r.record);
            };
            EXPECT_EQ(fields(read.records[i]), fields(records[i])) << i;
        }
    }
    std::vector<std::uint8_t> bytes = FormatVersionIndex(records, true);
    bytes.resize(bytes.size() - 4);
    EXPECT_FALSE(ParseVersionIndex(bytes).complete) << "a cut-off index is not complete";
    for (const wchar_t* stored : {L"..\\..\\Work\\a.txt", L"Work\\..\\..\\x", L"\\Work\\a.txt",
                                  L"C:\\Work\\a.txt", L"Work\\\\a.txt", L""}) {
        std::vector<VersionRecord> bad = {records[0]};
        bad[0].stored = stored;
        EXPECT_TRUE(ParseVersionIndex(FormatVersionIndex(bad, true)).records.empty());
    }
    EXPECT_TRUE(ParseVersionIndex(std::vector<std::uint8_t>{0xFF, 0xFE, 'x', 0}).records.empty());
    EXPECT_EQ(PressFolderName(kStart + 3723 * kSecond), L"2026-01-05 130203");
    EXPECT_EQ(PressFolderName((134774LL + 11017) * kDay - kSecond), L"2000-02-29 235959");
}

TEST(VersionSpace, AQuarterOfTheVolumeAndNeverItsLastTwentieth) {
    EXPECT_TRUE(VersionsFit({1000, 500}, 200, 50));
    EXPECT_FALSE(VersionsFit({1000, 500}, 200, 51));
    EXPECT_TRUE(VersionsFit({1000, 100}, 0, 50));
    EXPECT_FALSE(VersionsFit({1000, 99}, 0, 50));
}

// A file changed before every daily press for a year: what is left is exactly what the rule
// names, computed here from the calendar.
TEST_F(Versions, AYearOfDailyPressesKeepsWhatTheThinningRuleNames) {
    fs.AddFile(L"C:\\Work\\daily.txt", "day 0", kStart - kDay);
    ASSERT_EQ(Press(kStart).first, 1);
    constexpr int kDays = 365;
    for (int day = 1; day <= kDays; ++day) {
        fs.AddFile(L"C:\\Work\\daily.txt", "day " + std::to_string(day), kStart + day * kDay - 1);
        const auto [result, failures] = Press(kStart + day * kDay);
        ASSERT_EQ(result, 1);
        ASSERT_TRUE(failures.empty());
    }
    // The version made at the press of day d holds "day d-1".
    std::set<int> expected;
    std::set<long> seen[3];
    using namespace std::chrono;
    const sys_days first = sys_days(year{2026} / January / 5);
    for (int day = kDays; day >= 1; --day) {
        const int age = kDays - day;
        const sys_days date = first + days(day);
        const year_month_day month(date - days((date - first).count() % 7));
        const long periods[3] = {day, long((date - first).count() / 7),
                                 long(int(month.year()) * 12 + unsigned(month.month()))};
        const int kind = age < 30 ? 0 : age < 182 ? 1 : 2;
        if (age < 7 || kDays - day < 3 || !seen[kind].contains(periods[kind])) {
            expected.insert(day - 1);
        }
        for (int k = 0; k < 3; ++k) {
            seen[k].insert(periods[k]);
        }
    }
    std::set<int> kept;
    for (const auto& [path, data] : Kept(fs)) {
        EXPECT_EQ(path, L"Work\\daily.txt");
        kept.insert(std::stoi(data.substr(4)));
    }
    EXPECT_EQ(kept, expected);
    EXPECT_GT(kept.size(), 30u + 20 + 5);
    EXPECT_LT(kept.size(), 30u + 23 + 8);
}

// Thinning goes by the records alone: a record that leads elsewhere, or through a link, removes
// nothing, and a file no record names stays.
TEST_F(Versions, ThinningRemovesOnlyWhatARecordNamesInsideItsPress) {
    fs.AddFile(L"C:\\Work\\a.txt", "new", kStart);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "backup", kStart - kDay);
    fs.AddFile(L"C:\\Elsewhere\\x.txt", "keep me", kStart);
    const std::wstring old = std::wstring(kVersions) + L"\\2025-01-01 000000";
    fs.AddFile(old + L"\\stray.txt", "no record", kStart);
    fs.AddLink(old + L"\\Linked", L"C:\\Elsewhere");
    VersionRecord linked{
        VersionSide::Backup, VersionReason::Changed,          kStart - 400 * kDay, 7, 0,
        L"Linked\\x.txt",    L"E:\\FilesBackup\\Work\\x.txt", std::nullopt};
    VersionRecord outside = linked;
    outside.stored = L"..\\..\\..\\Elsewhere\\x.txt";
    std::vector<VersionRecord> records;
    for (int i = 0; i < 5; ++i) {
        records.push_back(linked);
    }
    records.push_back(outside);
    const std::vector<std::uint8_t> index = FormatVersionIndex(records, true);
    fs.AddFile(old + L"\\" + kVersionIndexName, std::string(index.begin(), index.end()), kStart);

    ASSERT_EQ(Press(kStart + kDay).first, 1);
    EXPECT_EQ(fs.Data(L"C:\\Elsewhere\\x.txt"), "keep me");
    EXPECT_EQ(fs.Data(old + L"\\stray.txt"), "no record");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "new");
}

TEST_F(Versions, CopyMovesTheReplacedCopyAwayAndAFirstPressKeepsNothing) {
    fs.AddFile(L"C:\\Work\\Docs\\report.docx", "v1", kStart - kDay);
    fs.AddFile(L"C:\\Work\\same.txt", "same", kStart - kDay);
    ASSERT_EQ(Press(kStart).first, 1);
    EXPECT_EQ(PressFolders(fs), 0u) << "a first press replaces nothing";

    fs.AddFile(L"C:\\Work\\Docs\\report.docx", "v2", kStart);
    fs.AddFile(L"C:\\Work\\new.txt", "new", kStart);
    ASSERT_EQ(Press(kStart + kDay).first, 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Docs\\report.docx"), "v2");
    const std::wstring press = std::wstring(kVersions) + L"\\" + PressFolderName(kStart + kDay + 1);
    EXPECT_EQ(fs.Data(press + L"\\Work\\Docs\\report.docx"), "v1")
        << "kept under its own name and path";
    EXPECT_EQ(Kept(fs).size(), 1u);
    const VersionIndex index = ParseVersionIndex([&] {
        const std::string data = *fs.Data(press + L"\\" + kVersionIndexName);
        return std::vector<std::uint8_t>(data.begin(), data.end());
    }());
    ASSERT_EQ(index.records.size(), 1u);
    EXPECT_TRUE(index.complete);
    EXPECT_EQ(index.records[0].original, L"E:\\FilesBackup\\Work\\Docs\\report.docx");
    EXPECT_EQ(index.records[0].side, VersionSide::Backup);
    EXPECT_EQ(index.records[0].size, 2u);
    EXPECT_EQ(index.records[0].lastWrite, kStart - kDay);

    ASSERT_EQ(Press(kStart + 2 * kDay).first, 1);
    EXPECT_EQ(Kept(fs).size(), 1u) << "a press that replaces nothing keeps nothing";
}

TEST_F(Versions, SynchronizeKeepsTheReplacedFileOfEachSideInOnePressFolder) {
    fs.AddFile(L"C:\\Work\\pc-newer.txt", "pc new", kStart);
    fs.AddFile(L"E:\\FilesBackup\\Work\\pc-newer.txt", "backup old", kStart - kDay);
    fs.AddFile(L"C:\\Work\\Sub\\backup-newer.txt", "pc old", kStart - kDay);
    fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\backup-newer.txt", "backup new", kStart);
    fs.AddFile(L"E:\\FilesBackup\\Work\\only-backup.txt", "only", kStart);
    ASSERT_EQ(Press(kStart + kDay, true).first, 1);
    EXPECT_EQ(fs.Data(L"C:\\Work\\Sub\\backup-newer.txt"), "backup new");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\pc-newer.txt"), "pc new");
    EXPECT_EQ(fs.Data(L"C:\\Work\\only-backup.txt"), "only");
    const std::multimap<std::wstring, std::string> expected = {
        {L"Work\\pc-newer.txt", "backup old"},
        {L"From the PC\\Work\\Sub\\backup-newer.txt", "pc old"}};
    EXPECT_EQ(Kept(fs), expected);
    EXPECT_FALSE(fs.IsFolder(L"C:\\Work\\Bexlo versions")) << "never copied back to the PC";
    EXPECT_EQ(Press(kStart + 2 * kDay, true).first, 1);
    EXPECT_EQ(Kept(fs), expected);
}

TEST_F(Versions, ASourceNamedAsTheVersionsFolderIsRefused) {
    fs.AddFile(L"C:\\Bexlo Versions\\a.txt", "a", kStart);
    BackupWalker walker(fs, present, bar, 0);
    EXPECT_EQ(walker.SyncItem(L"C:\\Bexlo Versions", L"E:\\FilesBackup"), 1);
    ExpectOnlyFailure(walker, L"C:\\Bexlo Versions", FailureReason::VersionsFolder);
    EXPECT_FALSE(fs.IsFolder(kVersions));
    EXPECT_EQ(PlanPress(fs, {}, true, {L"C:\\Bexlo Versions"}, L"E:\\FilesBackup").allEntries, 0u);
}

// The volume holds 4,000,000 bytes: versions may take a quarter and a twentieth stays free. A
// press makes room by taking the oldest versions beyond each file's newest three, then beyond its
// newest; never the newest version an earlier press kept of a file. A version that still does not
// fit fails its one file, which is left as it was, and the press goes on with the rest.
TEST_F(Versions, TheSpaceBoundMakesRoomFromOldVersionsAndNeverFromTheLastOfAFile) {
    constexpr std::size_t kUnit = 100'000;
    fs.capacities[L'E'] = 40 * kUnit;
    const auto data = [](std::size_t units, char c) { return std::string(units * kUnit, c); };
    fs.AddFile(L"C:\\Work\\a.txt", data(1, 'a'), kStart);
    fs.AddFile(L"C:\\Work\\b.txt", data(1, 'a'), kStart);
    ASSERT_EQ(Press(kStart).first, 1);
    // Five versions of each, all within the week: thinning keeps them.
    for (int i = 1; i <= 5; ++i) {
        fs.AddFile(L"C:\\Work\\a.txt", data(1, char('a' + i)), kStart + i * kSecond);
        fs.AddFile(L"C:\\Work\\b.txt", data(1, char('A' + i)), kStart + i * kSecond);
        ASSERT_EQ(Press(kStart + i * kHour).first, 1);
    }
    EXPECT_EQ(Kept(fs).size(), 10u);

    // Five units more of versions: the two oldest of each file go (beyond the newest three), then
    // the oldest beyond the newest until it fits.
    fs.AddFile(L"C:\\Work\\c.txt", data(5, 'c'), kStart);
    ASSERT_EQ(Press(kStart + 6 * kHour).first, 1);
    fs.AddFile(L"C:\\Work\\c.txt", data(5, 'C'), kStart + 7 * kSecond);
    const auto made = Press(kStart + 7 * kHour);
    ASSERT_EQ(made.first, 1);
    EXPECT_TRUE(made.second.empty());
    // Each version by its first letter and its size in units.
    const auto kept = [this] {
        std::multiset<std::string> kept;
        for (const auto& [path, data] : Kept(fs)) {
            kept.insert(data.substr(0, 1) + std::to_string(data.size() / kUnit));
        }
        return kept;
    };
    const std::multiset<std::string> expected = {"C1", "d1", "D1", "e1", "E1", "c5"};
    EXPECT_EQ(kept(), expected);

    // A change as large as the whole allowance cannot fit beside the newest versions: that file is
    // left as it was and named, no version goes for it, and the rest of the press is backed up.
    fs.AddFile(L"C:\\Work\\a.txt", data(9, 'z'), kStart + 8 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", data(9, 'y'), kStart);
    fs.AddFile(L"C:\\Work\\d.txt", data(1, 'G'), kStart + 8 * kSecond);
    const auto [result, failures] = Press(kStart + 8 * kHour);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, L"C:\\Work\\a.txt");
    EXPECT_EQ(failures[0].reason, FailureReason::NoRoomForVersion);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), data(9, 'y'));
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\d.txt"), data(1, 'G'));
    EXPECT_EQ(kept(), expected) << "nothing removed for a change that could not fit anyway";
}

// The menu opens the versions folder of the saved destination only when it is a folder there.
TEST(EarlierVersions, TheMenuFindsTheSavedDestinationsVersionsFolderAndNoLink) {
    MemoryFileSystem fs;
    fs.AddFolder(L"C:\\Program Files\\Travenor\\BXL");
    EXPECT_FALSE(EarlierVersionsFolder(fs)) << "nothing saved";
    ASSERT_TRUE(
        fs.WriteFileReplacing(PathListFile(), PathListBytes(L"E:\\FilesBackup", {L"C:\\Work"})));
    EXPECT_FALSE(EarlierVersionsFolder(fs)) << "no versions yet";
    fs.AddLink(kVersions, L"C:\\Work");
    EXPECT_FALSE(EarlierVersionsFolder(fs)) << "a link is not opened";
    fs.Remove(kVersions);
    fs.AddFolder(kVersions);
    EXPECT_EQ(EarlierVersionsFolder(fs), std::wstring(kVersions));
    fs.Detach(L'E');
    EXPECT_FALSE(EarlierVersionsFolder(fs)) << "the enclosure gone";
}

// Each fault cut into a press at every step: every backup copy the press meant to replace is in
// place or among the versions, never lost, and the next press finishes with each kept once.
TEST(VersionFaults, APressCutAtAnyStepLosesNoReplacedCopy) {
    using Fault = MemoryFileSystem::Fault;
    const auto disks = [](MemoryFileSystem& fs) {
        for (const auto& [name, old] : {std::pair(L"a.txt", "old a"),
                                        {L"Sub\\b.txt", "old b"},
                                        {L"Sub\\Deep\\c.txt", "old c"}}) {
            fs.AddFile(std::wstring(L"C:\\Work\\") + name, "new", kStart);
            fs.AddFile(std::wstring(L"E:\\FilesBackup\\Work\\") + name, old, kStart - kDay);
        }
        fs.AddFile(L"C:\\Work\\Sub\\pc-old.txt", "pc old", kStart - kDay);
        fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\pc-old.txt", "backup new", kStart);
    };
    const std::set<std::string> olds = {"old a", "old b", "old c", "pc old"};
    for (const bool sync : {false, true}) {
        const auto press = [sync](MemoryFileSystem& fs, std::atomic<int>& present, int n) {
            return PressAt(fs, present, kStart + n * kDay, sync).first;
        };
        const auto oldsLeft = [](const MemoryFileSystem& fs) {
            std::set<std::string> left;
            for (const auto& [path, value] : fs.Snapshot()) {
                const std::string data = value.substr(0, value.rfind('@'));
                const bool partial = IsPartialCopyName(path.substr(path.rfind(L'\\') + 1));
                if (!partial && (data.starts_with("old ") || data == "pc old")) {
                    left.insert(data);
                }
            }
            return left;
        };
        MemoryFileSystem whole;
        std::atomic<int> present{1};
        whole.AddFolder(L"E:\\FilesBackup");
        disks(whole);
        whole.Cut(Fault::Pulled, 0, L'E', present);
        ASSERT_EQ(press(whole, present, 1), 1);
        const int steps = whole.Steps();

        for (const Fault fault : {Fault::Pulled, Fault::DiskFull, Fault::RefusedWrite,
                                  Fault::HeldOpen, Fault::Vanished}) {
            for (int cut = 1; cut <= steps; ++cut) {
                SCOPED_TRACE(testing::Message() << (sync ? "Synchronize" : "Copy") << ", fault "
                                                << int(fault) << " at step " << cut);
                MemoryFileSystem fs;
                fs.AddFolder(L"E:\\FilesBackup");
                disks(fs);
                fs.Cut(fault, cut, L'E', present);
                press(fs, present, 1);
                fs.PowerCut();
                // A vanished source comes back with the rest.
                fs.Heal(present);
                EXPECT_EQ(oldsLeft(fs), olds) << "one lost";
                ASSERT_EQ(press(fs, present, 2), 1);
                EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\Deep\\c.txt"), "new");
                EXPECT_EQ(oldsLeft(fs), olds) << "one lost after the next press";
            }
        }
    }
}

// A version kept by a rename takes no room, but the new copy beside it does: new copies larger
// than the ones they replace stop the versions where the volume's last twentieth begins, also
// between the press's asks for the volume's space.
TEST_F(Versions, NewCopiesLargerThanTheKeptOnesLeaveTheLastTwentiethFree) {
    fs.capacities[L'E'] = 4'000'000;
    const auto name = [](int i) { return L"C:\\Work\\f" + std::to_wstring(i) + L".txt"; };
    for (int i = 0; i < 40; ++i) {
        fs.AddFile(name(i), std::string(10'000, 'a'), kStart);
    }
    ASSERT_EQ(Press(kStart).first, 1);
    for (int i = 0; i < 40; ++i) {
        fs.AddFile(name(i), std::string(150'000, 'b'), kStart + kSecond);
    }
    const auto [result, failures] = Press(kStart + 3600 * kSecond);
    EXPECT_EQ(result, 1) << "a version that does not fit stops nothing";
    for (const CopyFailure& failure : failures) {
        EXPECT_EQ(failure.reason, FailureReason::NoRoomForVersion);
    }
    EXPECT_GT(Kept(fs).size(), 10u);
    EXPECT_EQ(Kept(fs).size() + failures.size(), 40u);
    EXPECT_GE(fs.Space(L"E:\\FilesBackup")->free, 200'000u);
}

// A press whose index cannot be written first moves nothing into its press folder: the copies it
// would replace stay where they are, named, and nothing is lost.
TEST_F(Versions, NothingMovesIntoAPressFolderWhoseIndexCouldNotBeWritten) {
    fs.AddFile(L"C:\\Work\\a.txt", "old a", kStart - kDay);
    fs.AddFile(L"C:\\Work\\b.txt", "old b", kStart - kDay);
    ASSERT_EQ(Press(kStart).first, 1);
    fs.AddFile(L"C:\\Work\\a.txt", "new a", kStart);
    fs.AddFile(L"C:\\Work\\b.txt", "new b", kStart);
    fs.gate = [](MemoryFileSystem::Op op, const std::wstring& path) {
        return op != MemoryFileSystem::Op::WriteFile || !path.ends_with(kVersionIndexName);
    };
    const auto [result, failures] = Press(kStart + kDay);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "old a");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\b.txt"), "old b");
    EXPECT_TRUE(Kept(fs).empty());
}

// A prepared disk's index past the bound on what one index may hold is left alone, unread, and
// the press goes on: neither the 32-bit program's memory nor the press is spent on it.
TEST_F(Versions, AnIndexPastItsBoundIsLeftAloneAndThePressGoesOn) {
    fs.AddFile(L"C:\\Work\\a.txt", "new", kStart);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "backup", kStart - kDay);
    const std::wstring old = std::wstring(kVersions) + L"\\2025-01-01 000000";
    fs.AddFile(old + L"\\Work\\a.txt", "a year old", kStart - 400 * kDay);
    VersionRecord record{
        VersionSide::Backup, VersionReason::Changed,          kStart - 400 * kDay, 10, 0,
        L"Work\\a.txt",      L"E:\\FilesBackup\\Work\\a.txt", std::nullopt};
    std::vector<std::uint8_t> index = FormatVersionIndex({record}, true);
    std::string bytes(index.begin(), index.end());
    bytes.resize((32u << 20) + 2, ' ');
    fs.AddFile(old + L"\\" + kVersionIndexName, bytes, kStart);

    ASSERT_EQ(Press(kStart + kDay).first, 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "new");
    EXPECT_EQ(fs.Data(old + L"\\Work\\a.txt"), "a year old");
}

}  // namespace bexlo
