// The main dialog finding, polling and losing simulated enclosures.

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupRecord.h"
#include "backup/PathList.h"
#include "backup/WindowsFileSystem.h"
#include "res/resource.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"
#include "framework/NameCase.h"

namespace bexlo {
namespace {

using test::Press;
using test::PumpUntil;

using ProgramOnSimulator = test::SimulatorBench;

// Starts the program on the simulator in `folder`, which refuses it in a box saying `why`.
void ExpectRefused(const std::wstring& folder, const std::wstring& why) {
    test::ChildProcess program(test::ProgramFile(), test::Simulate(folder));
    HWND box = test::WaitForProcessBox(program.Id(), L"Bexlo Simulator");
    ASSERT_NE(box, nullptr) << "waited for the simulator's box with its text";
    const std::wstring text = test::StaticTexts(box);
    EXPECT_NE(text.find(why), std::wstring::npos) << test::Narrow(text);
    EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
    ::PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(ProgramOnSimulator, EveryFamilysPressReachesTheRun) {
    for (int family = 1; family <= 10; ++family) {
        SCOPED_TRACE(testing::Message() << "family " << family);
        Describe("enclosure family=" + std::to_string(family) +
                 " letters=E signature=0x0000FA00 offsets=32256 physical=1\n");
        auto dialog = Open();
        ASSERT_EQ(dialog->DevicePresent(), 1);
        EXPECT_NE(dialog->TargetTree().PathToItem(L"E:\\"), nullptr);
        Press(Folder());
        test::MessageBoxWatch boxes;
        EXPECT_TRUE(boxes.WaitForBoxes(1)) << "the press never reached the run";
        EXPECT_TRUE(PumpUntil([&] { return dialog->Run().state.backupRunning == 0; }));
    }
}

TEST_F(ProgramOnSimulator, AMalformedDescriptionNamesItsLineAndTheProgramDoesNotStart) {
    Describe(std::string(test::kOneEnclosure) + "enclosure family=11 letters=F\n");
    ExpectRefused(Folder(), L"line 2");
}

// The program runs as administrator: a simulator folder anywhere but beside it (here a complete
// one, stand-in libraries and all) would have it load whatever libraries that folder holds.
TEST(SimulatorFolder, AnyOtherThanTheOneBesideTheProgramIsRefused) {
    const std::wstring elsewhere = L"C:\\bexlo-elsewhere";
    test::PrepareSimulatorFolder(elsewhere, test::kOneEnclosure);
    const std::wstring climbing = test::ProgramFolder() + L"sim\\..\\..\\bexlo-elsewhere";
    for (const std::wstring& folder : {elsewhere, climbing}) {
        ExpectRefused(folder, L"Only the folder \"sim\" beside the program");
    }
}

// Whether process `processId` has the module of this path loaded.
bool Loaded(DWORD processId, const std::wstring& path) {
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE) {
        snapshot.Release();
        return false;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = ::Module32FirstW(snapshot.Get(), &entry); more && !found;
         more = ::Module32NextW(snapshot.Get(), &entry)) {
        found = FoldCase(entry.szExePath) == FoldCase(path);
    }
    return found;
}

// Bexlo runs as administrator: libraries planted under the vendors' names in its working folder
// and on PATH are never loaded, on the simulator (every family polled) or on the real machine.
TEST(PlantedLibraries, NoneIsLoadedWhileEveryFamilyIsPolled) {
    const std::wstring planted = L"C:\\bexlo-planted";
    const std::wstring work = planted + L"\\work";
    const std::wstring onPath = planted + L"\\path";
    const std::wstring simulator = test::ProgramFolder() + L"sim\\planted";
    test::RemoveTree(planted);
    test::MakeFolders({planted, work, onPath});
    const wchar_t* const names[] = {L"PLx507.dll", L"JMUsbDll.dll", L"JMESata.dll", L"sp216.dll"};
    for (const std::wstring& folder : {work, onPath}) {
        for (const wchar_t* name : names) {
            ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"probe\\planted.dll").c_str(),
                                    (folder + L"\\" + name).c_str(), FALSE));
        }
    }
    std::string description;
    for (int family = 1; family <= 10; ++family) {
        description += "enclosure family=" + std::to_string(family) +
                       " letters=" + static_cast<char>('D' + family) + " signature=0x0000FA" +
                       std::to_string(10 + family) +
                       " offsets=32256 physical=" + std::to_string(family) + "\n";
    }
    test::PrepareSimulatorFolder(simulator, description);

    wchar_t oldPath[8192]{};
    ::GetEnvironmentVariableW(L"PATH", oldPath, 8192);
    ::SetEnvironmentVariableW(L"PATH", (onPath + L";" + oldPath).c_str());
    for (const std::wstring& arguments : {test::Simulate(simulator), std::wstring()}) {
        SCOPED_TRACE(arguments.empty() ? "the real machine" : "the simulator");
        test::ChildProcess program(test::ProgramFile(), arguments, work);
        HWND window = test::WaitForProgramWindow(program.Id(), false);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(test::Answers(window)) << "waited for the program to finish its start";
        if (!arguments.empty()) {
            // Every stand-in loaded from the simulator's folder: every family was polled.
            EXPECT_TRUE(PumpUntil(
                [&] {
                    return std::ranges::all_of(names, [&](const wchar_t* name) {
                        return Loaded(program.Id(), simulator + L"\\" + name);
                    });
                },
                20000))
                << "waited for every family's library to be used";
        }
        for (const std::wstring& folder : {work, onPath}) {
            for (const wchar_t* name : names) {
                const std::wstring marker = folder + L"\\" + name + L".loaded";
                EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
                    << "loaded " << test::Narrow(marker);
            }
        }
        test::ClickOk(window);
        EXPECT_TRUE(program.WaitForExit(20000));
    }
    ::SetEnvironmentVariableW(L"PATH", oldPath);
    test::RemoveTree(planted);
}

