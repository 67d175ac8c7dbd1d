#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/win/TestSupport.h"
#include "tests/win/TreeHost.h"
#include "treectrl/CTreeFileCtrl.h"
#include "treectrl/TreeShell.h"
#include "treectrl/WatchThread.h"

namespace bexlo {
namespace {

using test::MakeFolders;
using test::PumpUntil;

class TestTree : public CTreeFileCtrl {
public:
    // As the tree's own file operations do: no refresh, the watchers see the flag.
    void PauseRefreshing() { autoRefresh.store(0); }
};

class TreeCtrl : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(L"E:\\t");
        ::CreateDirectoryW(L"E:\\t", nullptr);
        host = std::make_unique<test::TreeHost<TestTree>>();
        ASSERT_TRUE(host->Create(nullptr));
        tree().DriveIncludeFlags.fill(0);
        for (int letter : {'E' - 'A', 'F' - 'A', 'G' - 'A'}) {
            tree().DriveIncludeFlags[static_cast<size_t>(letter)] = 1;
        }
        tree().checkBoxTree = 1;
        tree().reselectAfterRefresh = 1;
        tree().Initialise();
    }
    void TearDown() override {
        host.reset();
        test::RemoveTree(L"E:\\t");
    }

    TestTree& tree() { return host->tree; }

