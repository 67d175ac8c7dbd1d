#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/BackupApp.h"
#include "app/BackupDlg.h"
#include "app/InstanceObjects.h"
#include "res/resource.h"
#include "sim/SimStateFile.h"
#include "tests/win/SimulatorBench.h"
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
        test::PrepareSimulatorFolder(Simulator(), test::kOneEnclosure);
        ASSERT_TRUE(NotificationAreaReady()) << "waited for the notification area";
    }

    static std::wstring Simulator() { return test::ProgramFolder() + L"sim\\single-instance"; }
    static std::wstring WithEnclosure() { return test::Simulate(Simulator()); }
    static std::wstring Program() { return test::ProgramFile(); }

    // Runs another copy of `program`; true when it ended.
    static bool SecondCopyEnds(const std::wstring& program = Program()) {
        ChildProcess second(program, WithEnclosure());
        return second.WaitForExit(20000);
    }

    static DWORD RunExit() { return ChildProcess(Program(), L"/exit").RunToEnd(30000); }

    // Waits until the mutex `name` exists.
    static bool MutexExists(const wchar_t* name) {
        return PumpUntil(
            [name] { return UniqueKernelHandle(::OpenMutexW(SYNCHRONIZE, FALSE, name)).Valid(); },
            20000);
    }

    // The presses the simulated enclosure holds for the program, after setting them to `set`.
    static int Presses(int set = -1) {
        int presses = -1;
        SimStateFile(Simulator()).Modify([&](SimState& state) {
            presses = state.enclosures.front().presses;
            if (set >= 0) {
                state.enclosures.front().presses = set;
            }
            return set >= 0;
        });
        return presses;
    }

    // Ends a copy through OK once its runs are over, answering the box of any run that a press
    // made while the last one started may still begin.
    static void EndAfterRuns(HWND window, const ChildProcess& program) {
        EXPECT_TRUE(PumpUntil(
            [&] {
                if (HWND box = test::WaitForProcessBox(program.Id(), L"No Path File", 0)) {
                    test::ClickOk(box);
                }
                test::ClickOk(window);
                return program.WaitForExit(500);
            },
            30000))
            << "waited for the program to end after its runs";
    }

    // Ends a copy the way Enter does: the OK command.
    static void EndThroughOk(HWND window, const ChildProcess& program) {
        test::ClickOk(window);
        EXPECT_TRUE(program.WaitForExit(20000));
    }
};

// With an enclosure the tray keeps the icon while the copy is hidden: a copy brought back still
// counting itself in the tray would end at its close box, or fail to add the icon again.
TEST_F(SingleInstance, ASecondCopyBringsBackAFirstCopyHiddenInTheTray) {
    ChildProcess first(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(first.Id());
    ASSERT_NE(window, nullptr);
    // A modal dialog's loop shows its window when its queue first goes empty: a minimise handled
    // before that would be undone.
    ASSERT_TRUE(first.WaitForInputIdle(20000)) << "waited for the first copy to settle";
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    const auto errorBox = [&] { return FindProcessWindow(first.Id(), L"ERROR"); };
    ASSERT_TRUE(
        PumpUntil([&] { return !::IsWindowVisible(window) || errorBox() != nullptr; }, 20000));
    ASSERT_EQ(errorBox(), nullptr) << test::StaticTexts(errorBox());

    EXPECT_TRUE(SecondCopyEnds());
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window) && ::IsZoomed(window); }, 5000));
    // Shown as if opened from its tray menu: the close box hides it again and ends nothing.
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(
        PumpUntil([&] { return !::IsWindowVisible(window) || errorBox() != nullptr; }, 20000));
    EXPECT_EQ(errorBox(), nullptr) << test::StaticTexts(errorBox());
    EXPECT_TRUE(test::Answers(window)) << "the first copy still runs";
    EndThroughOk(window, first);
}

