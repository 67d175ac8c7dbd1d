// The catalog on a disk that fails: cut short at any step of its writes, damaged, copied from
// elsewhere or reached through a link.

#include "backup/Catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <random>

#include "tests/host/CatalogSupport.h"

namespace bexlo {
namespace {

using namespace catalog_test;
using Fault = MemoryFileSystem::Fault;
using Start = Catalog::Start;

using CatalogCut = CatalogTest;
using CatalogSetAside = CatalogTest;

// A press whose commit is cut at any step of its file operations, the power going with it, leaves
// its batch in the catalog in full or not at all, and what earlier presses wrote whole.
TEST_F(CatalogCut, ACommitCutAtAnyStepLeavesAllOfItsBatchOrNone) {
    // Names long enough that the batch splits pages.
    const auto name = [](const wchar_t* what, int i) {
        return what + std::to_wstring(i) + std::wstring(60, L'x');
    };
    std::vector<CatalogRecord> earlier;
    for (int i = 0; i < 40; ++i) {
        earlier.push_back(Record(name(L"earlier ", i), i));
    }
    // The batch forgets five records, changes ten and adds sixty, and lists the folder.
    std::vector<CatalogRecord> batch;
    for (int i = 5; i < 15; ++i) {
        batch.push_back(Record(earlier[i].name, 500 + i));
    }
    for (int i = 0; i < 60; ++i) {
        batch.push_back(Record(name(L"batch ", i), 100 + i));
    }
    std::vector<CatalogRecord> after(earlier.begin() + 15, earlier.end());
    after.insert(after.end(), batch.begin(), batch.end());
    const std::int64_t second = kStart + kDay;

    const auto setUp = [&](MemoryFileSystem& disk) {
        disk.AddFolder(L"E:\\FilesBackup");
        const std::unique_ptr<Catalog> first = Catalog::Open(disk, kDestination, L"PC", kStart);
        first->Seen(L"WORK");
        for (const CatalogRecord& record : earlier) {
            first->Put(L"WORK", record);
        }
        EXPECT_TRUE(first->Commit() && first->Finish());
    };
    // The catalog is closed before the power goes, as a pulled enclosure's handles are.
    const auto commit = [&](MemoryFileSystem& disk, Fault fault, int cut) {
        const std::unique_ptr<Catalog> catalog = Catalog::Open(disk, kDestination, L"PC", second);
        EXPECT_TRUE(catalog && catalog->BeforeCopying());
        for (int i = 0; i < 5; ++i) {
            catalog->Forget(L"WORK", earlier[i].name);
        }
        for (const CatalogRecord& record : batch) {
            catalog->Put(L"WORK", record);
        }
        catalog->Seen(L"WORK");
        disk.Cut(fault, cut, L'E', present);
        return catalog->Commit();
    };

    MemoryFileSystem whole;
    setUp(whole);
    ASSERT_TRUE(commit(whole, Fault::Pulled, 0));
    const int steps = whole.Steps();
    for (const Fault fault : {Fault::Pulled, Fault::DiskFull}) {
        for (int cut = 1; cut <= steps; ++cut) {
            SCOPED_TRACE(testing::Message() << "fault " << int(fault) << " at step " << cut);
            MemoryFileSystem disk;
            setUp(disk);
            const bool committed = commit(disk, fault, cut);
            disk.PowerCut();
            disk.Heal(present);
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, kDestination, L"PC", second + kDay);
            ASSERT_TRUE(catalog);
            EXPECT_EQ(catalog->HowStarted(), Start::Kept);
            EXPECT_EQ(catalog->UnfinishedSince(), second);
            const FolderRecords read = catalog->Folder(L"WORK");
            const bool all = read.mine == Mine(after, second) && read.seen == second;
            EXPECT_TRUE(all || (read.mine == Mine(earlier, kStart) && read.seen == kStart));
            EXPECT_TRUE(all || !committed);
        }
    }
}

// A new catalog cut short while it is made is made again, never taken for a damaged one.
TEST_F(CatalogCut, ACatalogCutWhileItIsMadeIsMadeAgain) {
    const auto press = [&](MemoryFileSystem& disk, Fault fault, int cut) {
        disk.AddFolder(L"E:\\FilesBackup");
        disk.Cut(fault, cut, L'E', present);
        if (const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, kDestination, L"PC", kStart)) {
            catalog->Put(L"", Record(L"a.txt", 1));
            catalog->Commit();
        }
    };
    MemoryFileSystem whole;
    press(whole, Fault::Pulled, 0);
    const int steps = whole.Steps();
    for (const Fault fault : {Fault::Pulled, Fault::DiskFull}) {
        for (int cut = 1; cut <= steps; ++cut) {
            SCOPED_TRACE(testing::Message() << "fault " << int(fault) << " at step " << cut);
            MemoryFileSystem disk;
            press(disk, fault, cut);
            disk.PowerCut();
            disk.Heal(present);
            {
                const std::unique_ptr<Catalog> catalog =
                    Catalog::Open(disk, kDestination, L"PC", kStart + kDay);
                ASSERT_TRUE(catalog);
                EXPECT_NE(catalog->HowStarted(), Start::Damaged);
                catalog->Put(L"", Record(L"b.txt", 2));
                ASSERT_TRUE(catalog->Commit());
            }
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, kDestination, L"PC", kStart + 2 * kDay);
            ASSERT_TRUE(catalog);
            EXPECT_EQ(catalog->HowStarted(), Start::Kept);
            EXPECT_TRUE(catalog->Folder(L"").mine.contains(L"B.TXT"));
        }
    }
}

