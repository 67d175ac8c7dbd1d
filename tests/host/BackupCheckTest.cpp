// The check that reads the backup back: a copy that reads different, is cut short or cannot be
// read is found, named and marked, and the next press copies it again from an unchanged source,
// the damaged copy kept aside; a check cut anywhere, or held to a budget, is taken up where it
// stopped and reads every file once before any twice.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

#include "backup/BackupCheck.h"
#include "backup/DamagedAside.h"
#include "backup/PathList.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"
#include "tests/host/CatalogSupport.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
constexpr wchar_t kTarget[] = L"E:\\FilesBackup";
constexpr wchar_t kVersionsPath[] = L"E:\\FilesBackup\\Bexlo versions";
constexpr wchar_t kCatalogFile[] = L"E:\\FilesBackup\\Bexlo versions\\_Bexlo catalog.db";
constexpr wchar_t kMachine[] = L"PC-A";

std::wstring Backup(const std::wstring& below) {
    return std::wstring(kTarget) + L"\\" + below;
}

// Disks that tell which files a check read to their end, in order, and whose clock runs on by
// `msPerBuffer` for each piece read.
class CountingDisks : public MemoryFileSystem {
public:
    std::unique_ptr<SequentialFile> OpenSequential(const std::wstring& path) override {
        std::unique_ptr<SequentialFile> file = MemoryFileSystem::OpenSequential(path);
        return file ? std::make_unique<Counted>(*this, PlainPath(path), std::move(file)) : nullptr;
    }

    std::vector<std::wstring> finished;
    std::int64_t msPerBuffer = 0;

private:
    class Counted : public SequentialFile {
    public:
        Counted(CountingDisks& disks, std::wstring path, std::unique_ptr<SequentialFile> file)
            : disks_(disks), path_(std::move(path)), file_(std::move(file)) {}
        std::uint64_t Size() const override { return file_->Size(); }
        std::optional<std::size_t> Read(std::span<std::uint8_t> into) override {
            const std::optional<std::size_t> read = file_->Read(into);
            disks_.SetClock(disks_.CurrentTime() + disks_.msPerBuffer * 10'000);
            if (read && *read < into.size()) {
                disks_.finished.push_back(path_);
            }
            return read;
        }

    private:
        CountingDisks& disks_;
        std::wstring path_;
        std::unique_ptr<SequentialFile> file_;
    };
};

// Stops the check once it has asked `after` times; counts what it was told.
class Feedback : public CheckFeedback {
public:
    explicit Feedback(int after = -1) : after_(after) {}
    void Progress(std::uint64_t done, std::uint64_t total) override {
        EXPECT_LE(done, total);
        EXPECT_GE(done, lastDone);
        lastDone = done;
        ++told;
    }
    bool StopRequested() override { return after_ >= 0 && ++asked_ > after_; }

    std::uint64_t lastDone = 0;
    int told = 0;

private:
    int after_;
    int asked_ = 0;
};

// The files below a folder of the enclosure, by path below it, with their data.
std::map<std::wstring, std::string> FilesBelow(const MemoryFileSystem& fs,
                                               const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    const std::wstring prefix = folder + L"\\";
    for (const auto& [path, value] : fs.Snapshot(L'E')) {
        if (path.starts_with(prefix) && value != "<folder>") {
            files[path.substr(prefix.size())] = value.substr(0, value.rfind('@'));
        }
    }
    return files;
}

class BackupCheckTest : public testing::Test {
protected:
    BackupCheckTest() {
        fs.AddFolder(kTarget);
        fs.AddFolder(L"C:\\Program Files\\Travenor\\BXL");
        fs.AddFile(L"C:\\Work\\a.txt", "alpha alpha alpha", kMonday);
        fs.AddFile(L"C:\\Work\\b.txt", "bravo", kMonday);
        fs.AddFile(L"C:\\Work\\Sub\\c.txt", std::string(5000, 'c'), kMonday);
        EXPECT_TRUE(fs.WriteFileReplacing(PathListFile(), PathListBytes(kTarget, {L"C:\\Work"})));
    }

    PressOutcome Press(std::int64_t now, bool sync = false) {
        PressOptions options;
        options.machine = kMachine;
        options.sync = sync;
        return PressWith(fs, present, now, options);
    }

