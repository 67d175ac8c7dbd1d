// The restore window from end to end: backups made by presses on the simulated enclosure, the
// window opened from the icon's menu and driven as a person would, from a thread of the test's
// while the interface thread runs the window.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/RestoreDlg.h"
#include "backup/RunLog.h"
#include "backup/SourcesFile.h"
#include "framework/PcPlaces.h"
#include "tests/win/RunOnSimulator.h"

namespace bexlo {
namespace {

const std::wstring kElsewhere = kSources + L"\\Elsewhere";

// Waits on a thread that is not the window's; the window's thread answers these messages.
bool WaitFor(const std::function<bool()>& condition, DWORD ms = 30000) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (!condition()) {
        if (::GetTickCount64() > end) {
            return false;
        }
        ::Sleep(10);
    }
    return true;
}

// What the end box adds where the files restored could not be given to the person logged on:
// Wine keeps no shell window, by which the person is known.
std::wstring NotGiven(const std::vector<std::wstring>& files) {
    if (::GetShellWindow() != nullptr) {
        return {};
    }
    std::wstring text = L"\n\nRestored, but still owned by the administrators:";
    for (const std::wstring& file : files) {
        text += L'\n' + file;
    }
    return text;
}

std::vector<std::wstring> ListNames(HWND window) {
    HWND list = ::GetDlgItem(window, IDC_RESTORE_LIST);
    std::vector<std::wstring> names;
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        ListView_GetItemText(list, i, 0, text, 512);
        names.emplace_back(text);
    }
    return names;
}

std::wstring ListCell(HWND window, int row, int column) {
    wchar_t text[512] = {};
    ListView_GetItemText(::GetDlgItem(window, IDC_RESTORE_LIST), row, column, text, 512);
    return text;
}

std::wstring RootText(HWND window) {
    HWND tree = ::GetDlgItem(window, IDC_RESTORE_TREE);
    wchar_t text[512] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetRoot(tree);
    item.pszText = text;
    item.cchTextMax = 512;
    TreeView_GetItem(tree, &item);
    return text;
}

void TickRoot(HWND window) {
    HWND tree = ::GetDlgItem(window, IDC_RESTORE_TREE);
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_SetItemState(tree, root, INDEXTOSTATEIMAGEMASK(2), TVIS_STATEIMAGEMASK);
    ::SendMessageW(window, RestoreDlg::kTreeTickMessage, 0, reinterpret_cast<LPARAM>(root));
}

void Command(HWND window, int id, WORD code = BN_CLICKED) {
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

HWND RestoreWindow() {
    return test::FindProcessWindow(::GetCurrentProcessId(), L"Restore files", [](HWND window) {
        return ::GetDlgItem(window, IDC_RESTORE_LIST) != nullptr;
    });
}

// For the guide: the picture is written from the driving thread, which needs COM of its own.
void SavePicture(HWND window, const wchar_t* name) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(test::SavePng(test::CaptureClient(window), test::ArtifactsFolder() + name));
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

class RestoreWindowOnSimulator : public BackupRunOnSimulator {
protected:
    // Opens the window from the icon's menu and runs `drive` on a thread of its own against it,
    // while this thread runs the window; false when the window did not show or close.
    bool Drive(BackupDlg& dialog, const std::function<void(HWND)>& drive) {
        std::atomic<bool> done{false};
        std::thread driver([&] {
            HWND window = nullptr;
            if (WaitFor([&] { return (window = RestoreWindow()) != nullptr; })) {
                drive(window);
                Command(window, IDCANCEL);
            }
            done = true;
        });
        ::PostMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(ID_TRAY_RESTORE, BN_CLICKED), 0);
        const bool ended =
            PumpUntil([&] { return done.load() && RestoreWindow() == nullptr; }, 120000);
        driver.join();
        return ended;
    }
};