// The set-aside name of the catalog for a press at kStart + kDay.
std::wstring SetAside(const std::wstring& catalog, const wchar_t* why) {
    return catalog + L"." + why + L"-2026-01-06 120000";
}

TEST_F(CatalogSetAside, AFileThatIsNoCatalogOfOursIsSetAsideWholeAndANewOneStarted) {
    std::vector<CatalogRecord> records;
    for (int i = 0; i < 200; ++i) {
        records.push_back(Record(L"file " + std::to_wstring(i), i));
    }
    Keep(records);
    const std::string ours = *fs.Data(kFile);
    ASSERT_GT(ours.size(), 8u * 4096);
    std::mt19937 random(7);
    std::string noise(3 * 4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    // A b-tree page's header and cell pointers: what a torn write of a page could leave.
    std::string torn = ours;
    std::copy(noise.begin(), noise.begin() + 100, torn.begin() + 2 * 4096);
    const std::pair<const char*, std::function<void(MemoryFileSystem&)>> spoils[] = {
        {"random bytes", [&](MemoryFileSystem& disk) { disk.AddFile(kFile, noise, 0); }},
        {"cut in half",
         [&](MemoryFileSystem& disk) { disk.AddFile(kFile, ours.substr(0, ours.size() / 2), 0); }},
        {"a page overwritten", [&](MemoryFileSystem& disk) { disk.AddFile(kFile, torn, 0); }},
        {"another program's",
         [&](MemoryFileSystem& disk) { Tamper(disk, kFile, "CREATE TABLE notes(x TEXT)"); }},
        {"a trigger",
         [&](MemoryFileSystem& disk) {
             Tamper(disk, kFile,
                    "CREATE TRIGGER t AFTER INSERT ON records BEGIN DELETE FROM records; END");
         }},
        {"a view",
         [&](MemoryFileSystem& disk) {
             Tamper(disk, kFile, "CREATE VIEW v AS SELECT name FROM records");
         }},
        {"a table", [&](MemoryFileSystem& disk) { Tamper(disk, kFile, "CREATE TABLE extra(x)"); }},
        {"an index",
         [&](MemoryFileSystem& disk) { Tamper(disk, kFile, "CREATE INDEX i ON records(name)"); }},
        {"a changed table",
         [&](MemoryFileSystem& disk) {
             Tamper(disk, kFile, "ALTER TABLE records ADD COLUMN x INTEGER");
         }},
        {"a later format",
         [&](MemoryFileSystem& disk) { Tamper(disk, kFile, "PRAGMA user_version = 4"); }},
    };
    for (const auto& [what, spoil] : spoils) {
        SCOPED_TRACE(what);
        MemoryFileSystem disk;
        disk.AddFile(kFile, ours, 0);
        spoil(disk);
        const std::optional<std::string> spoiled = disk.Data(kFile);
        {
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, kDestination, L"PC-ONE", kStart + kDay);
            ASSERT_TRUE(catalog);
            EXPECT_EQ(catalog->HowStarted(), Start::Damaged);
            EXPECT_TRUE(catalog->Folder(L"WORK").mine.empty());
            catalog->Put(L"WORK", Record(L"new.txt", 1));
            EXPECT_TRUE(catalog->Commit());
        }
        EXPECT_TRUE(disk.Data(SetAside(kFile, L"damaged")) == spoiled);
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, kDestination, L"PC-ONE", kStart + 2 * kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::Kept);
        EXPECT_EQ(catalog->Folder(L"WORK").mine, Mine({Record(L"new.txt", 1)}, 0));
    }
}

