#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/BackupDlg.h"
#include "backup/PathList.h"
#include "backup/Reminder.h"
#include "backup/WindowsFileSystem.h"
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

struct BalloonSearch {
    const std::wstring& text;
    bool found = false;
};

BOOL CALLBACK LookAtBalloon(HWND candidate, LPARAM param) {
    auto& search = *reinterpret_cast<BalloonSearch*>(param);
    wchar_t className[64]{};
    ::GetClassNameW(candidate, className, 64);
    if (std::wstring(className) != TOOLTIPS_CLASSW || !::IsWindowVisible(candidate) ||
        (::GetWindowLongPtrW(candidate, GWL_STYLE) & TTS_BALLOON) == 0) {
        return TRUE;
    }
    wchar_t shown[512]{};
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(candidate, WM_GETTEXT, std::size(shown), reinterpret_cast<LPARAM>(shown),
                          SMTO_ABORTIFHUNG, 2000, &length);
    search.found = search.found || std::wstring(shown).find(search.text) != std::wstring::npos;
    return TRUE;
}

// The balloon the shell shows, as a person sees it: a shown balloon tooltip holding `text`.
bool ShellShowsBalloon(const std::wstring& text) {
    BalloonSearch search{text};
    ::EnumWindows(LookAtBalloon, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A backup saved long ago whose last complete press was `daysAgo` days before now.
class TrayReminder : public Tray {
protected:
    void SaveBackupMadeDaysAgo(int daysAgo, std::optional<int> remindedDaysAgo = std::nullopt,
                               std::uint64_t checkedYesterday = 0) {
        WindowsFileSystem fs;
        ASSERT_TRUE(fs.WriteFileReplacing(PathListFile(),
                                          PathListBytes(L"E:\\FilesBackup", {L"C:\\windows"})));
        const std::int64_t now = fs.CurrentTime();
        BackupHistory history;
        history.lastComplete = now - daysAgo * kTicksPerDay;
        if (remindedDaysAgo) {
            history.lastReminded = now - *remindedDaysAgo * kTicksPerDay;
        }
        if (checkedYesterday > 0) {
            AddCheck(history, now - kTicksPerDay, checkedYesterday);
        }
        ASSERT_TRUE(WriteBackupHistory(fs, history));
    }
    static std::wstring Tip(const BackupDlg& dialog) { return dialog.tray.trayIcon.Record().szTip; }
    static std::wstring Summary(const BackupDlg& dialog) {
        wchar_t text[256]{};
        ::GetDlgItemTextW(dialog.Handle(), IDC_SUMMARY, text, 256);
        return text;
    }
};

TEST_F(TrayReminder, ALateBackupShowsTheBalloonWithNoEnclosureUntilItIsAnswered) {
    SaveBackupMadeDaysAgo(10);
    auto dialog = Open(false);
    ASSERT_TRUE(PumpUntil([&] { return ShellHasIcon(window); })) << "an icon for the reminder";
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(PumpUntil([&] { return ShellShowsBalloon(L"complete backup: 10\n"); }, 10000))
        << "the balloon, as the shell shows it";
    const std::wstring tip = Tip(*dialog);
    EXPECT_EQ(tip.rfind(L"File Backup\n1 folder to E:\\FilesBackup, Copy.\nLast backup: 20", 0), 0u)
        << testing::PrintToString(tip);
    EXPECT_EQ(Summary(*dialog).rfind(L"1 folder to E:\\FilesBackup, Copy. Last backup: 20", 0), 0u);

    Notify(*dialog, 1, NIN_BALLOONUSERCLICK);
    EXPECT_FALSE(ShellHasIcon(window)) << "answered, the reminder takes its icon away";
    WindowsFileSystem fs;
    EXPECT_TRUE(ReadBackupHistory(fs).lastReminded.has_value());

    // The same day, neither a later look nor the next logon says it again.
    ::SendMessageW(window, WM_TIMER, kReminderTimer, 0);
    EXPECT_FALSE(ShellHasIcon(window));
    dialog.reset();
    dialog = Open(false);
    EXPECT_TRUE(test::PumpPosted());
    EXPECT_FALSE(ShellHasIcon(window));
}

TEST_F(TrayReminder, TheEnclosureArrivingTakesTheReminderAwayAndKeepsItsOwnIcon) {
    SaveBackupMadeDaysAgo(8, 2);
    auto dialog = Open(false);
    ASSERT_TRUE(PumpUntil([&] { return ShellHasIcon(window); }));
    EXPECT_TRUE(dialog->tray.Reminding());
    Attach();
    EXPECT_FALSE(dialog->tray.Reminding());
    EXPECT_TRUE(ShellHasIcon(window)) << "the enclosure's icon, the dialog being in the tray";
    Detach();
    EXPECT_FALSE(ShellHasIcon(window));
}

TEST_F(TrayReminder, ABackupWithinTheSettingOrASettingOfNeverSaysNothing) {
    for (const bool never : {false, true}) {
        SCOPED_TRACE(never ? "never" : "6 days of 7");
        SaveBackupMadeDaysAgo(never ? 60 : 6);
        if (never) {
            test::WriteUtf16File(ReminderSettingFile(), L"Days=never\r\n");
        }
        auto dialog = Open(false);
        EXPECT_TRUE(test::PumpPosted());
        ::SendMessageW(window, WM_TIMER, kReminderTimer, 0);
        EXPECT_FALSE(ShellHasIcon(window));
        EXPECT_FALSE(dialog->tray.Reminding());
    }
}

TEST_F(TrayReminder, TheTipTheLineAndTheReminderSpeakTheChosenLanguage) {
    UseShippedPacks(L"German");
    SaveBackupMadeDaysAgo(9, std::nullopt, std::uint64_t{3} << 30);
    auto dialog = Open(false);
    ASSERT_TRUE(PumpUntil([&] { return ShellHasIcon(window); }));
    const std::wstring tip = Tip(*dialog);
    EXPECT_EQ(tip.rfind(L"File Backup\n1 Ordner nach E:\\FilesBackup, Kopie.\n"
                        L"Letzte Sicherung: 20",
                        0),
              0u)
        << testing::PrintToString(tip);
    EXPECT_TRUE(tip.ends_with(L"\nIn 30 Tagen zur\u00FCckgelesen: 3,0 GB"))
        << "what the checks of the last 30 days read";
    EXPECT_TRUE(PumpUntil(
        [&] { return ShellShowsBalloon(L"Tage seit der letzten vollst\u00E4ndigen Sicherung: 9"); },
        10000));
}

}  // namespace
}  // namespace bexlo