// Two presses, the second replacing c.txt: at the first press's moment the window shows c.txt as
// it was then; a search finds a.txt below Sub; the whole source ticked and restored over a PC
// where c.txt changed again keeps that change first and leaves the equal files alone; restored
// elsewhere, the source lands below a folder of its name; and the next press takes the restored
// file over its backup copy.
TEST_F(RestoreWindowOnSimulator, AMomentTheTreeSearchAndRestoresToItsPlaceAndElsewhere) {
    test::MessageBoxWatch boxes;
    BackupDlg::Options options{.readVersion = {}, .fileSystem = &disks};
    options.pickFolder = [](HWND, const std::wstring&) { return std::optional(kElsewhere); };
    SaveList(kTarget, {kWork});
    auto dialog = Open(options);
    dialog->Run().state.serialCheckArmed = 0;
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    test::WriteBytes(kWork + L"\\c.txt", "gamma, second");
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    test::WriteBytes(kWork + L"\\c.txt", "mine");

    const std::size_t before = boxes.Boxes().size();
    std::vector<std::wstring> seen;
    int states = 0;
    std::wstring newest;
    ASSERT_TRUE(Drive(*dialog, [&](HWND window) {
        HWND moment = ::GetDlgItem(window, IDC_RESTORE_MOMENT);
        EXPECT_EQ(::SendMessageW(moment, CB_GETCOUNT, 0, 0), 3) << "Latest and two presses";
        EXPECT_EQ(RootText(window), kWork) << "by the source's own path";
        ::SendMessageW(moment, CB_SETCURSEL, 2, 0);
        Command(window, IDC_RESTORE_MOMENT, CBN_SELCHANGE);
        seen = ListNames(window);
        EXPECT_EQ(ListCell(window, 1, 1), L"5 bytes") << "c.txt as the first press kept it";
        SavePicture(window, L"restore-window.png");

        // Every kept state of c.txt, newest first, each with the press that replaced it.
        HWND list = ::GetDlgItem(window, IDC_RESTORE_LIST);
        ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_RESTORE_VERSIONS, BN_CLICKED), 0);
        HWND versions = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            versions = test::FindProcessWindow(::GetCurrentProcessId(), L"Versions of c.txt");
            return versions != nullptr;
        }));
        if (versions != nullptr) {
            HWND rows = ::GetDlgItem(versions, IDC_VERSIONS_LIST);
            states = ListView_GetItemCount(rows);
            wchar_t replaced[256] = {};
            ListView_GetItemText(rows, 0, 2, replaced, 256);
            newest = replaced;
            SavePicture(versions, L"restore-versions.png");
            ::PostMessageW(versions, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            EXPECT_TRUE(WaitFor([&] { return !::IsWindow(versions); }));
        }

        ::SetDlgItemTextW(window, IDC_RESTORE_FIND, L"A.T");
        EXPECT_TRUE(
            WaitFor([&] { return ListNames(window) == std::vector<std::wstring>{L"Sub\\a.txt"}; }));
        ::SetDlgItemTextW(window, IDC_RESTORE_FIND, L"");
        EXPECT_TRUE(WaitFor([&] { return ListNames(window).size() == 2; }));

        TickRoot(window);
        EXPECT_NE(ListView_GetCheckState(::GetDlgItem(window, IDC_RESTORE_LIST), 0), 0u);
        Command(window, IDC_RESTORE_HERE);
        EXPECT_TRUE(WaitFor([&] {
            return boxes.Boxes().size() >= before + 1 &&
                   ::IsWindowEnabled(::GetDlgItem(window, IDC_RESTORE_TO));
        }));
        Command(window, IDC_RESTORE_TO);
        EXPECT_TRUE(WaitFor([&] {
            return boxes.Boxes().size() >= before + 2 &&
                   ::IsWindowEnabled(::GetDlgItem(window, IDC_RESTORE_TO));
        }));
    }));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"b.bin", L"c.txt"}));
    EXPECT_EQ(states, 2) << "the kept state and the backup copy";
    EXPECT_EQ(newest, L"not replaced: the backup copy");
    const std::vector<test::ShownBox> shown = boxes.Boxes();
    ASSERT_GE(shown.size(), before + 2);
    EXPECT_EQ(shown[before].caption, L"Restore files");
    EXPECT_EQ(shown[before].text, L"Files restored: 1\nAlready the same on the PC, left alone: 2" +
                                      NotGiven({kWork + L"\\c.txt"}));
    const std::wstring elsewhere = kElsewhere + L"\\Work\\";
    EXPECT_EQ(shown[before + 1].text,
              L"Files restored: 3" + NotGiven({elsewhere + L"b.bin", elsewhere + L"c.txt",
                                               elsewhere + L"Sub\\a.txt"}));
    EXPECT_EQ(test::ReadTree(kWork)[L"c.txt"], "gamma");
    EXPECT_EQ(KeptWith("mine").size(), 1U) << "the PC's own change is kept first";
    EXPECT_EQ(test::ReadTree(kElsewhere + L"\\Work"), test::ReadTree(kWork));
    // Each restore is an entry of the run log, its files counted.
    const std::wstring log = TextOf(RunLogFile());
    EXPECT_NE(log.find(L"Mode: Restore\r\nDestination: " + kTarget +
                       L"\r\nCopied: 1 files, 5 bytes; passed over as unchanged: 2 files\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Copied: 3 files, "), std::wstring::npos);

    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
    EXPECT_EQ(KeptWith("gamma, second").size(), 1U) << "the replaced backup copy is kept";
}