    // Makes the folder `path` until the tree lists it, made again each time it is not listed
    // soon: the drive's watcher starts at idle priority and sees only what changes once it is
    // watching.
    bool MakeUntilListed(const std::wstring& path) {
        const ULONGLONG end = ::GetTickCount64() + 20000;
        while (::GetTickCount64() < end) {
            ::RemoveDirectoryW(path.c_str());
            ::CreateDirectoryW(path.c_str(), nullptr);
            if (PumpUntil([&] { return tree().PathToItem(path) != nullptr; }, 500)) {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<test::TreeHost<TestTree>> host;
};

// The host tests hold which drives and folders show; here, where their items go.
TEST_F(TreeCtrl, DrivesHangBelowTheComputerItemAndAFolderOfFilesLosesItsButtonOnceOpened) {
    ASSERT_NE(tree().computerItem, nullptr);
    EXPECT_EQ(tree().RootItem(), tree().computerItem);
    MakeFolders({L"E:\\t\\apple"});
    test::WriteBytes(L"E:\\t\\apple\\a.txt", "a");
    HTREEITEM files = tree().SetSelectedPath(L"E:\\t\\apple", false);
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(TreeView_GetParent(tree().Handle(), tree().PathToItem(L"E:\\")), tree().computerItem);
    EXPECT_TRUE(tree().HasChildren(files));
    tree().ExpandItem(files);
    EXPECT_EQ(TreeView_GetChild(tree().Handle(), files), nullptr);
    EXPECT_FALSE(tree().HasChildren(files));
}

// The tree asks for a folder's expand button when it first shows the folder; a relisting after a
// change on disk asks anew, so a folder shown by scrolling has the button the disk gives it now.
TEST_F(TreeCtrl, AFolderShownByScrollingHasTheRightButtonAfterAChangeOnDisk) {
    std::vector<std::wstring> folders;
    for (int i = 10; i < 70; ++i) {
        folders.push_back(L"E:\\t\\f" + std::to_wstring(i));
    }
    MakeFolders(folders);
    MakeFolders({L"E:\\t\\f68\\inner"});
    ASSERT_NE(tree().SetSelectedPath(L"E:\\", true), nullptr);
    // Scrolls the last folders of E:\t into view, opening it, and paints them.
    auto showLastFolders = [&] {
        HTREEITEM t = tree().SetSelectedPath(L"E:\\t", true);
        EXPECT_NE(t, nullptr);
        TreeView_Expand(tree().Handle(), t, TVE_EXPAND);
        HTREEITEM last = tree().PathToItem(L"E:\\t\\f69");
        EXPECT_NE(last, nullptr);
        RECT client{};
        ::GetClientRect(tree().Handle(), &client);
        RECT row{};
        const bool below =
            !TreeView_GetItemRect(tree().Handle(), last, &row, FALSE) || row.top >= client.bottom;
        EXPECT_TRUE(below) << "the last folder starts out of view";
        TreeView_EnsureVisible(tree().Handle(), last);
        ::UpdateWindow(tree().Handle());
    };
    showLastFolders();
    EXPECT_TRUE(tree().HasChildren(tree().PathToItem(L"E:\\t\\f68")));
    EXPECT_FALSE(tree().HasChildren(tree().PathToItem(L"E:\\t\\f69")));

    ::RemoveDirectoryW(L"E:\\t\\f68\\inner");
    MakeFolders({L"E:\\t\\f69\\inner"});
    // Asked for by a change at the drive's top: Wine's watch of a drive may miss one deeper down.
    ASSERT_TRUE(MakeUntilListed(L"E:\\relisted")) << "waited for the drive to be listed again";
    showLastFolders();
    EXPECT_FALSE(tree().HasChildren(tree().PathToItem(L"E:\\t\\f68")))
        << "the folder whose only subfolder went loses its button";
    EXPECT_TRUE(tree().HasChildren(tree().PathToItem(L"E:\\t\\f69")))
        << "the folder that gained its first subfolder gets its button";
    EXPECT_FALSE(tree().HasChildren(tree().PathToItem(L"E:\\t\\f67")));
    test::RemoveTree(L"E:\\relisted");
}

// The host tests hold the path rules; here, the items they lead to.
TEST_F(TreeCtrl, PathsMapBothWaysWhateverTheirCase) {
    MakeFolders({L"E:\\t\\Work", L"E:\\t\\Work\\Docs"});
    HTREEITEM docs = tree().SetSelectedPath(L"e:\\t\\work\\docs\\", false);
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(tree().PathToItem(L"E:\\T\\WORK\\DOCS"), docs);
    EXPECT_EQ(tree().ItemToPath(docs), L"E:\\t\\Work\\Docs");
    // The drive shows the shell's name but is found by its path.
    HTREEITEM drive = tree().PathToItem(L"e:\\");
    EXPECT_EQ(tree().ItemToPath(drive), L"E:\\");
    EXPECT_EQ(tree().SetSelectedPath(L"E:\\", false), drive);
}

TEST_F(TreeCtrl, SelectingThroughADeletedFolderStopsAtItsParent) {
    MakeFolders({L"E:\\t\\a", L"E:\\t\\a\\b", L"E:\\t\\a\\b\\c"});
    {
        SCOPED_TRACE("deleted after it was listed");
        ASSERT_NE(tree().SetSelectedPath(L"E:\\t\\a", true), nullptr);
        test::RemoveTree(L"E:\\t\\a\\b");
        EXPECT_EQ(tree().SetSelectedPath(L"E:\\t\\a\\b\\c", false), nullptr);
        EXPECT_EQ(tree().GetSelectedPath(), L"E:\\t\\a");
        EXPECT_EQ(tree().PathToItem(L"E:\\t\\a\\b"), nullptr);
    }
    {
        SCOPED_TRACE("deleted before it was listed");
        tree().Refresh();
        EXPECT_EQ(tree().SetSelectedPath(L"E:\\t\\a\\b\\c", false), nullptr);
        EXPECT_EQ(tree().GetSelectedPath(), L"E:\\t\\a");
    }
}

TEST_F(TreeCtrl, AChangeOnAnExpandedDriveRelistsItAndKeepsTheTicks) {
    MakeFolders({L"E:\\t\\A", L"E:\\t\\A\\B", L"E:\\t\\A\\C"});
    HTREEITEM drive = tree().SetSelectedPath(L"E:\\", true);
    ASSERT_NE(drive, nullptr);
    ASSERT_EQ(tree().RunningWatcherCount(), 1u);
    HTREEITEM b = tree().SetSelectedPath(L"E:\\t\\A\\B", false);
    ASSERT_NE(b, nullptr);
    tree().SetCheck(b, true);
    tree().SetSelectedPath(L"E:\\t", false);
    ASSERT_TRUE(tree().GetCheck(tree().PathToItem(L"E:\\t\\A\\B")));

    ASSERT_TRUE(MakeUntilListed(L"E:\\NewFolder")) << "waited for the drive to be listed again";
    HTREEITEM again = tree().PathToItem(L"E:\\t\\A\\B");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(tree().GetCheck(again));
    EXPECT_FALSE(tree().GetCheck(tree().PathToItem(L"E:\\t\\A\\C")));
    EXPECT_EQ(tree().GetSelectedPath(), L"E:\\t") << "the selection comes back";
    test::RemoveTree(L"E:\\NewFolder");
}

TEST_F(TreeCtrl, AWatcherEndsWhenRefreshingIsOff) {
    tree().SetSelectedPath(L"E:\\", true);
    ASSERT_EQ(tree().RunningWatcherCount(), 1u);
    ASSERT_TRUE(MakeUntilListed(L"E:\\watched")) << "waited for the watcher to watch";
    tree().PauseRefreshing();
    MakeFolders({L"E:\\quiet"});
    EXPECT_TRUE(PumpUntil([&] { return tree().RunningWatcherCount() == 0; }, 10000))
        << "waited for the watcher to end";
    EXPECT_EQ(tree().WatcherCount(), 1u) << "an ended watcher stays registered";
    // The watcher has ended: whatever it asked for is in the queue already.
    EXPECT_TRUE(test::PumpPosted()) << "waited for the posted messages";
    EXPECT_EQ(tree().PathToItem(L"E:\\quiet"), nullptr) << "no refresh was asked for";
    test::RemoveTree(L"E:\\quiet");
    test::RemoveTree(L"E:\\watched");
}

TEST_F(TreeCtrl, OneWatcherADriveStoppedWithItsItemAndOnClosing) {
    MakeFolders({L"F:\\f", L"G:\\g"});
    for (const wchar_t* drive : {L"E:\\", L"F:\\", L"G:\\"}) {
        ASSERT_NE(tree().SetSelectedPath(drive, true), nullptr) << drive;
    }
    EXPECT_EQ(tree().RunningWatcherCount(), 3u);
    EXPECT_EQ(WatchThread::Count(), 1u) << "the drives share one thread";
    for (int fill = 0; fill < 70; ++fill) {
        tree().ExpandItem(tree().PathToItem(L"E:\\"));  // a drive filled again keeps its watcher
    }
    EXPECT_EQ(tree().WatcherCount(), 3u);
    // A drive that goes takes its watcher with it, so that nothing holds it open.
    tree().RemoveDriveItemsNotIn(~(1u << 5));
    EXPECT_EQ(tree().PathToItem(L"F:\\"), nullptr);
    EXPECT_EQ(tree().WatcherCount(), 2u);
    EXPECT_EQ(tree().RunningWatcherCount(), 2u);
    // So does every drive of a level reset (Clear), and one expanded again has one watcher.
    tree().CollapseAndReset(tree().RootItem());
    EXPECT_EQ(tree().WatcherCount(), 0u);
    ASSERT_NE(tree().SetSelectedPath(L"E:\\", true), nullptr);
    EXPECT_EQ(tree().WatcherCount(), 1u);
    tree().Refresh();
    EXPECT_EQ(tree().WatcherCount(), 0u);

    for (const wchar_t* path : {L"E:\\", L"F:\\", L"G:\\"}) {
        tree().SetSelectedPath(path, true);
    }
    ::DestroyWindow(host->Handle());
    EXPECT_EQ(tree().WatcherCount(), 0u);
    EXPECT_EQ(WatchThread::Count(), 0u) << "the last watcher took the thread with it";
}

// Windows asks the tree whether a watched volume may be removed: the tree lets go of it (its
// watcher and its handle close) and takes it up again when the removal is cancelled.
TEST_F(TreeCtrl, ARemovalQueryClosesTheDrivesWatcherAndACancelledOneReopensIt) {
    ASSERT_NE(tree().SetSelectedPath(L"E:\\", true), nullptr);
    ASSERT_NE(tree().SetSelectedPath(L"F:\\", true), nullptr);
    ASSERT_EQ(tree().RunningWatcherCount(), 2u);
    HANDLE named = tree().RemovalHandle(L"E:\\");
    ASSERT_NE(named, nullptr);

    const auto query = [&](WPARAM event, HANDLE handle) {
        DEV_BROADCAST_HANDLE change{};
        change.dbch_size = sizeof(change);
        change.dbch_devicetype = DBT_DEVTYP_HANDLE;
        change.dbch_handle = handle;
        return ::SendMessageW(tree().Handle(), WM_DEVICECHANGE, event,
                              reinterpret_cast<LPARAM>(&change));
    };
    EXPECT_EQ(query(DBT_DEVICEQUERYREMOVE, named), TRUE) << "the removal may go ahead";
    EXPECT_EQ(tree().RemovalHandle(L"E:\\"), nullptr);
    EXPECT_TRUE(tree().RemovalRegistered(L"E:\\")) << "the outcome reaches only a registration";
    EXPECT_EQ(tree().WatcherCount(), 1u) << "only F:'s watcher is left";
    EXPECT_NE(tree().RemovalHandle(L"F:\\"), nullptr);

    EXPECT_EQ(query(DBT_DEVICEQUERYREMOVEFAILED, named), TRUE);
    HANDLE reopened = tree().RemovalHandle(L"E:\\");
    EXPECT_NE(reopened, nullptr);
    EXPECT_TRUE(tree().RemovalRegistered(L"E:\\"));
    EXPECT_EQ(tree().WatcherCount(), 2u);
    EXPECT_TRUE(PumpUntil([&] { return tree().RunningWatcherCount() == 2u; }, 10000));
    // A removal that goes through lets go of the registration too.
    EXPECT_EQ(query(DBT_DEVICEQUERYREMOVE, reopened), TRUE);
    query(DBT_DEVICEREMOVECOMPLETE, reopened);
    EXPECT_FALSE(tree().RemovalRegistered(L"E:\\"));
    EXPECT_EQ(tree().WatcherCount(), 1u);
    EXPECT_EQ(query(DBT_DEVICEQUERYREMOVE, reinterpret_cast<HANDLE>(0x1234)), 0)
        << "another device's query is not the tree's";
}

// The temporary folder is named by the environment, which the person's programs set: the trees'
// icons come from its name alone, and nothing that lies there is read.
TEST(TreeCtrlIcons, ComeWithoutLookingIntoTheTemporaryFolder) {
    wchar_t saved[MAX_PATH]{};
    const bool wasSet = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) != 0;
    ::SetEnvironmentVariableW(L"TMP", L"C:\\No such temporary folder\\");
    const HIMAGELIST list = SystemImageList();
    ::SetEnvironmentVariableW(L"TMP", wasSet ? saved : nullptr);
    EXPECT_NE(list, nullptr);
}

}  // namespace
}  // namespace bexlo
