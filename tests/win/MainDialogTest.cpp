#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/BackupDlg.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::PumpUntil;

using MainDialog = test::DialogOnMachine;

TEST_F(MainDialog, StartsWithAnEnclosureShownInCopyModeWithTimersRunning) {
    auto dialog = Open(true);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(dialog->DevicePresent(), 1);
    EXPECT_EQ(dialog->tray.inTray, 0);
    EXPECT_EQ(::IsDlgButtonChecked(window, IDC_COPY), BST_CHECKED);
    EXPECT_EQ(dialog->deviceLayer.record.defaultTarget, L"E:\\FilesBackup");
    // Killing a timer that runs succeeds.
    EXPECT_TRUE(::KillTimer(window, kPollTimer));
    EXPECT_TRUE(::KillTimer(window, kSelectionTimer));

    EXPECT_TRUE(::GetFileAttributesW(DataFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    HMENU systemMenu = ::GetSystemMenu(window, FALSE);
    const int count = ::GetMenuItemCount(systemMenu);
    EXPECT_EQ(::GetMenuItemID(systemMenu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
}

TEST_F(MainDialog, EscapeHidesTheShownDialogAndClosesTheHiddenOne) {
    auto dialog = Open(true);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(dialog->tray.inTray, 1);
    // Timer 4 stops in the notification area.
    EXPECT_FALSE(::KillTimer(window, kSelectionTimer));

    dialog->Run().state.backupRunning = 1;
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::PumpPosted()) << "waited for the posted messages";
    EXPECT_TRUE(::IsWindow(window)) << "the close path waits for a run";
    dialog->Run().state.backupRunning = 0;
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(window); }));
}

// Everything before Windows 7 with Service Pack 1 ends at once; the host tests hold the versions.
TEST_F(MainDialog, OlderPlatformsEndDuringInitialisation) {
    ::RemoveDirectoryW(DataFolder().c_str());
    BackupDlg::Options options;
    options.readVersion = [] { return PlatformVersion{kPlatformNt, 6, 1, 0}; };
    BackupDlg dialog(withEnclosure, std::move(options));
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(dialog.DevicePresent(), 0);
    EXPECT_EQ(::GetFileAttributesW(DataFolder().c_str()), INVALID_FILE_ATTRIBUTES)
        << "nothing after the version check runs";
}

TEST_F(MainDialog, EnterEndsTheProgramThroughOk) {
    BackupDlg dialog(withEnclosure);
    // Enter arrives once the modal loop shows this dialog.
    test::MessageBoxWatch answerer;
    answerer.On(L"Bexlo", [](HWND window) { ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0); });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
}

TEST_F(MainDialog, EnclosuresComingAndGoingUpdateTreesTimerAndControls) {
    auto dialog = Open(true);
    CTreeFileCtrl& target = dialog->TargetTree();
    CTreeFileCtrl& source = dialog->SourceTree();
    ASSERT_NE(target.PathToItem(L"E:\\"), nullptr) << "the enclosure is a destination";
    EXPECT_EQ(source.PathToItem(L"E:\\"), nullptr);
    EXPECT_NE(source.PathToItem(L"C:\\"), nullptr);
    EXPECT_EQ(target.PathToItem(L"C:\\"), nullptr);

    Detach();
    EXPECT_EQ(dialog->DevicePresent(), 0);
    EXPECT_EQ(target.PathToItem(L"E:\\"), nullptr);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_SAVE)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_TARGET_TREE)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_NEW_TARGET_DIR)));
    EXPECT_FALSE(::KillTimer(window, kPollTimer)) << "polling stops with the last enclosure";

    Attach();
    EXPECT_EQ(dialog->DevicePresent(), 1);
    EXPECT_NE(target.PathToItem(L"E:\\"), nullptr);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_SAVE)));
    EXPECT_TRUE(::KillTimer(window, kPollTimer));
}

// An enclosure whose drive showed before its bridge answered first lists as a source; once a
// rescan finds the bridge, the drive moves to the destination side and back again.
TEST_F(MainDialog, ADriveMovesWhenARescanChangesItsSide) {
    test::SetUpMachine(withoutEnclosure, false);
    withoutEnclosure.drives[test::kDriveE] = withEnclosure.drives[test::kDriveE];
    auto dialog = Open(false);
    CTreeFileCtrl& target = dialog->TargetTree();
    CTreeFileCtrl& source = dialog->SourceTree();
    ASSERT_NE(source.PathToItem(L"E:\\"), nullptr) << "no bridge answered yet: a source";

    withoutEnclosure.enumLetters[kFamilyIdentities[2]] = "E";
    withoutEnclosure.gpio['E'] = {0, test::kGpioIdle};
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_EQ(source.PathToItem(L"E:\\"), nullptr) << "still tickable as a source";
    EXPECT_NE(target.PathToItem(L"E:\\"), nullptr);

    withoutEnclosure.enumLetters.clear();
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_EQ(target.PathToItem(L"E:\\"), nullptr);
    EXPECT_NE(source.PathToItem(L"E:\\"), nullptr);
}

// A folder deleted behind the tree's back: expanding its item deletes the item, and the
// expansion is cancelled rather than carried out on an item that no longer exists.
TEST_F(MainDialog, ExpandingAFolderThatHasGoneCancelsTheExpansion) {
    const std::wstring gone = L"C:\\bexlo-gone";
    ::CreateDirectoryW(gone.c_str(), nullptr);
    ::CreateDirectoryW((gone + L"\\inner").c_str(), nullptr);
    auto dialog = Open(true);
    CTreeFileCtrl& source = dialog->SourceTree();
    ASSERT_NE(source.SetSelectedPath(gone, false), nullptr);
    HTREEITEM item = source.PathToItem(gone);
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(TreeView_GetChild(source.Handle(), item), nullptr) << "not listed yet";
    ASSERT_TRUE(source.HasChildren(item)) << "shown with its button while the folder was there";
    test::RemoveTree(gone);
    // Sent, not posted: no refresh of the watcher runs in between.
    EXPECT_FALSE(TreeView_Expand(source.Handle(), item, TVE_EXPAND));
    EXPECT_EQ(source.PathToItem(gone), nullptr);
    EXPECT_NE(source.PathToItem(L"C:\\"), nullptr);
}

}  // namespace
}  // namespace bexlo
