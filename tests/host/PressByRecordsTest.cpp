// Presses that decide each file from its own record in the catalog: what one file meets never
// changes what happens to another, the guard counts what the walk replaces, and no record ever
// vouches for data that is not on the disk.

#include <gtest/gtest.h>

#include <set>

#include "backup/PairDecision.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
constexpr wchar_t kTarget[] = L"E:\\FilesBackup";
constexpr wchar_t kCatalogFile[] = L"E:\\FilesBackup\\Bexlo versions\\_Bexlo catalog.db";

std::wstring Backup(const std::wstring& below) {
    return std::wstring(kTarget) + L"\\" + below;
}

// The files whose data a press wrote, by plain path.
class Writes {
public:
    explicit Writes(MemoryFileSystem& fs) {
        fs.gate = [this](MemoryFileSystem::Op op, const std::wstring& path) {
            if (op == MemoryFileSystem::Op::CopyFileData) {
                written.insert(path.substr(0, path.find(L".bexlo-")));
            }
            return true;
        };
    }
    std::set<std::wstring> written;
};

// The versions a press folder holds, by the path below it.
std::size_t VersionFiles(const MemoryFileSystem& fs) {
    std::size_t count = 0;
    const std::wstring versions = Backup(L"Bexlo versions\\");
    for (const auto& [path, value] : fs.Snapshot(L'E')) {
        const std::wstring below = path.starts_with(versions) ? path.substr(versions.size()) : L"";
        count += below.find(L'\\') != std::wstring::npos && value != "<folder>" &&
                         !below.ends_with(kVersionIndexName)
                     ? 1
                     : 0;
    }
    return count;
}

// Every record of this PC in the catalog, by the backup copy's plain path.
std::map<std::wstring, CatalogRecord> AllRecords(MemoryFileSystem& fs, std::int64_t now) {
    std::map<std::wstring, CatalogRecord> all;
    const std::unique_ptr<Catalog> catalog = Catalog::Open(fs, LongPath(kTarget), L"PC-A", now);
    if (!catalog) {
        return all;
    }
    std::set<std::wstring> folders = {kTarget};
    for (const auto& [path, value] : fs.Snapshot(L'E')) {
        if (value == "<folder>" && IsWithin(path, kTarget)) {
            folders.insert(path);
        }
    }
    for (const std::wstring& folder : folders) {
        for (const auto& [name, record] : catalog->Folder(CatalogFolderKey(kTarget, folder)).mine) {
            all[JoinPath(folder, record.name)] = record;
        }
    }
    return all;
}

class PressByRecords : public testing::Test {
protected:
    PressByRecords() { fs.AddFolder(kTarget); }

    PressOutcome Press(std::int64_t now, PressOptions options = {}) {
        return PressWith(fs, present, now, options);
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
};

}  // namespace

// A file held open at every press (a mail store, a database) fails alone: no other copy is
// written again, and no identical copy is kept as a version, press after press.
TEST_F(PressByRecords, AFileHeldOpenAtEveryPressLeavesEveryOtherCopyAlone) {
    for (int folder = 0; folder < 20; ++folder) {
        for (int file = 0; file < 10; ++file) {
            fs.AddFile(
                L"C:\\Work\\F" + std::to_wstring(folder) + L"\\f" + std::to_wstring(file) + L".txt",
                "data " + std::to_string(folder * 10 + file), kMonday);
        }
    }
    fs.AddFile(L"C:\\Work\\mail.pst", "mail 0", kMonday);
    fs.AddFile(L"C:\\Work\\never.db", "db", kMonday);
    fs.HoldOpen(L"C:\\Work\\never.db");
    const PressOutcome first = Press(kMonday + kHour);
    ASSERT_EQ(first.walked, 1);
    EXPECT_EQ(first.copied, 201u);
    ASSERT_EQ(first.failures.size(), 1u);

    fs.HoldOpen(L"C:\\Work\\mail.pst");
    for (int press = 1; press <= 30; ++press) {
        SCOPED_TRACE(press);
        fs.LetGo();
        fs.AddFile(L"C:\\Work\\mail.pst", "mail " + std::to_string(press), kMonday + press * kDay);
        fs.HoldOpen(L"C:\\Work\\mail.pst");
        fs.HoldOpen(L"C:\\Work\\never.db");
        const Writes writes(fs);
        const PressOutcome outcome = Press(kMonday + press * kDay + kHour);
        fs.gate = nullptr;
        EXPECT_EQ(outcome.walked, 1);
        EXPECT_TRUE(writes.written.empty());
        EXPECT_EQ(outcome.copied, 0u);
        EXPECT_EQ(outcome.plan.replacements.size(), 1u) << "the held file, and only it";
        ASSERT_EQ(outcome.failures.size(), 2u);
        for (const CopyFailure& failure : outcome.failures) {
            EXPECT_EQ(failure.error, file_error::kSharingViolation);
        }
        EXPECT_EQ(VersionFiles(fs), 0u);
    }
    fs.LetGo();
    const PressOutcome freed = Press(kMonday + 40 * kDay);
    EXPECT_TRUE(freed.failures.empty());
    EXPECT_EQ(freed.copied, 2u);
    EXPECT_EQ(fs.Data(Backup(L"Work\\mail.pst")), "mail 30");
    EXPECT_EQ(VersionFiles(fs), 1u);
}

