#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::ChildProcess;
using test::FindProcessWindow;
using test::PumpUntil;

// Waits until the notification area takes icons: a copy that starts before it hides nowhere.
bool NotificationAreaReady() {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                   nullptr);
    NOTIFYICONDATAW icon{};
    icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    icon.hWnd = owner;
    icon.uID = 7;
    const bool ready = PumpUntil(
        [&] {
            if (!::Shell_NotifyIconW(NIM_ADD, &icon)) {
                return false;
            }
            ::Shell_NotifyIconW(NIM_DELETE, &icon);
            return true;
        },
        20000);
    ::DestroyWindow(owner);
    return ready;
}

class SingleInstance : public testing::Test {
protected:
    void SetUp() override {
        test::ClearDataFolder();
        test::PrepareSimulatorFolder(kSimulator, test::kOneEnclosure);
        ASSERT_TRUE(NotificationAreaReady()) << "waited for the notification area";
    }

    static constexpr wchar_t kSimulator[] = L"C:\\bexlo-single-instance";
    static constexpr wchar_t kWithEnclosure[] = L"/simulate=C:\\bexlo-single-instance";

    // Waits for the program's main dialog; `shown` also waits until it is visible or hidden.
    static HWND WaitForDialog(const ChildProcess& program, bool shown) {
        HWND window = nullptr;
        PumpUntil(
            [&] {
                window = FindProcessWindow(program.Id(), L"Bexlo");
                return window != nullptr && ::IsWindowVisible(window) == (shown ? TRUE : FALSE);
            },
            20000);
        return window;
    }

    // Ends a copy the way Enter does: the OK command.
    static void EndThroughOk(HWND window, const ChildProcess& program) {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(program.WaitForExit(20000));
    }
};

TEST_F(SingleInstance, ASecondCopyShowsTheFirstMaximisedAndEnds) {
    ChildProcess first(test::ProgramFolder() + L"Bexlo.exe", kWithEnclosure);
    ASSERT_TRUE(first.Started());
    HWND window = WaitForDialog(first, true);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(::IsZoomed(window));

    ChildProcess second(test::ProgramFolder() + L"Bexlo.exe", kWithEnclosure);
    ASSERT_TRUE(second.Started());
    EXPECT_TRUE(second.WaitForExit(20000));
    EXPECT_TRUE(PumpUntil([&] { return ::IsZoomed(window) != FALSE; }, 5000));
    EXPECT_FALSE(first.WaitForExit(0));
    EXPECT_EQ(FindProcessWindow(second.Id(), L"Bexlo"), nullptr);

    EndThroughOk(window, first);
}

// With an enclosure the tray keeps the icon while the copy is hidden: a copy brought back still
// counting itself in the tray would end at its close box, or fail to add the icon again.
TEST_F(SingleInstance, ASecondCopyBringsBackAFirstCopyHiddenInTheTray) {
    ChildProcess first(test::ProgramFolder() + L"Bexlo.exe", kWithEnclosure);
    HWND window = WaitForDialog(first, true);
    ASSERT_NE(window, nullptr);
    // A modal dialog's loop shows its window when its queue first goes empty: a minimise handled
    // before that would be undone.
    ASSERT_TRUE(first.WaitForInputIdle(20000)) << "waited for the first copy to settle";
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    const auto errorBox = [&] { return FindProcessWindow(first.Id(), L"ERROR"); };
    ASSERT_TRUE(
        PumpUntil([&] { return !::IsWindowVisible(window) || errorBox() != nullptr; }, 20000));
    ASSERT_EQ(errorBox(), nullptr) << test::StaticTexts(errorBox());

    ChildProcess second(test::ProgramFolder() + L"Bexlo.exe", kWithEnclosure);
    EXPECT_TRUE(second.WaitForExit(20000));
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window) && ::IsZoomed(window); }, 5000));
    // Shown as if opened from its tray menu: the close box hides it again and ends nothing.
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(
        PumpUntil([&] { return !::IsWindowVisible(window) || errorBox() != nullptr; }, 20000));
    EXPECT_EQ(errorBox(), nullptr) << test::StaticTexts(errorBox());
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &answer), 0)
        << "the first copy still runs";
    EndThroughOk(window, first);
}

TEST_F(SingleInstance, ACopyUnderAnotherNameEndsWithoutATrace) {
    const std::wstring other = test::ProgramFolder() + L"Other.exe";
    ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"Bexlo.exe").c_str(), other.c_str(), FALSE));

    ChildProcess first(test::ProgramFolder() + L"Bexlo.exe", kWithEnclosure);
    HWND window = WaitForDialog(first, true);
    ASSERT_NE(window, nullptr);

    ChildProcess second(other, kWithEnclosure);
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.WaitForExit(20000));
    // A copy shows the first one through messages it waits on; once the first copy answers one
    // sent after the second ended, whatever the second asked of it has been done.
    DWORD_PTR answer = 0;
    ASSERT_NE(::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &answer), 0)
        << "waited for the first copy to answer";
    EXPECT_FALSE(::IsZoomed(window));
    EXPECT_EQ(FindProcessWindow(second.Id(), L"Bexlo"), nullptr);
    EndThroughOk(window, first);
    ::DeleteFileW(other.c_str());
}

}  // namespace
}  // namespace bexlo