TEST_F(SingleInstance, ACopyUnderAnotherNameEndsWithoutATrace) {
    const std::wstring other = test::ProgramFolder() + L"Other.exe";
    ASSERT_TRUE(::CopyFileW(Program().c_str(), other.c_str(), FALSE));
    ChildProcess first(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(first.Id());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SecondCopyEnds(other));
    // Once the first copy answers after the second ended, whatever the second asked is done.
    ASSERT_TRUE(test::Answers(window)) << "waited for the first copy to answer";
    EXPECT_FALSE(::IsZoomed(window));
    EndThroughOk(window, first);
    ::DeleteFileW(other.c_str());
}

// Another program's window captioned "Bexlo" (a folder of that name open in Explorer) is neither
// shown by a second start nor asked to end by "/exit"; the program's own window still is.
TEST_F(SingleInstance, AnotherProgramsWindowOfTheSameNameIsLeftAlone) {
    ChildProcess first(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(first.Id());
    ASSERT_NE(window, nullptr);
    // Made after the dialog, the decoy lies above it: a search by caption meets it first.
    ChildProcess decoy(test::ProgramFolder() + L"tools\\Poke.exe", L"decoy Bexlo");
    HWND decoyWindow = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] { return (decoyWindow = FindProcessWindow(decoy.Id(), L"Bexlo")) != nullptr; }, 20000))
        << "waited for the decoy";

    EXPECT_FALSE(::IsZoomed(window));
    EXPECT_TRUE(SecondCopyEnds());
    EXPECT_TRUE(PumpUntil([&] { return ::IsZoomed(window) != FALSE; }, 5000));
    EXPECT_FALSE(::IsZoomed(decoyWindow));
    EXPECT_FALSE(first.WaitForExit(0)) << "the second copy ended the first";

    EXPECT_EQ(RunExit(), static_cast<DWORD>(kNoCopyRuns));
    EXPECT_TRUE(first.WaitForExit(0)) << "the program still runs";
    EXPECT_TRUE(::IsWindow(decoyWindow));
    // With the decoy alone, nothing runs and "/exit" says so at once.
    EXPECT_EQ(RunExit(), static_cast<DWORD>(kNoCopyRuns));
    EXPECT_FALSE(decoy.WaitForExit(0));
}

// The message that wakes the interface thread's queue carries nothing: sent by another process
// with any parameters it runs nothing, and the program's own calls through it still run.
TEST_F(SingleInstance, TheInterfaceThreadsWakeUpFromAnotherProcessRunsNothing) {
    ChildProcess program(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(program.Id());
    ASSERT_NE(window, nullptr);
    for (const auto& [wParam, lParam] : {std::pair<WPARAM, LPARAM>{0, 0},
                                         {0x41414141, 0x42424242},
                                         {1, static_cast<LPARAM>(-1)},
                                         {0, reinterpret_cast<LPARAM>(&RunExit)}}) {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, kCallOnUiThreadMessage, wParam, lParam, SMTO_NORMAL, 20000,
                              &answer);
    }
    ASSERT_TRUE(test::Answers(window)) << "the program no longer answers";
    ASSERT_FALSE(program.WaitForExit(0));

    // A press with nothing saved: the refusal holds the controls through the queue, shows its box
    // and gives them back through it when the box is answered.
    HWND box = test::PressUntilBox(Simulator(), program.Id(), L"No Path File");
    ASSERT_NE(box, nullptr) << "waited for the \"No Path File\" box of a press";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_CLEAR)));
    test::ClickOk(box);
    EXPECT_TRUE(
        PumpUntil([&] { return ::IsWindowEnabled(::GetDlgItem(window, IDC_CLEAR)); }, 20000))
        << "the controls did not come back";
    EndAfterRuns(window, program);
}