    CheckOutcome Check(std::int64_t at, std::uint64_t budgetMs = 0, int stopAfter = -1,
                       std::int64_t roundStart = 0) {
        fs.SetClock(at);
        Feedback feedback(stopAfter);
        return CheckBackup(fs, LongPath(kTarget), kMachine, fs.CurrentTime(), budgetMs, feedback,
                           roundStart);
    }

    std::optional<CatalogRecord> RecordOf(const std::wstring& folder, const std::wstring& name) {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, LongPath(kTarget), kMachine, fs.CurrentTime());
        if (!catalog) {
            return std::nullopt;
        }
        const FolderRecords records = catalog->Folder(folder);
        const auto found = records.mine.find(FoldCase(name));
        return found != records.mine.end() ? std::optional(found->second) : std::nullopt;
    }

    CountingDisks fs;
    std::atomic<int> present{1};
};

struct Damage {
    const char* what;
    std::string data;
};

constexpr char kGood[] = "alpha alpha alpha";

std::string Flipped() {
    std::string data = kGood;
    data[6] ^= 0x20;
    return data;
}

class DamagedCopy : public BackupCheckTest, public testing::WithParamInterface<Damage> {};

INSTANTIATE_TEST_SUITE_P(Each, DamagedCopy,
                         testing::Values(Damage{"flipped", Flipped()},
                                         Damage{"truncated", "alpha al"},
                                         Damage{"rewritten", std::string(sizeof kGood - 1, '\0')}),
                         [](const testing::TestParamInfo<Damage>& info) {
                             return std::string(info.param.what);
                         });

}  // namespace

// A flipped byte, a truncation and a copy rewritten with its size and time kept are each found
// and named; the next press copies the file again from its unchanged source, keeps the damaged
// copy in the Damaged folder and never as a version, and the new record is trusted again.
TEST_P(DamagedCopy, IsFoundMarkedAndCopiedAgainFromItsSource) {
    const Damage& damage = GetParam();
    ASSERT_EQ(Press(kMonday + kHour).copied, 3u);
    EXPECT_TRUE(Check(kMonday + 2 * kHour).damaged.empty());

    fs.AddFile(Backup(L"Work\\a.txt"), damage.data, kMonday);
    const CheckOutcome found = Check(kMonday + 3 * kHour);
    ASSERT_EQ(found.damaged.size(), 1u);
    EXPECT_EQ(PlainPath(found.damaged[0].path), Backup(L"Work\\a.txt"));
    EXPECT_EQ(found.damaged[0].kind, CheckFinding::Kind::ReadsDifferent);
    EXPECT_FALSE(found.damaged[0].version);
    EXPECT_TRUE(found.damaged[0].repairable);
    EXPECT_TRUE(found.allChecked);
    EXPECT_FALSE(found.cancelled);
    EXPECT_EQ(found.filesRead, 3u);
    EXPECT_EQ(found.bytesTotal, 17u + 5u + 5000u);
    EXPECT_EQ(found.bytesGood, 5u + 5000u);
    const std::optional<CatalogRecord> marked = RecordOf(L"WORK", L"a.txt");
    ASSERT_TRUE(marked);
    EXPECT_TRUE(marked->damaged);

    const PressOutcome repair = Press(kMonday + 4 * kHour);
    EXPECT_TRUE(repair.failures.empty());
    EXPECT_EQ(repair.versionsKept, 0u);
    EXPECT_EQ(fs.Data(Backup(L"Work\\a.txt")), kGood);
    const std::map<std::wstring, std::string> aside =
        FilesBelow(fs, std::wstring(kVersionsPath) + L"\\" + kDamagedFolderName);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(aside.begin()->first.ends_with(L"\\Work\\a.txt")) << aside.begin()->first;
    EXPECT_EQ(aside.begin()->second, damage.data);
    const std::optional<CatalogRecord> repaired = RecordOf(L"WORK", L"a.txt");
    ASSERT_TRUE(repaired);
    EXPECT_FALSE(repaired->damaged);

    const CheckOutcome after = Check(kMonday + 5 * kHour);
    EXPECT_TRUE(after.damaged.empty());
    EXPECT_EQ(after.bytesGood, after.bytesTotal);
    // A later press leaves what went aside where it is.
    Press(kMonday + 40 * kDay);
    EXPECT_EQ(FilesBelow(fs, std::wstring(kVersionsPath) + L"\\" + kDamagedFolderName), aside);
}