// A catalog deleted, damaged or brought from another destination is set aside and made anew:
// that press reads what it must and rewrites nothing that is the same.
TEST_F(PressByRecords, ACatalogLostDamagedOrForeignCostsOneSlowerPressAndNothingElse) {
    for (int i = 0; i < 30; ++i) {
        fs.AddFile(L"C:\\Work\\Sub\\f" + std::to_wstring(i) + L".txt", std::to_string(i), kMonday);
    }
    ASSERT_TRUE(Press(kMonday + kHour).failures.empty());
    // The same files under another destination folder: its catalog is another destination's.
    fs.AddFolder(L"E:\\Elsewhere");
    {
        std::unique_ptr<Catalog> foreign =
            Catalog::Open(fs, LongPath(L"E:\\Elsewhere"), L"PC-A", kMonday);
        ASSERT_TRUE(foreign);
        CatalogRecord record;
        record.name = L"f0.txt";
        foreign->Put(L"work\\sub", record);
        ASSERT_TRUE(foreign->Commit());
    }
    const std::string foreign = *fs.Data(L"E:\\Elsewhere\\Bexlo versions\\_Bexlo catalog.db");

    const std::pair<const char*, std::function<void()>> mishaps[] = {
        {"deleted", [&] { fs.Remove(kCatalogFile); }},
        {"damaged", [&] { fs.AddFile(kCatalogFile, std::string(8192, 'x'), kMonday); }},
        {"foreign", [&] { fs.AddFile(kCatalogFile, foreign, kMonday); }},
    };
    const Catalog::Start starts[] = {Catalog::Start::New, Catalog::Start::Damaged,
                                     Catalog::Start::OtherDestination};
    int day = 1;
    for (std::size_t i = 0; i < std::size(mishaps); ++i) {
        SCOPED_TRACE(mishaps[i].first);
        mishaps[i].second();
        const Writes writes(fs);
        const PressOutcome outcome = Press(kMonday + ++day * kDay);
        fs.gate = nullptr;
        EXPECT_EQ(outcome.catalog, starts[i]);
        EXPECT_TRUE(outcome.failures.empty());
        EXPECT_TRUE(writes.written.empty());
        EXPECT_EQ(outcome.plan.replacements.size(), 0u);
        EXPECT_EQ(VersionFiles(fs), 0u);
        EXPECT_EQ(AllRecords(fs, kMonday + day * kDay).size(), 30u) << "made anew";
        const PressOutcome next = Press(kMonday + ++day * kDay);
        EXPECT_EQ(next.catalog, Catalog::Start::Kept);
        EXPECT_EQ(next.copied, 0u);
    }
    // A file changed with its time put back while the catalog was gone is still found.
    fs.Remove(kCatalogFile);
    fs.AddFile(L"C:\\Work\\Sub\\f7.txt", "X", kMonday);
    const PressOutcome found = Press(kMonday + 20 * kDay);
    EXPECT_EQ(found.copied, 1u);
    EXPECT_EQ(fs.Data(Backup(L"Work\\Sub\\f7.txt")), "X");
}