// One copy on the machine watches the enclosures. This process holds the machine-wide guard as a
// copy in another session would: the program waits without a dialog and without polling, says
// so when opened, and takes over when the guard is let go; the guard is then its own until it
// ends.
TEST_F(SingleInstance, OneCopyAtATimeWatchesTheEnclosures) {
    const InstanceObjects objects;
    UniqueKernelHandle guard = objects.MachineGuard();
    ASSERT_TRUE(guard.Valid());
    const DWORD taken = ::WaitForSingleObject(guard.Get(), 0);
    ASSERT_TRUE(taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED);
    Presses(1);

    ChildProcess program(Program(), WithEnclosure());
    HWND waiting = test::WaitForProgramWindow(program.Id(), false);
    ASSERT_NE(waiting, nullptr);
    ASSERT_TRUE(program.WaitForInputIdle(20000));
    EXPECT_FALSE(::IsWindowVisible(waiting));
    EXPECT_EQ(::GetWindow(waiting, GW_CHILD), nullptr) << "a dialog while another copy watches";
    EXPECT_EQ(Presses(), 1) << "the enclosure was polled";

    EXPECT_TRUE(SecondCopyEnds());
    HWND box = test::WaitForProcessBox(program.Id(), L"Bexlo");
    ASSERT_NE(box, nullptr) << "waited for the box that says why nothing shows";
    const std::wstring text = test::StaticTexts(box);
    EXPECT_NE(text.find(L"another user"), std::wstring::npos) << test::Narrow(text);
    test::ClickOk(box);

    ::ReleaseMutex(guard.Get());
    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            window = FindProcessWindow(program.Id(), L"Bexlo");
            return window != nullptr && ::GetWindow(window, GW_CHILD) != nullptr && Presses() == 0;
        },
        20000))
        << "waited for the program to take over and poll";
    EXPECT_EQ(::WaitForSingleObject(guard.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the program polls without the guard";

    EndThroughOk(window, program);
    const DWORD back = ::WaitForSingleObject(guard.Get(), 20000);
    EXPECT_TRUE(back == WAIT_OBJECT_0 || back == WAIT_ABANDONED) << "the guard was kept";
    ::ReleaseMutex(guard.Get());
}

// Another program of the session takes the program's lock and the machine-wide guard before it
// starts, with the person's own rights: the program starts anyway and shows its dialog, which a
// copy waiting for the guard would not, and a later start still finds it.
TEST_F(SingleInstance, NamesAnotherProgramTookFirstKeepNothingFromStarting) {
    ChildProcess squatter(ChildProcess::WithoutRights{}, test::ProgramFolder() + L"tools\\Poke.exe",
                          L"lock Bexlo Global\\BexloEnclosures");
    ASSERT_TRUE(MutexExists(kInstanceMutexName) && MutexExists(L"Global\\BexloEnclosures"))
        << "waited for the other program to take the names";

    ChildProcess program(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(program.Id());
    ASSERT_NE(window, nullptr) << "the program did not start";

    EXPECT_FALSE(::IsZoomed(window));
    EXPECT_TRUE(SecondCopyEnds());
    EXPECT_TRUE(PumpUntil([&] { return ::IsZoomed(window) != FALSE; }, 5000));
    EndThroughOk(window, program);
    EXPECT_FALSE(squatter.WaitForExit(0));
}

// A copy of the program started without administrator rights shows its window first: the copy
// with rights starts anyway, and a later start brings forward that one and not the other.
TEST_F(SingleInstance, ACopyWithoutRightsIsNotTakenForTheFirst) {
    ChildProcess withoutRights(ChildProcess::WithoutRights{}, Program(), WithEnclosure());
    HWND low = test::WaitForProgramWindow(withoutRights.Id());
    ASSERT_NE(low, nullptr) << "waited for the copy without rights";

    ChildProcess program(Program(), WithEnclosure());
    HWND window = test::WaitForProgramWindow(program.Id());
    ASSERT_NE(window, nullptr) << "the copy with rights stepped aside";

    EXPECT_TRUE(SecondCopyEnds());
    EXPECT_TRUE(PumpUntil([&] { return ::IsZoomed(window) != FALSE; }, 5000));
    EXPECT_FALSE(::IsZoomed(low));
    EndThroughOk(window, program);
    EndThroughOk(low, withoutRights);
}

}  // namespace
}  // namespace bexlo
