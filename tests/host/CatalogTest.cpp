#include "backup/Catalog.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/host/CatalogSupport.h"

namespace bexlo {
namespace {

using namespace catalog_test;
using Fault = MemoryFileSystem::Fault;
using Start = Catalog::Start;

using CatalogRecords = CatalogTest;
using CatalogPress = CatalogTest;

TEST_F(CatalogRecords, EveryFieldComesBackAfterTheCatalogIsClosed) {
    CatalogRecord gone = Record(L"Gone.txt", 4);
    gone.gone = true;
    gone.seen = kStart - 3 * kDay;
    CatalogRecord extreme = Record(L"big.iso", 5);
    extreme.source.size = extreme.copy.fileId = std::numeric_limits<std::uint64_t>::max();
    extreme.copy.lastWrite = std::numeric_limits<std::int64_t>::min();
    extreme.hash = ContentHash{0, std::numeric_limits<std::uint64_t>::max()};
    // Case, letters beyond ASCII, one beyond 16 bits, and a surrogate without its partner, which
    // Windows allows in a name.
    const std::vector<std::wstring> names = {L"Report.DOCX", L"\u00c9t\u00e9 \u00e0 Paris.txt",
                                             L"stra\u00dfe.txt", L"\U0001F600.png",
                                             std::wstring(1, wchar_t(0xD800)) + L"x"};
    std::vector<CatalogRecord> records = {gone, extreme, Record(L"unhashed", 6, false)};
    for (std::size_t i = 0; i < names.size(); ++i) {
        records.push_back(Record(names[i], 10 + i, i % 2 == 0));
    }
    {
        const std::unique_ptr<Catalog> catalog = Open();
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Start::New);
        for (const std::wstring& folder : {std::wstring(), std::wstring(L"WORK\\\u00c9T\u00c9")}) {
            catalog->Seen(folder);
            for (const CatalogRecord& record : records) {
                catalog->Put(folder, record);
            }
        }
        ASSERT_TRUE(catalog->Commit());
    }
    const std::unique_ptr<Catalog> catalog = Open(kStart + kDay);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Start::Kept);
    for (const std::wstring& folder : {std::wstring(), std::wstring(L"WORK\\\u00c9T\u00c9")}) {
        const FolderRecords read = catalog->Folder(folder);
        EXPECT_EQ(read.mine, Mine(records, kStart));
        EXPECT_EQ(read.seen, kStart);
        EXPECT_TRUE(read.others.empty());
    }
    EXPECT_TRUE(catalog->Folder(L"WORK").mine.empty());
}

// What is staged shows in Folder() over what is written, a name in any case taking one record,
// and a commit writes it as shown.
TEST_F(CatalogRecords, FolderShowsWhatIsStagedAndACommitWritesItAsShown) {
    Keep({Record(L"a.txt", 1), Record(L"b.txt", 2)});
    const auto work = Mine({Record(L"B.txt", 3), Record(L"c.txt", 4)}, kStart);
    const auto added = Mine({Record(L"d.txt", 5)}, 0);
    {
        const std::unique_ptr<Catalog> catalog = Open(kStart + kDay);
        ASSERT_TRUE(catalog);
        catalog->Put(L"WORK", Record(L"B.txt", 3));
        catalog->Put(L"WORK", Record(L"c.txt", 4));
        catalog->Forget(L"WORK", L"A.TXT");
        catalog->Put(L"NEW", Record(L"d.txt", 5));
        EXPECT_EQ(catalog->StagedCount(), 4u);
        EXPECT_EQ(catalog->Folder(L"WORK").mine, work);
        EXPECT_EQ(catalog->Folder(L"NEW").mine, added);
        ASSERT_TRUE(catalog->Commit());
        EXPECT_EQ(catalog->StagedCount(), 0u);
        EXPECT_EQ(catalog->Folder(L"WORK").mine, work);
    }
    const std::unique_ptr<Catalog> catalog = Open(kStart + 2 * kDay);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->Folder(L"WORK").mine, work);
    EXPECT_EQ(catalog->Folder(L"NEW").mine, added);
}