// Whatever the press meets, and wherever it is cut off with the power gone after it, no record
// vouches for a copy whose data is not what the record says; the next press leaves the backup
// the same as the source.
TEST(PressCuts, NoRecordVouchesForDataThatIsNotOnTheDisk) {
    using Fault = MemoryFileSystem::Fault;
    const auto disks = [](MemoryFileSystem& fs) {
        fs.AddFolder(L"E:\\FilesBackup");
        fs.AddFile(L"C:\\Work\\a.txt", "first a", kMonday);
        fs.AddFile(L"C:\\Work\\Sub\\b.txt", "first b", kMonday);
    };
    const auto change = [](MemoryFileSystem& fs) {
        fs.AddFile(L"C:\\Work\\a.txt", "second a", kMonday + kDay);
        fs.AddFile(L"C:\\Work\\Sub\\b.txt", "first B", kMonday + kDay);
        fs.AddFile(L"C:\\Work\\Sub\\c.txt", "new c", kMonday + kDay);
    };
    for (const bool sync : {false, true}) {
        std::atomic<int> present{1};
        MemoryFileSystem whole;
        disks(whole);
        ASSERT_EQ(PressWith(whole, present, kMonday + kHour, {.sync = sync}).walked, 1);
        change(whole);
        whole.Cut(Fault::Pulled, 0, L'E', present);
        ASSERT_EQ(PressWith(whole, present, kMonday + 2 * kDay, {.sync = sync}).walked, 1);
        const int steps = whole.Steps();
        for (const Fault fault : {Fault::Pulled, Fault::DiskFull, Fault::RefusedWrite}) {
            for (int cut = 1; cut <= steps; ++cut) {
                SCOPED_TRACE(testing::Message() << (sync ? "Synchronize" : "Copy") << ", fault "
                                                << int(fault) << " at step " << cut);
                MemoryFileSystem fs;
                disks(fs);
                ASSERT_EQ(PressWith(fs, present, kMonday + kHour, {.sync = sync}).walked, 1);
                change(fs);
                fs.Cut(fault, cut, L'E', present);
                PressWith(fs, present, kMonday + 2 * kDay, {.sync = sync});
                fs.PowerCut();
                fs.Heal(present);
                for (const auto& [path, record] : AllRecords(fs, kMonday + 3 * kDay)) {
                    const std::optional<FileEntry> copy = fs.Inspect(path);
                    if (!copy || !record.hash || StateOf(*copy) != record.copy) {
                        continue;
                    }
                    const std::string data = *fs.Data(path);
                    EXPECT_EQ(HashOf(std::span(reinterpret_cast<const std::uint8_t*>(data.data()),
                                               data.size())),
                              *record.hash)
                        << "a record vouches for " << testing::PrintToString(path);
                }
                ASSERT_EQ(PressWith(fs, present, kMonday + 3 * kDay, {.sync = sync}).walked, 1);
                for (const wchar_t* name : {L"a.txt", L"Sub\\b.txt", L"Sub\\c.txt"}) {
                    EXPECT_EQ(fs.Data(Backup(std::wstring(L"Work\\") + name)),
                              fs.Data(std::wstring(L"C:\\Work\\") + name));
                }
            }
        }
    }
}