// A copy that cannot be read or is gone is named so; a copy whose source changed since is not
// repairable from it, and the next press copies the changed source, the damaged copy still aside.
TEST_F(BackupCheckTest, UnreadableAndMissingCopiesAreNamedAndThePressCopiesThemAgain) {
    ASSERT_EQ(Press(kMonday + kHour).copied, 3u);
    fs.badSectors[FoldCase(Backup(L"Work\\Sub\\c.txt"))] = 4096;
    fs.Remove(Backup(L"Work\\b.txt"));
    fs.AddFile(Backup(L"Work\\a.txt"), "alpha alpha alphA", kMonday);
    fs.AddFile(L"C:\\Work\\a.txt", "a new alpha", kMonday + 2 * kHour);

    const CheckOutcome found = Check(kMonday + 3 * kHour);
    std::map<std::wstring, CheckFinding> named;
    for (const CheckFinding& finding : found.damaged) {
        named[PlainPath(finding.path)] = finding;
    }
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(named[Backup(L"Work\\Sub\\c.txt")].kind, CheckFinding::Kind::Unreadable);
    EXPECT_TRUE(named[Backup(L"Work\\Sub\\c.txt")].repairable);
    EXPECT_EQ(named[Backup(L"Work\\b.txt")].kind, CheckFinding::Kind::Missing);
    EXPECT_TRUE(named[Backup(L"Work\\b.txt")].repairable);
    EXPECT_EQ(named[Backup(L"Work\\a.txt")].kind, CheckFinding::Kind::ReadsDifferent);
    EXPECT_FALSE(named[Backup(L"Work\\a.txt")].repairable) << "its source changed since";
    EXPECT_EQ(found.bytesGood, 0u);

    fs.badSectors.clear();
    const PressOutcome repair = Press(kMonday + 4 * kHour);
    EXPECT_TRUE(repair.failures.empty());
    EXPECT_EQ(repair.versionsKept, 0u) << "a damaged copy is no version";
    EXPECT_EQ(fs.Data(Backup(L"Work\\a.txt")), "a new alpha");
    EXPECT_EQ(fs.Data(Backup(L"Work\\b.txt")), "bravo");
    EXPECT_EQ(fs.Data(Backup(L"Work\\Sub\\c.txt")), std::string(5000, 'c'));
    std::set<std::string> aside;
    for (const auto& [path, data] :
         FilesBelow(fs, std::wstring(kVersionsPath) + L"\\" + kDamagedFolderName)) {
        aside.insert(data);
    }
    EXPECT_EQ(aside, (std::set<std::string>{"alpha alpha alphA", std::string(5000, 'c')}));
    EXPECT_TRUE(Check(kMonday + 5 * kHour).damaged.empty());
}

// A kept version that reads different is named, and goes aside out of its press folder's index:
// thinning no longer counts it among the versions it keeps.
TEST_F(BackupCheckTest, ADamagedVersionIsNamedAndTakenOutOfItsIndex) {
    ASSERT_EQ(Press(kMonday + kHour).copied, 3u);
    fs.AddFile(L"C:\\Work\\b.txt", "bravo two", kMonday + kDay);
    const PressOutcome second = Press(kMonday + kDay + kHour);
    ASSERT_EQ(second.versionsKept, 1u);
    std::wstring version;
    std::wstring index;
    for (const auto& [path, data] : FilesBelow(fs, kVersionsPath)) {
        if (path.ends_with(L"b.txt")) {
            version = std::wstring(kVersionsPath) + L"\\" + path;
        } else if (path.ends_with(kVersionIndexName)) {
            index = std::wstring(kVersionsPath) + L"\\" + path;
        }
    }
    ASSERT_FALSE(version.empty());
    ASSERT_EQ(fs.Data(version), "bravo");
    EXPECT_TRUE(Check(kMonday + kDay + 2 * kHour).damaged.empty());

    fs.AddFile(version, "brav0", kMonday);
    const CheckOutcome found = Check(kMonday + kDay + 3 * kHour);
    ASSERT_EQ(found.damaged.size(), 1u);
    EXPECT_EQ(PlainPath(found.damaged[0].path), version);
    EXPECT_TRUE(found.damaged[0].version);
    EXPECT_FALSE(found.damaged[0].repairable);
    EXPECT_FALSE(fs.Data(version));
    const std::optional<std::string> indexData = fs.Data(index);
    ASSERT_TRUE(indexData);
    const VersionIndex kept = ParseVersionIndex(
        std::span(reinterpret_cast<const std::uint8_t*>(indexData->data()), indexData->size()));
    EXPECT_TRUE(kept.records.empty());
    EXPECT_TRUE(kept.complete);
    const std::map<std::wstring, std::string> aside =
        FilesBelow(fs, std::wstring(kVersionsPath) + L"\\" + kDamagedFolderName);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside.begin()->second, "brav0");
    EXPECT_TRUE(Check(kMonday + kDay + 4 * kHour).damaged.empty());
}

