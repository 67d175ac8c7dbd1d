// The main dialog finding, polling and losing simulated enclosures.

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimStateFile.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"
#include "treectrl/TreePath.h"

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
    test::ChildProcess program(test::ProgramFolder() + L"Bexlo.exe",
                               L"\"/simulate=" + Folder() + L"\"");
    HWND box = test::WaitForProcessBox(program.Id(), L"Bexlo Simulator");
    ASSERT_NE(box, nullptr) << "waited for the simulator's box with its text";
    const std::wstring text = test::StaticTexts(box);
    EXPECT_NE(text.find(L"line 2"), std::wstring::npos) << std::string(text.begin(), text.end());
    EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
    ::PostMessageW(box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
    EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
}

// The program runs as administrator: a simulator folder anywhere but beside it (here a complete
// one, stand-in libraries and all) would have it load whatever libraries that folder holds.
TEST(SimulatorFolder, AnyOtherThanTheOneBesideTheProgramIsRefused) {
    const std::wstring elsewhere = L"C:\\bexlo-elsewhere";
    test::PrepareSimulatorFolder(elsewhere, test::kOneEnclosure);
    const std::wstring climbing = test::ProgramFolder() + L"sim\\..\\..\\bexlo-elsewhere";
    for (const std::wstring& folder : {elsewhere, climbing}) {
        test::ChildProcess program(test::ProgramFolder() + L"Bexlo.exe",
                                   L"\"/simulate=" + folder + L"\"");
        HWND box = test::WaitForProcessBox(program.Id(), L"Bexlo Simulator");
        ASSERT_NE(box, nullptr) << "waited for the refusal";
        const std::wstring text = test::StaticTexts(box);
        EXPECT_NE(text.find(L"Only the folder \"sim\" beside the program"), std::wstring::npos)
            << std::string(text.begin(), text.end());
        EXPECT_EQ(test::FindProcessWindow(program.Id(), L"Bexlo"), nullptr);
        ::PostMessageW(box, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program.WaitForExit(10000));
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
        found = UpperCase(entry.szExePath) == UpperCase(path);
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
    for (const std::wstring& folder : {planted, work, onPath}) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
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
    for (const std::wstring& arguments : {L"\"/simulate=" + simulator + L"\"", std::wstring()}) {
        SCOPED_TRACE(arguments.empty() ? "the real machine" : "the simulator");
        test::ChildProcess program(test::ProgramFolder() + L"Bexlo.exe", arguments, work);
        ASSERT_TRUE(program.Started());
        HWND window = nullptr;
        ASSERT_TRUE(PumpUntil(
            [&] { return (window = test::FindProcessWindow(program.Id(), L"Bexlo")) != nullptr; },
            20000));
        DWORD_PTR answer = 0;
        ASSERT_NE(::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &answer), 0)
            << "waited for the program to finish its start";
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
                    << "loaded " << std::string(marker.begin(), marker.end());
            }
        }
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(program.WaitForExit(20000));
    }
    ::SetEnvironmentVariableW(L"PATH", oldPath);
    test::RemoveTree(planted);
}

}  // namespace
}  // namespace bexlo