// The guard counts exactly what the walk replaces, whatever changed on either side: times moved,
// data rewritten with the time put back, copies swapped on the enclosure for others of the same
// size and time.
TEST_F(PressByRecords, TheGuardCountsWhatTheWalkReplaces) {
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "Synchronize" : "Copy");
        MemoryFileSystem disks;
        std::atomic<int> on{1};
        disks.AddFolder(kTarget);
        const auto file = [](const wchar_t* group, int i) {
            return std::wstring(L"Work\\") + group + L"\\f" + std::to_wstring(i) + L".doc";
        };
        for (const wchar_t* group : {L"same", L"touched", L"rewritten", L"swapped", L"changed"}) {
            for (int i = 0; i < 50; ++i) {
                disks.AddFile(L"C:\\" + file(group, i), "contents " + std::to_string(i), kMonday);
            }
        }
        ASSERT_EQ(PressWith(disks, on, kMonday + kHour, {.sync = sync}).copied, 250u);
        for (int i = 0; i < 50; ++i) {
            const std::string same = "contents " + std::to_string(i);
            disks.AddFile(L"C:\\" + file(L"touched", i), same, kMonday + kDay);
            disks.AddFile(L"C:\\" + file(L"rewritten", i), std::string(same.size(), '?'), kMonday);
            disks.AddFile(L"E:\\FilesBackup\\" + file(L"swapped", i), std::string(same.size(), '!'),
                          kMonday);
            disks.AddFile(L"C:\\" + file(L"changed", i), same + " and more", kMonday + kDay);
            disks.AddFile(L"C:\\" + file(L"new", i), "new", kMonday + kDay);
        }
        const PressOutcome outcome = PressWith(disks, on, kMonday + 2 * kDay, {.sync = sync});
        // Copy replaces all but the same ones; Synchronize names the rewritten and swapped ones,
        // whose times say nothing, as conflicts.
        const std::uint64_t expected = sync ? 100 : 200;
        EXPECT_EQ(outcome.plan.replacements.size(), expected);
        EXPECT_EQ(outcome.replaced, expected);
        EXPECT_EQ(outcome.failures.size(), sync ? 100u : 0u);
        EXPECT_TRUE(
            ShouldAsk({outcome.plan.replacements.size(), outcome.plan.onBothSides, {}, 0, 0}));
        EXPECT_EQ(outcome.versionsKept, sync ? 50u : 150u) << "the touched ones held the same";
        if (!sync) {
            EXPECT_EQ(disks.Data(L"E:\\FilesBackup\\" + file(L"swapped", 7)), "contents 7");
            EXPECT_EQ(disks.Data(L"E:\\FilesBackup\\" + file(L"rewritten", 7)),
                      std::string(10, '?'));
        }
    }
}

// Synchronize cannot tell which of two files of one time is newer: it overwrites neither, names
// the pair, and the press does not call itself complete.
TEST_F(PressByRecords, SynchronizeNamesWhatItCannotDecide) {
    fs.AddFile(L"C:\\Work\\sizes.txt", "short", kMonday);
    fs.AddFile(Backup(L"Work\\sizes.txt"), "a longer one", kMonday);
    fs.AddFile(L"C:\\Work\\same.txt", "same", kMonday);
    fs.AddFile(L"C:\\Work\\put-back.txt", "original", kMonday);
    ASSERT_EQ(Press(kMonday + kHour, {.sync = true}).failures.size(), 1u);
    fs.AddFile(L"C:\\Work\\put-back.txt", "ORIGINAL", kMonday);
    const PressOutcome outcome = Press(kMonday + kDay, {.sync = true});
    std::set<std::wstring> conflicts;
    for (const CopyFailure& failure : outcome.failures) {
        EXPECT_EQ(failure.reason, FailureReason::Conflict);
        conflicts.insert(failure.path);
    }
    EXPECT_EQ(conflicts,
              (std::set<std::wstring>{L"C:\\Work\\sizes.txt", L"C:\\Work\\put-back.txt"}));
    EXPECT_EQ(fs.Data(L"C:\\Work\\sizes.txt"), "short");
    EXPECT_EQ(fs.Data(Backup(L"Work\\sizes.txt")), "a longer one");
    EXPECT_EQ(fs.Data(L"C:\\Work\\put-back.txt"), "ORIGINAL");
    EXPECT_EQ(fs.Data(Backup(L"Work\\put-back.txt")), "original");
    // Once one of them is the newer, it wins.
    fs.AddFile(L"C:\\Work\\sizes.txt", "short, now newer", kMonday + 2 * kDay);
    EXPECT_EQ(Press(kMonday + 3 * kDay, {.sync = true}).failures.size(), 1u);
    EXPECT_EQ(fs.Data(Backup(L"Work\\sizes.txt")), "short, now newer");
}