// A backup another PC made, with no choice saved here: the window says which PC it came from and
// where each source goes here, restores a source from that PC's profile into this person's, and
// saves the sources for the next press when asked.
TEST_F(RestoreWindowOnSimulator, ANewPcRestoresIntoItsOwnPlacesAndSavesTheSources) {
    const PcPlaces here = ThisPcPlaces();
    ASSERT_FALSE(here.profile.empty());
    // A folder of the old profile: Wine makes this prefix's known folders links to the Unix
    // home, which a restore never writes through, so the profile stands in for them here.
    const std::wstring oldProfile = L"C:\\users\\formerowner";
    const std::wstring oldSource = oldProfile + L"\\Projects\\Letters";
    const PcPlaces old{
        L"OLD-PC", L"{0ld-pc}", oldProfile, {{L"Documents", oldProfile + L"\\Documents"}}};
    const std::wstring backup = kTarget;
    test::RemoveTree(L"E:\\FilesBackup");
    test::MakeFolders({backup + L"\\Letters", backup + L"\\" + kVersionsFolderName});
    test::WriteBytes(backup + L"\\Letters\\note.txt", "dear ben");
    WindowsFileSystem fs;
    ASSERT_TRUE(WriteSourcesFile(fs, backup, {old, {oldSource}}));
    const std::wstring placed = here.profile + L"\\Projects\\Letters";
    test::RemoveTree(here.profile + L"\\Projects");

    test::MessageBoxWatch boxes;
    std::atomic<int> asked{0};
    std::atomic<int> told{0};
    std::mutex mutex;
    std::wstring endText;
    // The window, its end box and its question share the caption.
    boxes.On(L"Restore files", [&](HWND box) {
        if (::GetDlgItem(box, IDC_RESTORE_LIST) != nullptr) {
            return;
        }
        const bool question = ::GetDlgItem(box, IDYES) != nullptr;
        if (!question) {
            const std::lock_guard lock(mutex);
            endText = test::StaticTexts(box);
        }
        ++(question ? asked : told);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(question ? IDYES : IDOK, BN_CLICKED), 0);
    });
    BackupDlg::Options options{.readVersion = {}, .fileSystem = &disks};
    options.pickFolder = [&](HWND, const std::wstring&) { return std::optional(backup); };
    auto dialog = Open(options);
    std::wstring notice;
    ASSERT_TRUE(Drive(*dialog, [&](HWND window) {
        notice = test::WindowText(::GetDlgItem(window, IDC_RESTORE_NOTICE));
        EXPECT_EQ(RootText(window), oldSource);
        SavePicture(window, L"restore-new-pc.png");
        TickRoot(window);
        Command(window, IDC_RESTORE_HERE);
        EXPECT_TRUE(WaitFor([&] { return asked == 1; }));
    }));
    EXPECT_EQ(told, 1);
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(endText, L"Files restored: 1" + NotGiven({placed + L"\\note.txt"}));
    }
    EXPECT_NE(notice.find(L"OLD-PC"), std::wstring::npos) << notice;
    EXPECT_NE(notice.find(L"\u2192 " + placed), std::wstring::npos) << notice;
    EXPECT_EQ(test::ReadTree(placed),
              (std::map<std::wstring, std::string>{{L"note.txt", "dear ben"}}));
    EXPECT_EQ(SavedBytes(), PathListBytes(backup, {placed})) << "saved for the next press";
    test::RemoveTree(here.profile + L"\\Projects");
}

}  // namespace
}  // namespace bexlo
