// The catalog on the mapped drive E: through the platform's own file calls, in a destination
// folder whose name goes beyond ASCII.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "backup/Catalog.h"
#include "backup/VersionIndex.h"
#include "backup/WindowsFileSystem.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

const std::wstring kDestination = L"E:\\Sauvegarde \u00e9t\u00e9";
const std::wstring kVersions = kDestination + L"\\Bexlo versions";
const std::wstring kCatalog = kVersions + L"\\_Bexlo catalog.db";

class CatalogOnDisk : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(kDestination);
        test::MakeFolders({kDestination});
    }
    void TearDown() override { test::RemoveTree(kDestination); }

    std::unique_ptr<Catalog> Open() {
        return Catalog::Open(fs, L"\\\\?\\" + kDestination, L"PC", now);
    }

    WindowsFileSystem fs;
    const std::int64_t now = fs.CurrentTime();
};

TEST_F(CatalogOnDisk, RecordsComeBackAndTheFileIsThisProgramsAlone) {
    CatalogRecord record{L"\u00c9t\u00e9.txt",
                         {12, now - 9, now - 8, 77},
                         {12, now - 7, now - 6, 78},
                         now - 5,
                         now,
                         false,
                         ContentHash{1, 2}};
    {
        const std::unique_ptr<Catalog> catalog = Open();
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Catalog::Start::New);
        catalog->Seen(L"");
        catalog->Put(L"", record);
        EXPECT_FALSE(Open());
        EXPECT_EQ(test::FileText(kCatalog), "<missing>") << "another program read the catalog";
        ASSERT_TRUE(catalog->Commit());
    }
    EXPECT_FALSE(test::Exists(kCatalog + L"-journal"));
    const std::unique_ptr<Catalog> catalog = Open();
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Catalog::Start::Kept);
    const FolderRecords read = catalog->Folder(L"");
    ASSERT_EQ(read.mine.size(), 1u);
    EXPECT_EQ(read.mine.begin()->second, record);
}

TEST_F(CatalogOnDisk, ADamagedFileIsSetAsideWholeAndANewOneStarted) {
    test::MakeFolders({kVersions});
    const std::string damaged(20000, '\x5A');
    test::WriteBytes(kCatalog, damaged);
    CatalogRecord record;
    record.name = L"a.txt";
    {
        const std::unique_ptr<Catalog> catalog = Open();
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->HowStarted(), Catalog::Start::Damaged);
        catalog->Put(L"WORK", record);
        ASSERT_TRUE(catalog->Commit());
    }
    EXPECT_TRUE(test::FileText(kCatalog + L".damaged-" + PressFolderName(now)) == damaged);
    const std::unique_ptr<Catalog> catalog = Open();
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Catalog::Start::Kept);
    EXPECT_EQ(catalog->Folder(L"WORK").mine.size(), 1u);
}

}  // namespace
}  // namespace bexlo