// FAT and exFAT keep local times: after a daylight-saving change every time on the volume reads
// an hour off, on either side, and nothing is copied for it.
TEST_F(PressByRecords, DaylightSavingOnAFatSourceOrAnExFatDestinationCopiesNothing) {
    for (const auto& [drive, system] : {std::pair(L'C', L"FAT32"), std::pair(L'E', L"exFAT")}) {
        MemoryFileSystem disks;
        std::atomic<int> on{1};
        disks.fileSystems[drive] = system;
        disks.withoutChangeTimes.insert(drive);
        disks.AddFolder(L"E:\\FilesBackup");
        for (int i = 0; i < 5; ++i) {
            disks.AddFile(L"C:\\Card\\DCIM\\img" + std::to_wstring(i) + L".jpg", "photo", kMonday);
        }
        ASSERT_EQ(PressWith(disks, on, kMonday + kHour, {.sources = {L"C:\\Card"}}).copied, 5u);
        const std::wstring shifted =
            drive == L'C' ? L"C:\\Card\\DCIM\\img" : L"E:\\FilesBackup\\Card\\DCIM\\img";
        for (int i = 0; i < 5; ++i) {
            const std::wstring path = shifted + std::to_wstring(i) + L".jpg";
            disks.AddFile(path, *disks.Data(path), kMonday + kHour);
        }
        const PressOutcome outcome =
            PressWith(disks, on, kMonday + kDay, {.sources = {L"C:\\Card"}});
        EXPECT_EQ(outcome.copied, 0u) << system;
        EXPECT_EQ(outcome.plan.replacements.size(), 0u);
    }
}

// A saved single file is judged by its change time too, read through its own handle: a
// container rewritten with its size and time put back is backed up again.
TEST_F(PressByRecords, ASavedSingleFileRewrittenWithItsTimePutBackArrives) {
    fs.AddFolder(L"E:\\FilesBackup");
    fs.AddFile(L"C:\\vault.bin", std::string(4096, 'a'), kMonday);
    ASSERT_EQ(Press(kMonday + kHour, {.sources = {L"C:\\vault.bin"}}).copied, 1u);
    fs.AddFile(L"C:\\vault.bin", std::string(4096, 'b'), kMonday);
    const PressOutcome outcome = Press(kMonday + kDay, {.sources = {L"C:\\vault.bin"}});
    EXPECT_EQ(outcome.copied, 1u);
    EXPECT_EQ(fs.Data(Backup(L"vault.bin")), std::string(4096, 'b'));
    EXPECT_EQ(Press(kMonday + 2 * kDay, {.sources = {L"C:\\vault.bin"}}).copied, 0u);
}

// The new copies are on the disk before their records, and before the press ends: a power cut
// right after leaves every one whole.
TEST_F(PressByRecords, APowerCutRightAfterAPressLeavesEveryNewCopyWhole) {
    for (int i = 0; i < 20; ++i) {
        fs.AddFile(L"C:\\Work\\f" + std::to_wstring(i) + L".txt", "data " + std::to_string(i),
                   kMonday);
    }
    fs.AddFile(L"C:\\Work\\changed.txt", "old", kMonday);
    ASSERT_TRUE(Press(kMonday + kHour).failures.empty());
    fs.AddFile(L"C:\\Work\\changed.txt", "new", kMonday + kDay);
    ASSERT_TRUE(Press(kMonday + 2 * kDay).recorded);
    fs.PowerCut();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(fs.Data(Backup(L"Work\\f" + std::to_wstring(i) + L".txt")),
                  "data " + std::to_string(i));
    }
    EXPECT_EQ(fs.Data(Backup(L"Work\\changed.txt")), "new");

    // Where the volume cannot be flushed as a whole, each copy is.
    fs.volumeFlushRefused.insert(L'E');
    fs.AddFile(L"C:\\Work\\later.txt", "later", kMonday + 3 * kDay);
    ASSERT_TRUE(Press(kMonday + 4 * kDay).recorded);
    fs.PowerCut();
    EXPECT_EQ(fs.Data(Backup(L"Work\\later.txt")), "later");
}

// Two PCs backing up into one destination keep their records apart: a copy another PC made is
// read before it is trusted.
TEST_F(PressByRecords, TwoPcsKeepTheirRecordsApart) {
    fs.AddFile(L"C:\\Work\\shared.txt", "from A", kMonday);
    ASSERT_EQ(Press(kMonday + kHour).copied, 1u);
    // PC B's file of that name has its own contents, and the same size and time.
    fs.AddFile(L"C:\\Work\\shared.txt", "from B", kMonday);
    const PressOutcome b = Press(kMonday + kDay, {.machine = L"PC-B"});
    EXPECT_EQ(b.copied, 1u);
    EXPECT_EQ(fs.Data(Backup(L"Work\\shared.txt")), "from B");
    EXPECT_EQ(Press(kMonday + 2 * kDay, {.machine = L"PC-B"}).copied, 0u);
}

}  // namespace bexlo