TEST_F(CatalogRecords, TwoPcsKeepTheirRecordsApartAndSeeEachOthersNames) {
    Keep({Record(L"a.txt", 1), Record(L"Both.txt", 2)});
    {
        const std::unique_ptr<Catalog> two = Open(kStart + kDay, L"PC-TWO");
        ASSERT_TRUE(two);
        EXPECT_EQ(two->UnfinishedSince(), 0);
        const FolderRecords read = two->Folder(L"WORK");
        EXPECT_TRUE(read.mine.empty());
        EXPECT_EQ(read.others, (std::set<std::wstring>{L"A.TXT", L"BOTH.TXT"}));
        EXPECT_EQ(read.seen, 0);
        two->Put(L"WORK", Record(L"both.txt", 7));
        two->Forget(L"WORK", L"a.txt");
        two->Seen(L"WORK");
        ASSERT_TRUE(two->Commit());
    }
    // The PC's name in another case is the same PC.
    const std::unique_ptr<Catalog> one = Open(kStart + 2 * kDay, L"pc-one");
    ASSERT_TRUE(one);
    const FolderRecords read = one->Folder(L"WORK");
    EXPECT_EQ(read.mine, Mine({Record(L"a.txt", 1), Record(L"Both.txt", 2)}, kStart));
    EXPECT_EQ(read.others, std::set<std::wstring>{L"BOTH.TXT"});
    EXPECT_EQ(read.seen, kStart);
}

// A record's `seen` is its folder's listing while its source is there, its own once gone; the
// folder's `seen` stays the one before this press however often the press commits.
TEST_F(CatalogPress, SeenFollowsTheFolderUntilTheSourceIsGone) {
    Keep({Record(L"a.txt", 1), Record(L"b.txt", 2)});
    const std::int64_t second = kStart + kDay;
    {
        const std::unique_ptr<Catalog> catalog = Open(second);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->Folder(L"WORK").seen, kStart);
        catalog->Seen(L"WORK");
        CatalogRecord gone = Record(L"b.txt", 2);
        gone.gone = true;
        catalog->Put(L"WORK", gone);
        for (int round = 0; round < 2; ++round) {
            const FolderRecords read = catalog->Folder(L"WORK");
            EXPECT_EQ(read.seen, kStart);
            EXPECT_EQ(read.mine.at(L"A.TXT").seen, second);
            EXPECT_EQ(read.mine.at(L"B.TXT").seen, kStart);
            EXPECT_TRUE(read.mine.at(L"B.TXT").gone);
            ASSERT_TRUE(catalog->Commit());
        }
        // A folder never listed before this press.
        catalog->Seen(L"OTHER");
        ASSERT_TRUE(catalog->Commit());
        EXPECT_EQ(catalog->Folder(L"OTHER").seen, 0);
    }
    // A press that does not list the folder leaves every `seen` as the last listing left it.
    for (const std::int64_t now : {second + kDay, second + 2 * kDay}) {
        const std::unique_ptr<Catalog> catalog = Open(now);
        ASSERT_TRUE(catalog);
        const FolderRecords read = catalog->Folder(L"WORK");
        EXPECT_EQ(read.seen, second);
        EXPECT_EQ(read.mine.at(L"A.TXT").seen, second);
        EXPECT_EQ(read.mine.at(L"B.TXT").seen, kStart);
        EXPECT_EQ(catalog->Folder(L"OTHER").seen, second);
    }
}

TEST_F(CatalogPress, AnUnfinishedPressIsRememberedUntilOneFinishes) {
    // Each press copies something.
    const auto press = [&](std::int64_t now, const wchar_t* machine, bool finish) {
        const std::unique_ptr<Catalog> catalog = Open(now, machine);
        EXPECT_TRUE(catalog);
        const std::int64_t unfinished = catalog ? catalog->UnfinishedSince() : -1;
        EXPECT_TRUE(catalog && catalog->BeforeCopying());
        if (catalog && finish) {
            EXPECT_TRUE(catalog->Finish());
            EXPECT_EQ(catalog->UnfinishedSince(), 0);
        }
        return unfinished;
    };
    EXPECT_EQ(press(kStart, L"PC-ONE", false), 0);
    // The earliest unfinished press counts, not the latest.
    EXPECT_EQ(press(kStart + 1 * kDay, L"PC-ONE", false), kStart);
    EXPECT_EQ(press(kStart + 2 * kDay, L"PC-TWO", true), 0);
    {
        // The enclosure pulled right after the start: what was written at the start stays.
        const std::unique_ptr<Catalog> catalog = Open(kStart + 3 * kDay);
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->UnfinishedSince(), kStart);
        fs.Cut(Fault::Pulled, 1, L'E', present);
        catalog->Put(L"WORK", Record(L"a.txt", 1));
        EXPECT_FALSE(catalog->Finish());
    }
    fs.PowerCut();
    fs.Heal(present);
    EXPECT_EQ(press(kStart + 4 * kDay, L"PC-ONE", true), kStart);
    EXPECT_EQ(press(kStart + 5 * kDay, L"PC-ONE", false), 0);
    EXPECT_EQ(press(kStart + 6 * kDay, L"PC-TWO", false), 0);
    EXPECT_EQ(press(kStart + 7 * kDay, L"PC-ONE", false), kStart + 5 * kDay);
    // A press that copies nothing leaves no mark.
    {
        const std::unique_ptr<Catalog> catalog = Open(kStart + 8 * kDay, L"PC-TWO");
        ASSERT_TRUE(catalog);
        EXPECT_TRUE(catalog->Finish());
    }
    EXPECT_EQ(press(kStart + 9 * kDay, L"PC-TWO", false), 0);
}

