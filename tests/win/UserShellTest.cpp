#include <windows.h>
#include <exdisp.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/BackupDlg.h"
#include "backup/PathList.h"
#include "backup/WindowsFileSystem.h"
#include "framework/Handles.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::PumpUntil;

const std::wstring kFolder = L"C:\\Bexlo shell test";
const std::wstring kDestination = kFolder + L"\\FilesBackup";
const std::wstring kVersions = kDestination + L"\\Bexlo versions";

// Notes what it is asked and answers as the test says.
class ScriptedShell : public UserShell {
public:
    bool answer = false;
    std::vector<std::pair<ShellVerb, std::wstring>> asked;

    bool Ask(ShellVerb verb, const std::wstring& path) override {
        asked.emplace_back(verb, path);
        return answer;
    }
};

// The process that started `process`; 0 when it is not listed.
DWORD ParentOf(DWORD process) {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (bool more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == process) {
            return entry.th32ParentProcessID;
        }
    }
    return 0;
}

BOOL CALLBACK FindVersionsFolderWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
        test::WindowText(window) != kVersionsFolderName) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// A shown window of another process captioned with the versions folder's name: the folder open.
HWND VersionsFolderWindow() {
    HWND found = nullptr;
    ::EnumWindows(FindVersionsFolderWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Closes every window of the versions folder and waits until they are gone.
bool CloseVersionsFolderWindows() {
    return PumpUntil(
        [] {
            HWND window = VersionsFolderWindow();
            if (window != nullptr) {
                ::PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return window == nullptr;
        },
        20000);
}

class UserShellRequests : public test::DialogOnMachine {
protected:
    void SetUp() override {
        DialogOnMachine::SetUp();
        test::RemoveTree(kFolder);
        test::MakeFolders({kFolder, kDestination, kVersions, kFolder + L"\\Work"});
        ASSERT_TRUE(WindowsFileSystem().WriteFileReplacing(
            PathListFile(), PathListBytes(kDestination, {kFolder + L"\\Work"})));
    }
    void TearDown() override { test::RemoveTree(kFolder); }

    void EarlierVersions() const {
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_VERSIONS, 0), 0);
    }
    static void Properties(CTreeFileCtrl& tree, const std::wstring& path) {
        ASSERT_NE(tree.SetSelectedPath(path, true), nullptr) << test::Narrow(path);
        ::SendMessageW(tree.Handle(), WM_COMMAND, MAKEWPARAM(ID_TREE_PROPERTIES, 0), 0);
    }
};

// The box that says what the shell did not do names the path, for the person to open it there.
TEST_F(UserShellRequests, WhatThePersonsShellDoesNotDoABoxSaysWithThePathAndNothingElseIsTried) {
    ScriptedShell shell;
    test::MessageBoxWatch boxes;
    BackupDlg::Options options;
    options.userShell = &shell;
    auto dialog = Open(true, std::move(options));
    const std::wstring refused = dialog->messageTexts[Msg::NoUserShell];

    EarlierVersions();
    ASSERT_TRUE(boxes.WaitForBoxes(1));
    Properties(dialog->SourceTree(), kDestination);
    ASSERT_TRUE(boxes.WaitForBoxes(2));
    const std::vector<std::pair<ShellVerb, std::wstring>> asked{
        {ShellVerb::Explore, kVersions}, {ShellVerb::Properties, kDestination}};
    EXPECT_EQ(shell.asked, asked);
    const std::vector<test::ShownBox> shown = boxes.Boxes();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].caption, L"No Explorer");
        EXPECT_NE(shown[i].text.find(refused), std::wstring::npos) << i;
        EXPECT_NE(shown[i].text.find(L"\"" + asked[i].second + L"\""), std::wstring::npos) << i;
    }

    shell.answer = true;
    EarlierVersions();
    Properties(dialog->SourceTree(), kFolder);
    EXPECT_TRUE(test::PumpPosted());
    EXPECT_EQ(shell.asked.size(), 4u);
    EXPECT_EQ(shell.asked.back(), std::pair(ShellVerb::Properties, kFolder));
    EXPECT_EQ(boxes.Boxes().size(), 2u) << "what the shell did needs no box";

    // Without an enclosure the menu item is greyed, and its command asks nothing.
    Detach();
    EarlierVersions();
    EXPECT_EQ(shell.asked.size(), 4u);
}

// The desktop's own Explorer opens the folder: its window belongs to a process that the program
// did not start, as the person's shell runs it with the person's rights.
TEST_F(UserShellRequests, EarlierVersionsOpensInTheDesktopsExplorerAndNotInTheProgram) {
    ASSERT_TRUE(CloseVersionsFolderWindows()) << "a window left by an earlier run";
    // The desktop's shell serves its windows once it has started.
    ASSERT_TRUE(PumpUntil(
        [] {
            ComRef<IShellWindows> windows;
            return SUCCEEDED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                                IID_PPV_ARGS(windows.Put())));
        },
        30000))
        << "the desktop's shell never answered";
    test::MessageBoxWatch boxes;
    auto dialog = Open(true);

    EarlierVersions();
    HWND folder = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (folder = VersionsFolderWindow()) != nullptr; }, 30000))
        << "no window of the versions folder";
    DWORD process = 0;
    ::GetWindowThreadProcessId(folder, &process);
    const DWORD parent = ParentOf(process);
    EXPECT_NE(parent, 0u);
    EXPECT_NE(parent, ::GetCurrentProcessId()) << "the program started Explorer";
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(CloseVersionsFolderWindows());
}

// Wine's desktop shell cannot show a property sheet (its folder items do no verbs): the program's
// own box says so, and no window of the shell's shows in the program, as one did when the
// program asked its own shell.
TEST_F(UserShellRequests, PropertiesTheDesktopCannotShowAreNotShownByTheProgram) {
    test::MessageBoxWatch boxes;
    auto dialog = Open(true);
    Properties(dialog->SourceTree(), kDestination);
    ASSERT_TRUE(boxes.WaitForBoxes(1));
    EXPECT_TRUE(test::PumpPosted());
    const std::vector<test::ShownBox> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"No Explorer");
    EXPECT_NE(shown[0].text.find(L"\"" + kDestination + L"\""), std::wstring::npos);
}

}  // namespace
}  // namespace bexlo
