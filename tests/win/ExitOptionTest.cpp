// "Bexlo.exe /exit", which the installer and the uninstaller use to close a running copy.

#include <windows.h>

#include <gtest/gtest.h>

#include "app/BackupApp.h"
#include "app/InstanceObjects.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::ChildProcess;
using test::PumpUntil;

class ExitOption : public testing::Test {
protected:
    void SetUp() override {
        test::ClearDataFolder();
        test::PrepareSimulatorFolder(Simulator(), test::kOneEnclosure);
    }

    static DWORD RunExit() { return ChildProcess(test::ProgramFile(), L"/exit").RunToEnd(30000); }

    static std::wstring Simulator() { return test::ProgramFolder() + L"sim\\exit-option"; }
};

TEST_F(ExitOption, EndsACopyWaitingOutOfSightWithNoEnclosure) {
    ChildProcess program(test::ProgramFile(), L"");
    ASSERT_TRUE(PumpUntil(
        [&] {
            HWND window = test::FindProcessWindow(program.Id(), L"Bexlo");
            return window != nullptr && !::IsWindowVisible(window);
        },
        20000))
        << "waited for the program to hide its dialog";
    EXPECT_EQ(RunExit(), static_cast<DWORD>(kNoCopyRuns));
    EXPECT_TRUE(program.WaitForExit(0)) << "the program still runs";
}

TEST_F(ExitOption, ABusyCopyRefusesAndAnIdleOneEnds) {
    ChildProcess program(test::ProgramFile(), test::Simulate(Simulator()));
    ASSERT_NE(test::WaitForProgramWindow(program.Id()), nullptr) << "waited for the dialog";
    // With nothing saved, a press is refused with a box, and the run lasts until it is answered.
    HWND box = test::PressUntilBox(Simulator(), program.Id(), L"No Path File");
    ASSERT_NE(box, nullptr) << "waited for the \"No Path File\" box of a press";
    EXPECT_EQ(RunExit(), static_cast<DWORD>(kCopyBusy));
    EXPECT_FALSE(program.WaitForExit(0));

    // The run is over as its box is answered, though the box may stay on the screen a while.
    ASSERT_TRUE(test::AnswerProcessBox(box));
    EXPECT_EQ(RunExit(), static_cast<DWORD>(kNoCopyRuns));
    EXPECT_TRUE(program.WaitForExit(0));
    EXPECT_EQ(::FindWindowW(nullptr, L"Bexlo"), nullptr) << "the last exit started nothing";
    UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName));
    EXPECT_FALSE(mutex.Valid());
}

}  // namespace
}  // namespace bexlo