// Synchronize never takes a damaged copy for the newer file: it copies the source over it, and
// copies nothing back to the PC where the source is gone.
TEST_F(BackupCheckTest, SynchronizeNeverCopiesADamagedCopyToThePc) {
    ASSERT_EQ(Press(kMonday + kHour, true).copied, 3u);
    fs.AddFile(Backup(L"Work\\a.txt"), "alpha alpha alphA", kMonday + kDay);
    fs.AddFile(Backup(L"Work\\b.txt"), "brav0", kMonday);
    ASSERT_EQ(Check(kMonday + 2 * kDay).damaged.size(), 2u);
    fs.Remove(L"C:\\Work\\b.txt");

    const PressOutcome repair = Press(kMonday + 3 * kDay, true);
    EXPECT_TRUE(repair.failures.empty());
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), kGood) << "the PC's file stays";
    EXPECT_EQ(fs.Data(Backup(L"Work\\a.txt")), kGood);
    EXPECT_FALSE(fs.Data(L"C:\\Work\\b.txt")) << "copied back from a damaged copy";
    EXPECT_EQ(fs.Data(Backup(L"Work\\b.txt")), "brav0");
    EXPECT_EQ(repair.versionsKept, 0u);
}

// Without a catalog there is nothing to check against, and the check makes none.
TEST_F(BackupCheckTest, ADestinationWithoutCatalogHasNothingToCheck) {
    fs.AddFile(Backup(L"Work\\a.txt"), kGood, kMonday);
    const CheckOutcome outcome = Check(kMonday + kHour);
    EXPECT_TRUE(outcome.noCatalog);
    EXPECT_EQ(outcome.filesRead, 0u);
    EXPECT_FALSE(fs.Data(kCatalogFile));
}

class CheckResumes : public BackupCheckTest {
protected:
    CheckResumes() {
        fs.AddFile(L"C:\\Work\\big.bin", std::string(kCheckBuffer * 5 / 2, 'g'), kMonday);
        fs.AddFile(L"C:\\Work\\whole.bin", std::string(kCheckBuffer, 'w'), kMonday);
        for (int i = 0; i < 4; ++i) {
            fs.AddFile(L"C:\\Work\\Sub\\s" + std::to_wstring(i), std::string(100 + i, 's'),
                       kMonday);
        }
        EXPECT_EQ(Press(kMonday + kHour).copied, kFiles);
        fs.finished.clear();
    }

    // Every file was read once, in the order read, before any was read again.
    static void OnceBeforeTwice(const std::vector<std::wstring>& finished) {
        ASSERT_GE(finished.size(), kFiles);
        const std::set<std::wstring> first(finished.begin(), finished.begin() + kFiles);
        EXPECT_EQ(first.size(), kFiles);
    }

    static constexpr std::size_t kFiles = 9;
};