// The program as a person meets it at the end of a run, with a family-1 enclosure on E: and a
// saved Copy of a folder large enough for the progress to be paced. Its windows stand straight on
// the display, where Wine, lacking a window manager, keeps an answered box on the screen two
// seconds: the run is over when the box is answered all the same.
class RunEnd : public testing::Test {
protected:
    void SetUp() override {
        test::ClearDataFolder();
        test::PrepareSimulatorFolder(Simulator(), test::kOneEnclosure);
        test::RemoveTree(kSource);
        test::RemoveTree(kTarget);
        ::CreateDirectoryW(kSource, nullptr);
        test::WriteBytes(std::wstring(kSource) + L"\\big.bin", std::string(700 * 1024, 'b'));
        ASSERT_TRUE(WindowsFileSystem().WriteFileReplacing(PathListFile(),
                                                           PathListBytes(kTarget, {kSource})));
        const auto record = MakeBackupRecord(BackupType::Copy, 0x0000BE7C);
        ASSERT_TRUE(WindowsFileSystem().WriteFileReplacing(BackupRecordFile(), record));
    }

    // Starts the program and waits for its dialog to show.
    HWND Start() {
        program.emplace(test::ProgramFile(), test::Simulate(Simulator()));
        return test::WaitForProgramWindow(program->Id());
    }

    HWND PressUntilTheBox() {
        return test::PressUntilBox(Simulator(), program->Id(), L"Information");
    }

    static std::wstring Simulator() { return test::ProgramFolder() + L"sim\\run-end"; }
    static constexpr wchar_t kSource[] = L"C:\\bexlo-run-end";
    static constexpr wchar_t kTarget[] = L"E:\\Backups";
    std::optional<test::ChildProcess> program;
};

// A person who presses again a second after the end box, or at once, gets the next run; Enter
// after the box ends the program.
TEST_F(RunEnd, APressAfterTheBoxStartsTheNextRunAndEnterEndsTheProgram) {
    HWND window = Start();
    ASSERT_NE(window, nullptr) << "waited for the program's dialog";
    HWND box = PressUntilTheBox();
    ASSERT_NE(box, nullptr) << "waited for the first run's box";
    ASSERT_TRUE(test::AnswerProcessBox(box));
    ::Sleep(1000);
    for (const char* when : {"a second after the box", "as the box went"}) {
        Press(Simulator());
        box = test::WaitForProcessBox(program->Id(), L"Information");
        ASSERT_NE(box, nullptr) << "a press " << when << " started no run";
        ASSERT_TRUE(test::AnswerProcessBox(box));
    }
    test::ClickOk(window);
    EXPECT_TRUE(program->WaitForExit(20000)) << "Enter after the box did not end the program";
}

// From the notification area the progress window goes before the box; once the box is answered,
// the menu's Open shows the dialog and its Exit ends the program.
TEST_F(RunEnd, FromTheTrayOpenAndExitWorkOnceTheBoxIsAnswered) {
    HWND window = Start();
    ASSERT_NE(window, nullptr) << "waited for the program's dialog";
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window); }, 10000));
    HWND box = PressUntilTheBox();
    ASSERT_NE(box, nullptr) << "waited for the run's box";
    EXPECT_FALSE(::IsWindowVisible(test::FindProcessWindow(program->Id(), L"Copying...")));
    ASSERT_TRUE(test::AnswerProcessBox(box));
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_OPEN, 0), 0);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window) != FALSE; }, 10000))
        << "Open after the box did not show the dialog";
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window); }, 10000));
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_EXIT, 0), 0);
    EXPECT_TRUE(program->WaitForExit(20000)) << "Exit after the box did not end the program";
}

}  // namespace
}  // namespace bexlo