// The catalog file is opened for this program alone: a second catalog is refused, not started
// over it, and the first goes on as if alone.
TEST_F(CatalogPress, ASecondOpenWhileTheFirstIsOpenGivesNothingAndChangesNothing) {
    Keep({Record(L"a.txt", 1)});
    {
        const std::unique_ptr<Catalog> first = Open(kStart + kDay);
        ASSERT_TRUE(first);
        first->Put(L"WORK", Record(L"b.txt", 2));
        EXPECT_FALSE(Open(kStart + kDay));
        EXPECT_FALSE(Open(kStart + kDay, L"PC-TWO"));
        EXPECT_TRUE(first->Commit());
    }
    // Nothing set aside, and no journal left behind.
    EXPECT_EQ(fs.List(kVersions)->size(), 1u);
    const std::unique_ptr<Catalog> catalog = Open(kStart + 2 * kDay);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Start::Kept);
    EXPECT_EQ(catalog->Folder(L"WORK").mine,
              Mine({Record(L"a.txt", 1), Record(L"b.txt", 2)}, kStart));
}

TEST_F(CatalogPress, AFailedCommitEndsTheCatalogsUseForThePressAndLosesNothingWritten) {
    Keep({Record(L"a.txt", 1)});
    {
        const std::unique_ptr<Catalog> catalog = Open(kStart + kDay);
        ASSERT_TRUE(catalog && catalog->BeforeCopying());
        for (int i = 0; i < 300; ++i) {
            catalog->Put(L"WORK", Record(L"new " + std::to_wstring(i), 100 + i));
        }
        fs.capacities[L'E'] = fs.UsedBytes(L'E');
        EXPECT_FALSE(catalog->Commit());
        fs.capacities.clear();
        EXPECT_EQ(catalog->StagedCount(), 0u);
        catalog->Put(L"WORK", Record(L"later.txt", 3));
        catalog->Seen(L"WORK");
        EXPECT_EQ(catalog->StagedCount(), 0u);
        EXPECT_TRUE(catalog->Folder(L"WORK").mine.empty());
        EXPECT_FALSE(catalog->Commit());
        EXPECT_FALSE(catalog->Finish());
    }
    fs.PowerCut();
    const std::unique_ptr<Catalog> catalog = Open(kStart + 2 * kDay);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Start::Kept);
    EXPECT_EQ(catalog->UnfinishedSince(), kStart + kDay);
    EXPECT_EQ(catalog->Folder(L"WORK").mine, Mine({Record(L"a.txt", 1)}, kStart));
}

TEST(CatalogFolderKeys, AFolderHasOneKeyWhateverItsCaseAndForm) {
    EXPECT_EQ(
        CatalogFolderKey(L"\\\\?\\E:\\FilesBackup", L"\\\\?\\E:\\FilesBackup\\Work\\\u00e9t\u00e9"),
        CatalogFolderKey(L"E:\\FilesBackup\\", L"E:\\FILESBACKUP\\WORK\\\u00c9T\u00c9\\"));
    EXPECT_EQ(CatalogFolderKey(L"E:\\", L"E:\\Work\\Sub"), FoldCase(L"Work\\Sub"));
    EXPECT_EQ(CatalogFolderKey(L"E:\\FilesBackup", L"E:\\FilesBackup"), L"");
    EXPECT_EQ(CatalogFolderKey(L"E:\\FilesBackup", L"E:\\FilesBackup\\"), L"");
}

}  // namespace
}  // namespace bexlo
