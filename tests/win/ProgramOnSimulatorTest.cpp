// The main dialog finding, polling and losing simulated enclosures.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/SimStateFile.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::PumpUntil;

using ProgramOnSimulator = test::SimulatorBench;

TEST_F(ProgramOnSimulator, EveryFamilysPressReachesTheRun) {
    for (int family = 1; family <= 10; ++family) {
        SCOPED_TRACE(testing::Message() << "family " << family);
        Describe("enclosure family=" + std::to_string(family) +
                 " letters=E signature=0x0000FA00 offsets=32256 physical=1\n");
        auto dialog = Open();
        ASSERT_EQ(dialog->DevicePresent(), 1);
        EXPECT_NE(dialog->TargetTree().PathToItem(L"E:\\"), nullptr);
        SimStateFile(Folder()).Modify([](SimState& state) {
            state.enclosures.front().presses = 1;
            return true;
        });
        test::MessageBoxWatch boxes;
        EXPECT_TRUE(boxes.WaitForBoxes(1)) << "the press never reached the run";
        EXPECT_TRUE(PumpUntil([&] { return dialog->Run().state.backupRunning == 0; }));
    }
}

TEST_F(ProgramOnSimulator, AMalformedDescriptionNamesItsLineAndTheProgramDoesNotStart) {
    Describe(std::string(test::kOneEnclosure) + "enclosure family=11 letters=F\n");
    test::ChildProcess program(test::ProgramFolder() + L"Bexlo.exe", L"/simulate=" + Folder());
    HWND box = test::WaitForProcessBox(program.Id(), L"Bexlo Simulator");
    ASSERT_NE(box, nullptr) << "waited for the simulator's box with its text";
    const std::wstring text = test::StaticTexts(box);
    EXPECT_NE(text.find(L"line 2"), std::wstring::npos) << std::string(text.begin(), text.end());
    EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
    ::PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
    EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
}

}  // namespace
}  // namespace bexlo