// A file past the bound is not even opened; its journal goes aside with it, and a second file set
// aside in the same second takes a name of its own.
TEST_F(CatalogSetAside, AFileTooLargeGoesAsideWithItsJournalUnderNamesOfTheirOwn) {
    const std::wstring journal = std::wstring(kFile) + L"-journal";
    for (const wchar_t* suffix : {L"", L" (2)"}) {
        fs.AddFile(kFile, "huge", 0, kCatalogFileLimit + 1);
        fs.AddFile(journal, "its journal", 0);
        const std::unique_ptr<Catalog> catalog = Open(kStart + kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::Damaged);
        const std::wstring aside = SetAside(kFile, L"damaged") + suffix;
        EXPECT_EQ(fs.Data(aside), "huge");
        EXPECT_EQ(fs.Data(aside + L"-journal"), "its journal");
    }
}

TEST_F(CatalogSetAside, ACatalogOfAnotherDestinationFolderIsSetAside) {
    for (const bool refs : {false, true}) {
        SCOPED_TRACE(refs ? "ReFS" : "NTFS");
        MemoryFileSystem disk;
        // ReFS: the two folders' ids differ only in their high halves.
        disk.wideIds = refs;
        disk.AddFolder(L"E:\\FilesBackup");
        {
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, kDestination, L"PC", kStart);
            catalog->Put(L"", Record(L"a.txt", 1));
            ASSERT_TRUE(catalog->Commit());
        }
        const std::string ours = *disk.Data(kFile);
        const std::wstring copied = L"E:\\Copy\\Bexlo versions\\_Bexlo catalog.db";
        disk.AddFile(copied, ours, 0);
        {
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, L"\\\\?\\E:\\Copy", L"PC", kStart + kDay);
            ASSERT_TRUE(catalog);
            EXPECT_EQ(catalog->HowStarted(), Start::OtherDestination);
            EXPECT_TRUE(catalog->Folder(L"").mine.empty());
        }
        EXPECT_TRUE(disk.Data(SetAside(copied, L"other-destination")) == ours);
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, kDestination, L"PC", kStart + kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::Kept);
        EXPECT_EQ(catalog->Folder(L"").mine, Mine({Record(L"a.txt", 1)}, 0));
    }
}

// A catalog of the layout before the marks of restored files opens with its records and is given
// their table; a mark written then survives the catalog's closing, and a record written
// anew drops it.
TEST_F(CatalogTest, ACatalogOfTheLayoutBeforeRestoresIsUpgradedWithItsRecords) {
    const std::vector<CatalogRecord> records = {Record(L"a.txt", 1), Record(L"b.txt", 2)};
    Keep(records);
    Tamper(fs, kFile, "DROP TABLE restored; PRAGMA user_version = 2");
    {
        const std::unique_ptr<Catalog> catalog = Open(kStart + kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::Kept);
        EXPECT_EQ(catalog->Folder(L"WORK").mine, Mine(records, kStart));
        CatalogRecord marked = records[0];
        marked.restored = true;
        catalog->Put(L"WORK", marked);
        ASSERT_TRUE(catalog->Commit());
    }
    {
        const std::unique_ptr<Catalog> catalog = Open(kStart + 2 * kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::Kept);
        std::map<std::wstring, CatalogRecord> mine = catalog->Folder(L"WORK").mine;
        EXPECT_TRUE(mine[L"A.TXT"].restored);
        EXPECT_FALSE(mine[L"B.TXT"].restored);
        mine[L"A.TXT"].restored = false;
        catalog->Put(L"WORK", mine[L"A.TXT"]);
        ASSERT_TRUE(catalog->Commit());
    }
    const std::unique_ptr<Catalog> catalog = Open(kStart + 3 * kDay);
    EXPECT_EQ(catalog->Folder(L"WORK").mine, Mine(records, kStart));
}

// Nothing is kept through a link, and nothing is made in place of what is not a plain folder or
// file.
TEST_F(CatalogSetAside, AVersionsFolderThatIsALinkGivesNoCatalog) {
    fs.AddFile(L"E:\\Elsewhere\\kept.db", "kept", 0);
    const std::map<std::wstring, std::string> before = fs.Snapshot(L'E');
    fs.AddLink(kVersions, L"E:\\Elsewhere");
    EXPECT_FALSE(Open());
    fs.Remove(kVersions);
    fs.AddFile(kVersions, "a file", 0);
    EXPECT_FALSE(Open());
    fs.Remove(kVersions);
    fs.AddFolder(kFile);
    EXPECT_FALSE(Open());
    fs.Remove(kFile);
    fs.AddFileLink(kFile, L"E:\\Elsewhere\\kept.db");
    EXPECT_FALSE(Open());
    fs.Remove(kVersions);
    EXPECT_EQ(fs.Snapshot(L'E'), before);
    EXPECT_FALSE(Catalog::Open(fs, L"\\\\?\\E:\\Missing", L"PC", kStart));
}

}  // namespace
}  // namespace bexlo
