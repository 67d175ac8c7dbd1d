#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/BackupDlg.h"
#include "device/VendorLibraries.h"
#include "device/WindowsDeviceSeam.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::PumpUntil;

// Asks the shell itself: only an icon it holds can be modified.
bool ShellHasIcon(HWND owner) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = owner;
    record.uID = 1;
    return ::Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

class Tray : public test::DialogOnMachine {
protected:
    static void Minimise(const BackupDlg& dialog) {
        ::SendMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
    static void Notify(const BackupDlg& dialog, WPARAM id, LPARAM mouse) {
        ::SendMessageW(dialog.Handle(), kTrayNotifyMessage, id, mouse);
    }
    static void Command(const BackupDlg& dialog, WORD id) {
        ::SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
};

TEST_F(Tray, MinimisingWithAnEnclosureShowsTheIconWithItsMenuAndADoubleClickRestores) {
    auto dialog = Open(true);
    EXPECT_FALSE(ShellHasIcon(window));
    Minimise(*dialog);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(dialog->tray.inTray, 1);
    EXPECT_TRUE(dialog->tray.trayIcon.Shown());
    EXPECT_TRUE(ShellHasIcon(window));
    EXPECT_FALSE(::KillTimer(window, kSelectionTimer)) << "timer 4 stops in the tray";
    EXPECT_TRUE(::KillTimer(window, kPollTimer)) << "polling goes on";
    for (LPARAM click : {WM_RBUTTONDOWN, WM_CONTEXTMENU}) {
        EXPECT_EQ(test::ReadMenus([&] { Notify(*dialog, 1, click); }).menu,
                  ::GetSubMenu(dialog->tray.trayMenu.Get(), 0));
    }

    Notify(*dialog, 2, WM_LBUTTONDBLCLK);
    Notify(*dialog, 1, WM_MOUSEMOVE);
    Notify(*dialog, 1, WM_LBUTTONUP);
    EXPECT_FALSE(::IsWindowVisible(window)) << "other icons and mouse messages do nothing";
    Notify(*dialog, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_FALSE(::IsIconic(window));
    EXPECT_EQ(dialog->tray.inTray, 0);
    EXPECT_FALSE(ShellHasIcon(window));
    EXPECT_TRUE(::KillTimer(window, kSelectionTimer)) << "timer 4 runs again";
}

TEST_F(Tray, TheIconFollowsTheEnclosureWhileInTheTray) {
    auto dialog = Open(false);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window); }));
    EXPECT_EQ(dialog->tray.inTray, 1);
    EXPECT_EQ(dialog->DevicePresent(), 0);
    EXPECT_FALSE(::KillTimer(window, kPollTimer)) << "nothing to poll";
    EXPECT_FALSE(ShellHasIcon(window)) << "no enclosure, no icon";

    Attach();
    EXPECT_TRUE(ShellHasIcon(window));
    Detach();
    EXPECT_FALSE(ShellHasIcon(window));
    Attach();
    EXPECT_TRUE(ShellHasIcon(window));
    EXPECT_FALSE(::IsWindowVisible(window)) << "an arrival only shows the icon";

    // Shown, the dialog has no icon to change.
    Notify(*dialog, 1, WM_LBUTTONDBLCLK);
    Detach();
    Attach();
    EXPECT_FALSE(ShellHasIcon(window));
}

TEST_F(Tray, ExitReleasesTheLibrariesWithoutClosingTheDeviceAndTheCloseBoxClosesItFirst) {
    for (const bool exit : {true, false}) {
        SCOPED_TRACE(exit ? "Exit" : "close box");
        auto dialog = Open(true);
        ASSERT_TRUE(withEnclosure.LoadVendorLibrary(VendorLibrary::Sp216));
        Minimise(*dialog);
        ASSERT_TRUE(ShellHasIcon(window));
        withEnclosure.calls.clear();
        if (exit) {
            Command(*dialog, ID_TRAY_EXIT);
            EXPECT_FALSE(::IsWindow(window));
            EXPECT_FALSE(dialog->tray.trayIcon.Shown());
        } else {
            ::SendMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(window); }));
        }
        EXPECT_FALSE(ShellHasIcon(window));
        using Calls = std::vector<std::string>;
        EXPECT_EQ(withEnclosure.calls, (exit ? Calls{"Release"} : Calls{"CloseDevice", "Release"}));
    }
}

// The platform's seam unloads what it loaded: "sp216.dll" goes, its device closed only when asked.
TEST(VendorLibraries, ReleasingUnloadsSp216AndClosesItsDeviceOnlyWhenAsked) {
    const std::wstring probePath = test::ProgramFolder() + L"probe\\sp216.dll";
    for (const bool closeDevice : {false, true}) {
        WindowsDeviceSeam seam(test::ProgramFolder() + L"probe");
        ASSERT_TRUE(seam.LoadVendorLibrary(VendorLibrary::Sp216));
        // A reference of the test's own keeps the counter readable after the release.
        HMODULE probe = ::LoadLibraryW(probePath.c_str());
        ASSERT_NE(probe, nullptr);
        seam.ReleaseVendorLibraries(closeDevice);
        const auto closeCalls = reinterpret_cast<int(BEXLO_VENDOR_CALL*)()>(
            reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeCloseDeviceCalls")));
        ASSERT_NE(closeCalls, nullptr);
        EXPECT_EQ(closeCalls(), closeDevice ? 1 : 0);
        ::FreeLibrary(probe);
        EXPECT_EQ(::GetModuleHandleW(L"sp216.dll"), nullptr) << "the seam's reference went";
    }
}

TEST_F(Tray, MinimiseOpenAndExitWaitForARun) {
    auto dialog = Open(true);
    dialog->Run().state.backupRunning = 1;
    Minimise(*dialog);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_FALSE(ShellHasIcon(window));

    dialog->Run().state.backupRunning = 0;
    Minimise(*dialog);
    dialog->Run().state.backupRunning = 1;
    Notify(*dialog, 1, WM_LBUTTONDBLCLK);
    Command(*dialog, ID_TRAY_OPEN);
    Command(*dialog, ID_TRAY_EXIT);
    EXPECT_TRUE(test::PumpPosted()) << "waited for the posted messages";
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(dialog->tray.inTray, 1);
    EXPECT_TRUE(ShellHasIcon(window));
}

TEST_F(Tray, ANewNotificationAreaGetsTheIconBack) {
    auto dialog = Open(true);
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    ::SendMessageW(window, taskbarCreated, 0, 0);
    EXPECT_FALSE(ShellHasIcon(window)) << "not while the dialog is shown";

    Minimise(*dialog);
    NOTIFYICONDATAW record = dialog->tray.trayIcon.Record();
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &record));  // the shell lost it
    ::SendMessageW(window, taskbarCreated, 0, 0);
    EXPECT_TRUE(ShellHasIcon(window));

    Detach();
    ::SendMessageW(window, taskbarCreated, 0, 0);
    EXPECT_FALSE(ShellHasIcon(window)) << "no enclosure, no icon";
}

TEST_F(Tray, AboutEntryOpensTheAboutBox) {
    auto dialog = Open(true);
    test::MessageBoxWatch answerer;
    std::wstring lines;
    answerer.On(L"About BXL", [&](HWND about) {
        lines = test::StaticTexts(about);
        ::PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
    });
    ::SendMessageW(dialog->Handle(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(answerer.Answered(L"About BXL"), 1);
    EXPECT_NE(lines.find(L"Bexlo"), std::wstring::npos) << testing::PrintToString(lines);
    EXPECT_TRUE(::IsWindowVisible(dialog->Handle()));
}

}  // namespace
}  // namespace bexlo
