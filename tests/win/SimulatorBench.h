#pragma once

// The main dialog on simulated enclosures: the real device layer, the simulator seam, the
// stand-in vendor libraries and the control surface, all under Wine.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/BackupDlg.h"
#include "sim/SimStateFile.h"
#include "sim/SimulatorSeam.h"
#include "tests/win/TestSupport.h"

namespace bexlo::test {

// One press of the first enclosure of the simulator in `folder`.
inline void Press(const std::wstring& folder) {
    SimStateFile(folder).Modify([](SimState& state) {
        state.enclosures.front().presses = 1;
        return true;
    });
}

// Presses the first enclosure of the simulator in `folder` whenever no press is pending, until
// process `processId` shows a box of this caption (the program drops its first ticks' presses).
inline HWND PressUntilBox(const std::wstring& folder, DWORD processId, const wchar_t* caption,
                          DWORD timeoutMs = 30000) {
    HWND box = nullptr;
    PumpUntil(
        [&] {
            SimStateFile(folder).Modify([](SimState& state) {
                const bool pending = state.enclosures.front().presses > 0;
                state.enclosures.front().presses = 1;
                return !pending;
            });
            return (box = WaitForProcessBox(processId, caption, 500)) != nullptr;
        },
        timeoutMs);
    return box;
}

class SimulatorBench : public testing::Test {
protected:
    // One simulator folder for the whole process: the stand-ins stay loaded once loaded.
    static void SetUpTestSuite() { PrepareSimulatorFolder(Folder(), ""); }

    static std::wstring Folder() { return ProgramFolder() + L"sim\\bench"; }

    void SetUp() override { ClearDataFolder(); }

    static void Describe(const std::string& text) {
        WriteBytes(Folder() + L"\\enclosures.txt", text);
    }

    std::unique_ptr<BackupDlg> Open(BackupDlg::Options options = {}) {
        seam = std::make_unique<SimulatorSeam>(Folder());
        auto dialog = std::make_unique<BackupDlg>(*seam, std::move(options));
        EXPECT_TRUE(dialog->Create(nullptr));
        // The first two poll ticks drop presses made before: wait them out.
        EXPECT_TRUE(PumpUntil([&] { return dialog->deviceLayer.state.pollSkip == 0; }, 10000));
        return dialog;
    }

    // Runs the control surface, answering the device changes it sends meanwhile.
    static DWORD Control(const std::wstring& arguments) {
        ChildProcess control(Folder() + L"\\BexloSim.exe",
                             L"--folder " + Folder() + L" " + arguments);
        return control.RunToEnd(20000);
    }

    std::unique_ptr<SimulatorSeam> seam;
};

}  // namespace bexlo::test