// A check stopped after any number of pieces read, again and again, is taken up where it stopped:
// over successive checks every file is read to its end once before any is read twice. A file cut
// in the middle is read again from its start; a check stopped before the second piece of the
// largest file never gets past it, so the stops begin at its count of pieces.
TEST_F(CheckResumes, AfterAStopAtEveryPiece) {
    const MemoryFileSystem start = fs;
    for (int after = 3; after <= 12; ++after) {
        SCOPED_TRACE(after);
        static_cast<MemoryFileSystem&>(fs) = start;
        fs.finished.clear();
        std::int64_t at = kMonday + 2 * kHour;
        CheckOutcome outcome;
        for (int check = 0; check < 30 && fs.finished.size() < kFiles; ++check) {
            outcome = Check(at += kHour, 0, after);
            EXPECT_TRUE(outcome.damaged.empty());
        }
        OnceBeforeTwice(fs.finished);
        // Nine files and three pieces within files: twelve asks read everything.
        EXPECT_EQ(outcome.cancelled, after < 12);
        const std::size_t before = fs.finished.size();
        outcome = Check(at += kHour);
        EXPECT_TRUE(outcome.allChecked);
        EXPECT_FALSE(outcome.cancelled);
        fs.finished.erase(fs.finished.begin(),
                          fs.finished.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(fs.finished.size(), kFiles);
    }
}

// One stop after any number of pieces, then a whole check that goes on with its round: what the
// stopped check finished is not read again, and the rest, a file cut in the middle included, is
// read once. A check of a new round reads everything again.
TEST_F(CheckResumes, OnceStoppedAtAnyPieceTheNextReadsOnlyWhatIsLeft) {
    const MemoryFileSystem start = fs;
    for (int after = 1; after <= 12; ++after) {
        SCOPED_TRACE(after);
        static_cast<MemoryFileSystem&>(fs) = start;
        fs.finished.clear();
        const std::int64_t round = kMonday + 3 * kHour;
        Check(round, 0, after, round);
        const std::set<std::wstring> finished(fs.finished.begin(), fs.finished.end());
        EXPECT_EQ(finished.size(), fs.finished.size());
        fs.finished.clear();
        EXPECT_TRUE(Check(kMonday + 4 * kHour, 0, -1, round).allChecked);
        std::set<std::wstring> all = finished;
        for (const std::wstring& name : fs.finished) {
            EXPECT_FALSE(finished.contains(name)) << "read again: " << testing::PrintToString(name);
            all.insert(name);
        }
        EXPECT_EQ(all.size(), kFiles);
        EXPECT_EQ(fs.finished.size() + finished.size(), kFiles);
        fs.finished.clear();
        Check(kMonday + 5 * kHour, 0, -1, kMonday + 5 * kHour);
        EXPECT_EQ(fs.finished.size(), kFiles) << "a new round";
    }
}

// A check held to a budget after each press reaches every copy over enough presses, the longest
// unchecked first, and says so once it has.
TEST_F(CheckResumes, WithABudgetAfterEachPressReachesEveryCopy) {
    fs.msPerBuffer = 100;
    std::int64_t at = kMonday + 2 * kHour;
    bool all = false;
    int checks = 0;
    for (; checks < 20 && !all; ++checks) {
        Press(at += kDay);
        const CheckOutcome outcome = Check(at += kHour, 150);
        EXPECT_TRUE(outcome.damaged.empty());
        EXPECT_GE(outcome.filesRead, 1u);
        all = outcome.allChecked;
        EXPECT_EQ(all, !outcome.cancelled || fs.finished.size() >= kFiles);
    }
    EXPECT_TRUE(all);
    EXPECT_GT(checks, 2) << "the budget stopped no check";
    OnceBeforeTwice(fs.finished);
}

// A catalog of the earlier layout, as the program wrote it before it checked its copies, opens
// with its records and is upgraded in place; a check then reads the copies against them.
TEST_F(BackupCheckTest, ACatalogOfTheEarlierLayoutOpensAndIsUpgraded) {
    ASSERT_EQ(Press(kMonday + kHour).copied, 3u);
    const std::optional<CatalogRecord> record = RecordOf(L"WORK", L"a.txt");
    ASSERT_TRUE(record && record->hash);
    const std::optional<FileId> id = fs.Identity(LongPath(kTarget));
    ASSERT_TRUE(id);
    const std::wstring earlier = std::wstring(kVersionsPath) + L"\\earlier.db";
    // Made beside the catalog and moved over it.
    // The earlier layout, and one record of it with the hash of what was written.
    std::string sql =
        "PRAGMA application_id = 1115188291; PRAGMA user_version = 1;"
        "CREATE TABLE meta(id INTEGER PRIMARY KEY CHECK(id = 1), volume INTEGER NOT NULL, "
        "folder_low INTEGER NOT NULL, folder_high INTEGER NOT NULL);"
        "CREATE TABLE machines(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE, "
        "unfinished INTEGER NOT NULL);"
        "CREATE TABLE folders(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE);"
        "CREATE TABLE listings(folder INTEGER NOT NULL, machine INTEGER NOT NULL, "
        "seen INTEGER NOT NULL, PRIMARY KEY(folder, machine)) WITHOUT ROWID;"
        "CREATE TABLE records(folder INTEGER NOT NULL, machine INTEGER NOT NULL, "
        "folded BLOB NOT NULL, name BLOB NOT NULL, source_size INTEGER NOT NULL, "
        "source_write INTEGER NOT NULL, source_change INTEGER NOT NULL, source_id INTEGER NOT "
        "NULL, copy_size INTEGER NOT NULL, copy_write INTEGER NOT NULL, copy_change INTEGER NOT "
        "NULL, copy_id INTEGER NOT NULL, made INTEGER NOT NULL, seen INTEGER NOT NULL, "
        "gone INTEGER NOT NULL, hash BLOB, PRIMARY KEY(folder, machine, folded)) WITHOUT ROWID;";
    sql += "INSERT INTO meta VALUES(1, " + std::to_string(id->volume & 0xFFFFFFFF) + ", " +
           std::to_string(static_cast<std::int64_t>(id->index)) + ", " +
           std::to_string(static_cast<std::int64_t>(id->indexHigh)) + ");";
    // Text as the catalog keeps it: UTF-16LE in blobs.
    sql += "INSERT INTO machines VALUES(1, X'500043002D004100', 0);";
    sql += "INSERT INTO folders VALUES(1, X'57004F0052004B00');";
    sql += "INSERT INTO records VALUES(1, 1, X'41002E00540058005400', X'61002E00740078007400', ";
    for (const std::int64_t value :
         {static_cast<std::int64_t>(record->source.size), record->source.lastWrite,
          record->source.changeTime, static_cast<std::int64_t>(record->source.fileId),
          static_cast<std::int64_t>(record->copy.size), record->copy.lastWrite,
          record->copy.changeTime, static_cast<std::int64_t>(record->copy.fileId), record->made,
          record->seen, std::int64_t{0}}) {
        sql += std::to_string(value) + ", ";
    }
    // The hash as the catalog keeps it: the low half first, each half from its lowest byte.
    sql += "X'";
    for (const std::uint64_t half : {record->hash->low, record->hash->high}) {
        for (int i = 0; i < 8; ++i) {
            constexpr char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<std::uint8_t>(half >> (8 * i));
            sql += kHex[byte >> 4];
            sql += kHex[byte & 15];
        }
    }
    sql += "');";
    catalog_test::Tamper(fs, earlier, sql);
    fs.Remove(kCatalogFile);
    ASSERT_TRUE(fs.MoveNew(earlier, kCatalogFile));

    {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, LongPath(kTarget), kMachine, kMonday + 2 * kHour);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Catalog::Start::Kept);
        const FolderRecords records = catalog->Folder(L"WORK");
        ASSERT_EQ(records.mine.size(), 1u);
        EXPECT_EQ(records.mine.begin()->second.hash, record->hash);
        EXPECT_EQ(records.mine.begin()->second.checked, 0);
        EXPECT_FALSE(records.mine.begin()->second.damaged);
    }
    // Upgraded once: the next open finds the new layout, and the check marks what it read.
    fs.AddFile(Backup(L"Work\\a.txt"), "alpha alpha alphA", kMonday);
    const CheckOutcome found = Check(kMonday + 3 * kHour);
    EXPECT_FALSE(found.noCatalog);
    ASSERT_EQ(found.damaged.size(), 1u);
    EXPECT_EQ(PlainPath(found.damaged[0].path), Backup(L"Work\\a.txt"));
    const std::optional<CatalogRecord> marked = RecordOf(L"WORK", L"a.txt");
    ASSERT_TRUE(marked);
    EXPECT_TRUE(marked->damaged);
    EXPECT_EQ(marked->checked, kMonday + 3 * kHour + 1);
    EXPECT_FALSE(
        fs.Data(std::wstring(kCatalogFile) + L".damaged-" + PressFolderName(kMonday + 2 * kHour)));
}

}  // namespace bexlo
