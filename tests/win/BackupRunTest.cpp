// Backups from end to end on a simulated family-1 enclosure on E: (volume serial 0x0000BE7C):
// sources ticked and saved in the dialog, the button pressed, the walkers on the real disks, and
// the boxes the user sees.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/BackupDlg.h"
#include "app/CheckDlg.h"
#include "app/LanguageFiles.h"
#include "backup/BackupRecord.h"
#include "backup/Catalog.h"
#include "backup/PathList.h"
#include "backup/ProgressDlg.h"
#include "backup/SourceIdentity.h"
#include "backup/RunLog.h"
#include "backup/Versions.h"
#include "backup/WindowsFileSystem.h"
#include "framework/LongPath.h"
#include "framework/MachineIdentity.h"
#include "res/resource.h"
#include "sim/SimStateFile.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"
#include "tests/win/RunOnSimulator.h"
#include "tests/win/UnixLinks.h"

namespace bexlo {
namespace {

using test::PumpUntil;

TEST_F(BackupRunOnSimulator, SavedSourcesAreCopiedOnAPress) {
    test::MessageBoxWatch boxes;
    auto dialog = Open({.readVersion = {}, .fileSystem = &disks});
    Tick(*dialog, kWork);
    Tick(*dialog, kPhotos);
    dialog->TargetTree().SetSelectedPath(kTarget, false);
    Click(*dialog, IDC_SAVE);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(SavedBytes(), PathListBytes(kTarget, {kPhotos, kWork})) << "saved in tree order";
    EXPECT_TRUE(RecordMatchesVolume(RecordBytes(), 0x0000BE7C)) << "Save records the volume";

    // The control surface presses the button, as a person would.
    const test::ShownBox first = PressAndWait(*dialog, boxes);
    EXPECT_EQ(first.caption, L"Information");
    EXPECT_EQ(first.text, L"Copy complete!");
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Photos"), test::ReadTree(kPhotos));
    EXPECT_TRUE(PumpUntil([] { return RunMessage() == kSimRunComplete; }));
    EXPECT_TRUE(RecordMatchesVolume(RecordBytes(), 0x0000BE7C));
    EXPECT_EQ(ParseBackupType(RecordBytes()), BackupType::Copy);
    EXPECT_EQ(dialog->TargetTree().GetSelectedPath(), kTarget) << "the destination is reselected";

    // A second press over the unchanged tree writes nothing: every backup copy keeps its bytes,
    // its last-write time and its change time. A file changed before the third press arrives.
    const auto before = BackupTimes();
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(BackupTimes(), before);
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));

    test::WriteBytes(kWork + L"\\Sub\\a.txt", "alpha, changed");
    PressAndWait(*dialog, boxes);
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
}

// Whether another process holds the file open without sharing it.
bool HeldElsewhere(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// A file another program holds open and a saved source that is gone are named in the box and the
// log; everything else is backed up, the enclosure hears that the run failed, and the next press,
// with the file let go and the source back, copies them. The host tests hold the box's and the
// log's layout, and the other ways a run fails.
TEST_F(BackupRunOnSimulator, AFileHeldOpenIsNamedAndTheRestIsBackedUp) {
    test::MessageBoxWatch boxes;
    const std::wstring locked = kWork + L"\\locked.doc";
    const std::wstring gone = kSources + L"\\Gone";
    test::WriteBytes(locked, "in use");
    auto dialog = OpenSaved({kWork, kPhotos, gone}, disks);
    const auto summary = [&] {
        wchar_t text[256]{};
        ::GetDlgItemTextW(dialog->Handle(), IDC_SUMMARY, text, 256);
        return std::wstring(text);
    };
    EXPECT_EQ(summary(), L"3 folders to " + kTarget + L", Copy. Last backup: none yet");
    std::optional<test::ChildProcess> holder;
    // A holder that tries the file while this process looks at it cannot open it and ends.
    ASSERT_TRUE(PumpUntil([&] {
        if (!holder || holder->WaitForExit(0)) {
            holder.emplace(test::ProgramFolder() + L"tools\\Poke.exe", L"hold \"" + locked + L"\"");
        }
        return HeldElsewhere(locked);
    }));
    const test::ShownBox failed = PressAndWait(*dialog, boxes);
    EXPECT_EQ(failed.caption, L"Copy Fail");
    const std::wstring& text = failed.text;
    EXPECT_NE(text.find(locked + L"\n    "), std::wstring::npos);
    EXPECT_NE(text.find(gone + L"\n    The saved source no longer exists."), std::wstring::npos);
    EXPECT_TRUE(PumpUntil([] { return RunMessage() == kSimRunFailed; }));
    // The press walked to its end: what it could not copy does not make the backup late.
    EXPECT_TRUE(PumpUntil([&] {
        return summary().find(L"Last backup: today ") != std::wstring::npos;
    })) << testing::PrintToString(summary());
    holder.reset();
    ASSERT_TRUE(PumpUntil([&] { return !HeldElsewhere(locked); }));
    auto expected = test::ReadTree(kWork);
    expected.erase(L"locked.doc");
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), expected);
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Photos"), test::ReadTree(kPhotos));
    EXPECT_NE(TextOf(RunLogFile()).find(L"Not copied: " + locked + L" ("), std::wstring::npos);

    ::CreateDirectoryW(gone.c_str(), nullptr);
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
}

// 100 of 300 files overwritten with other bytes, as ransomware would: the press asks before it
// replaces them, and once told to back up all, the backup holds the new files and the versions
// folder the old ones, byte for byte.
TEST_F(BackupRunOnSimulator, OverwrittenFilesAreAskedAboutAndTheirOldBytesKept) {
    test::MessageBoxWatch boxes;
    std::wstring asked;
    boxes.On(L"Many Changes", [&](HWND box) {
        wchar_t text[4096]{};
        ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
        asked = text;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    });
    const std::wstring many = kWork + L"\\Many";
    ::CreateDirectoryW(many.c_str(), nullptr);
    std::minstd_rand random(22);
    // Writes file `i` with random bytes, kept in `into` under its name.
    const auto write = [&](int i, std::map<std::wstring, std::string>& into) {
        const std::wstring name = L"file" + std::to_wstring(i) + L".dat";
        std::string& data = into[name] = std::string(512, '\0');
        std::ranges::generate(data, [&] { return static_cast<char>(random()); });
        test::WriteBytes(many + L"\\" + name, data);
    };
    std::map<std::wstring, std::string> old;
    for (int i = 0; i < 300; ++i) {
        write(i, old);
    }
    auto dialog = OpenSaved({kWork}, disks);
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(boxes.Answered(L"Many Changes"), 0) << "a first press replaces nothing";

    std::map<std::wstring, std::string> changed;
    for (int i = 0; i < 300; i += 3) {
        write(i, changed);
    }
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(boxes.Answered(L"Many Changes"), 1);
    EXPECT_NE(asked.find(L"Files to be replaced: 100"), std::wstring::npos) << asked.size();
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));

    std::map<std::wstring, std::string> kept;
    for (const auto& [path, data] : test::ReadTree(kTarget + L"\\Bexlo versions")) {
        const std::wstring below = L"\\Work\\Many\\";
        const std::size_t at = path.find(below);
        if (at != std::wstring::npos && data != "<folder>") {
            kept[path.substr(at + below.size())] = data;
        }
    }
    ASSERT_EQ(kept.size(), 100u);
    for (const auto& [name, data] : changed) {
        EXPECT_EQ(kept[name], old[name]);
    }
}

FILETIME LastWriteOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void PutLastWrite(const std::wstring& path, const FILETIME& time) {
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &time));
}

// A saved single file rewritten with its size and last-write time put back, as an encrypted
// container is, is backed up again: its change time, read through its own handle, tells.
TEST_F(BackupRunOnSimulator, ASavedSingleFileRewrittenWithItsTimePutBackArrives) {
    test::MessageBoxWatch boxes;
    const std::wstring vault = kSources + L"\\vault.bin";
    test::WriteBytes(vault, std::string(1 << 20, 'a'));
    const FILETIME written = LastWriteOf(vault);
    auto dialog = OpenSaved({vault}, disks);
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    test::WriteBytes(vault, std::string(1 << 20, 'b'));
    PutLastWrite(vault, written);
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(test::FileText(kTarget + L"\\vault.bin"), std::string(1 << 20, 'b'));
}

// After a Synchronize, another program swaps a saved source for a link to another folder and
// puts a file into its backup folder: the next presses write nothing through the link, read
// nothing through it, and name the source.
TEST_F(BackupRunOnSimulator, ASavedSourceSwappedForALinkIsNamedAndNothingGoesThroughIt) {
    test::MessageBoxWatch boxes;
    test::UnixLinks links;
    const std::wstring elsewhere = kSources + L"\\Elsewhere";
    const std::wstring aside = kSources + L"\\Work aside";
    test::MakeFolders({elsewhere});
    test::WriteBytes(elsewhere + L"\\system.ini", "theirs");
    auto dialog = OpenSaved({kWork, kPhotos}, disks);
    ASSERT_TRUE(SaveSourceIdentities(disks, {kWork, kPhotos}));
    ::CheckRadioButton(dialog->Handle(), IDC_COPY, IDC_SYNC, IDC_SYNC);
    ASSERT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");

    ASSERT_TRUE(::MoveFileW(kWork.c_str(), aside.c_str()));
    if (!links.Make(kWork, elsewhere)) {
        GTEST_SKIP() << "no Unix links here";
    }
    test::WriteBytes(kTarget + L"\\Work\\planted.exe", "payload");
    for (const int mode : {IDC_SYNC, IDC_COPY}) {
        ::CheckRadioButton(dialog->Handle(), IDC_COPY, IDC_SYNC, mode);
        const test::ShownBox box = PressAndWait(*dialog, boxes);
        EXPECT_EQ(box.caption, L"Copy Fail");
        EXPECT_NE(box.text.find(kWork), std::wstring::npos) << "the source is named";
        EXPECT_FALSE(test::Exists(elsewhere + L"\\planted.exe")) << "written through the link";
        EXPECT_FALSE(test::Exists(kTarget + L"\\Work\\system.ini")) << "read through the link";
    }
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Photos"), test::ReadTree(kPhotos));
}

// The program ended in the middle of a press, as a PC that loses its power is, leaves a catalog
// that the next press opens as it is, and that press finishes the backup.
TEST_F(BackupRunOnSimulator, TheCatalogSurvivesTheProgramEndedMidPress) {
    const std::wstring many = kWork + L"\\Many";
    ::CreateDirectoryW(many.c_str(), nullptr);
    for (int i = 0; i < 4000; ++i) {
        test::WriteBytes(many + L"\\f" + std::to_wstring(i) + L".dat", std::string(4096, 'm'));
    }
    SaveList(kTarget, {kWork});
    WindowsFileSystem fs;
    ASSERT_EQ(WriteBackupRecord(fs, BackupType::Copy, kTarget), 1);
    const auto copies = [&] {
        WIN32_FIND_DATAW found;
        int count = 0;
        UniqueFindHandle find(::FindFirstFileW((kTarget + L"\\Work\\Many\\*").c_str(), &found));
        for (bool more = find.Valid(); more; more = ::FindNextFileW(find.Get(), &found)) {
            ++count;
        }
        return count;
    };
    {
        test::ChildProcess program(test::ProgramFile(), test::Simulate(Folder()));
        ASSERT_TRUE(PumpUntil(
            [&] {
                test::Press(Folder());
                return copies() > 600;
            },
            60000));
        ASSERT_LT(copies(), 4000) << "the press ended before the program was";
    }
    test::ChildProcess again(test::ProgramFile(), test::Simulate(Folder()));
    HWND box = test::PressUntilBox(Folder(), again.Id(), L"Information", 120000);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(test::StaticTexts(box).find(L"Copy complete!"), std::wstring::npos);
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(
        PumpUntil([&] { return test::FindProcessWindow(again.Id(), L"Information") == nullptr; }));
    const std::unique_ptr<Catalog> catalog =
        Catalog::Open(fs, LongPath(kTarget), MachineIdentity(), fs.CurrentTime());
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->HowStarted(), Catalog::Start::Kept);
    EXPECT_EQ(catalog->Folder(CatalogFolderKey(kTarget, kTarget + L"\\Work\\Many")).mine.size(),
              4000u);
}

// Each file under the versions folder whose bytes are `contents`.

// A backup copy that decays on the enclosure, its size and time kept, is named by the check the
// menu starts, and the next press copies it again from the unchanged source and keeps the damaged
// one aside. With the check after each press turned on, a press is followed by a check that names
// what it finds without being asked.
TEST_F(BackupRunOnSimulator, ACheckNamesADecayedCopyAndTheNextPressRepairsIt) {
    test::MessageBoxWatch boxes;
    auto dialog = OpenSaved({kWork}, disks);
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    const std::wstring copy = kTarget + L"\\Work\\c.txt";
    const FILETIME written = LastWriteOf(copy);
    test::WriteBytes(copy, "gAmma");
    PutLastWrite(copy, written);

    const std::size_t before = boxes.Boxes().size();
    ::PostMessageW(dialog->Handle(), WM_COMMAND, MAKEWPARAM(ID_TRAY_CHECK, BN_CLICKED), 0);
    ASSERT_TRUE(boxes.WaitForBoxes(before + 1, 60000));
    const test::ShownBox told = boxes.Boxes()[before];
    EXPECT_EQ(told.caption, L"Backup check");
    EXPECT_NE(told.text.find(L"Reads back different from what was written:\n" + copy),
              std::wstring::npos)
        << told.text;
    EXPECT_NE(told.text.find(L"keeping the damaged ones aside: 1"), std::wstring::npos);
    const std::wstring log = TextOf(RunLogFile());
    EXPECT_NE(log.find(L"Mode: Check"), std::wstring::npos);
    EXPECT_NE(log.find(L"Damaged: " + copy + L" ("), std::wstring::npos);

    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork)) << "repaired";
    EXPECT_EQ(KeptWith("gAmma").size(), 1U) << "the damaged copy is kept aside";

    // A copy changed on the enclosure is replaced by the press, which keeps it as it keeps what it
    // replaces; the check after the press then reads that kept copy, names it and puts it aside.
    test::WriteUtf16File(ReminderSettingFile(), L"CheckAfterPress=yes\r\n");
    const std::wstring other = kTarget + L"\\Work\\Sub\\a.txt";
    const FILETIME otherWritten = LastWriteOf(other);
    test::WriteBytes(other, "alphA");
    PutLastWrite(other, otherWritten);
    const std::size_t afterRepair = boxes.Boxes().size();
    EXPECT_EQ(PressAndWait(*dialog, boxes).text, L"Copy complete!");
    ASSERT_TRUE(boxes.WaitForBoxes(afterRepair + 2, 60000)) << "the check after the press";
    const std::wstring afterPress = boxes.Boxes()[afterRepair + 1].text;
    EXPECT_NE(afterPress.find(L"\\Work\\Sub\\a.txt (an earlier version)"), std::wstring::npos)
        << afterPress;
    EXPECT_EQ(KeptWith("alphA").size(), 1U);
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
}

// After many presses without a check, one is offered once; a No leaves it for as many more.
TEST_F(BackupRunOnSimulator, ACheckIsOfferedAfterManyPressesWithoutOne) {
    test::MessageBoxWatch boxes;
    std::atomic<int> offered{0};
    boxes.On(L"Backup check", [&offered](HWND box) {
        if (::GetDlgItem(box, IDNO) != nullptr) {
            ++offered;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        }
    });
    test::WriteUtf16File(LastBackupFile(), L"PressesSinceCheck=28\r\n");
    auto dialog = OpenSaved({kWork}, disks);
    PressAndWait(*dialog, boxes);
    EXPECT_EQ(offered, 0);
    PressAndWait(*dialog, boxes);
    EXPECT_TRUE(PumpUntil([&] { return offered == 1; }));
    PressAndWait(*dialog, boxes);
    EXPECT_EQ(offered, 1) << "once";
    EXPECT_NE(TextOf(LastBackupFile()).find(L"PressesSinceCheck=1\r\n"), std::wstring::npos);
}

HWND FindProgressWindow() {
    return test::FindProcessWindow(::GetCurrentProcessId(), L"Copying...");
}

// From the notification area the progress shows in a window of its own. Enter is the OK command:
// refused while a run copies, it ends the program once the run is over.
TEST_F(BackupRunOnSimulator, FromTheTrayTheProgressShowsInAWindowAndEnterWaitsForTheRun) {
    test::MessageBoxWatch boxes;
    HeldFileSystem held;
    auto dialog = OpenSaved({kWork}, held);
    HWND window = dialog->Handle();
    ::SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_EQ(dialog->tray.inTray, 1);
    test::Press(Folder());
    // The window carries its caption from before it is shown.
    ASSERT_TRUE(
        PumpUntil([&] { return held.copying && ::IsWindowVisible(FindProgressWindow()); }, 10000));
    HWND progress = FindProgressWindow();
    EXPECT_EQ(test::WindowText(::GetDlgItem(progress, IDC_PROGRESS_STATUS)),
              L"Total copy progress: ");
    EXPECT_FALSE(::IsWindowEnabled(window)) << "the owner is disabled while it shows";
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindow(window));
    held.released = true;
    held.released.notify_all();
    ASSERT_TRUE(boxes.WaitForBoxes(1));
    EXPECT_EQ(boxes.Boxes()[0].text, L"Copy complete!");
    ASSERT_TRUE(RunEnded(*dialog));
    EXPECT_EQ(FindProgressWindow(), nullptr);
    EXPECT_TRUE(::IsWindowEnabled(window));
    EXPECT_EQ(test::ReadTree(kTarget + L"\\Work"), test::ReadTree(kWork));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(window));
}

using SaveOnSimulator = BackupRunOnSimulator;

int CheckBox(const CTreeFileCtrl& tree, HTREEITEM item) {
    return static_cast<int>(TreeView_GetItemState(tree.Handle(), item, TVIS_STATEIMAGEMASK) >> 12);
}
constexpr int kNoCheckBox = 0;
constexpr int kEmptyCheckBox = 1;

TEST_F(SaveOnSimulator, NothingTickedOrNoDestinationAreTold) {
    test::MessageBoxWatch boxes;
    SaveList(L"E:\\Old", {L"C:\\Old"});
    const auto old = SavedBytes();
    auto dialog = Open();
    Click(*dialog, IDC_SAVE);
    ASSERT_TRUE(boxes.WaitForBoxes(1));
    EXPECT_EQ(boxes.Boxes()[0].caption, L"No Select item");
    EXPECT_EQ(boxes.Boxes()[0].text, L"Please selsect at least one source item.");
    EXPECT_EQ(SavedBytes(), old);

    Tick(*dialog, kWork);
    TreeView_SelectItem(dialog->TargetTree().Handle(), nullptr);
    Click(*dialog, IDC_SAVE);
    ASSERT_TRUE(boxes.WaitForBoxes(2));
    EXPECT_EQ(boxes.Boxes()[1].caption, L"No choice destined folder");
    EXPECT_EQ(boxes.Boxes()[1].text, L"All the files will copy to \"E:\\FilesBackup\"");
    EXPECT_EQ(SavedBytes(), PathListBytes(L"E:\\FilesBackup", {kWork}));
    EXPECT_EQ(dialog->Run().state.serialCheckArmed, 0)
        << "the first run after a Save is not checked";

    // The trees keep each drive on one side. With the enclosure's drive a source as well, Save
    // itself must refuse a source that holds the destination.
    const std::wstring inner = kTarget + L"\\Inner";
    ::CreateDirectoryW(inner.c_str(), nullptr);
    ASSERT_TRUE(dialog->SourceTree().AddDriveItem(L"E:\\"));
    Tick(*dialog, kTarget);
    dialog->TargetTree().SetSelectedPath(inner, false);
    Click(*dialog, IDC_SAVE);
    ASSERT_TRUE(boxes.WaitForBoxes(3));
    EXPECT_EQ(boxes.Boxes()[2].caption, L"Invalid Source");
    EXPECT_EQ(boxes.Boxes()[2].text,
              L"\"" + kTarget + L"\"\n\nA source cannot hold the destination or lie inside it:");
    EXPECT_EQ(SavedBytes(), PathListBytes(L"E:\\FilesBackup", {kWork}));
}

// One item past the hundredth: a box shown inside the walk would show again for it.
TEST_F(SaveOnSimulator, ItemsPastTheNinetyNinthAreUncheckedWithOneBoxAndNinetyNineAreSaved) {
    test::MessageBoxWatch boxes;
    const std::wstring many = kSources + L"\\Many";
    ::CreateDirectoryW(many.c_str(), nullptr);
    std::vector<std::wstring> folders;
    for (int i = 0; i < 101; ++i) {
        folders.push_back(many + L"\\f" + std::to_wstring(100 + i));
        ::CreateDirectoryW(folders.back().c_str(), nullptr);
    }
    auto dialog = Open();
    dialog->TargetTree().SetSelectedPath(kTarget, false);
    for (const std::wstring& folder : folders) {
        Tick(*dialog, folder);
    }
    dialog->RebuildSelectionList();
    ASSERT_TRUE(boxes.WaitForBoxes(1));
    EXPECT_EQ(boxes.Boxes()[0].caption, L"Too Much Items");
    EXPECT_EQ(boxes.Boxes()[0].text, L"The chosen items must less than 100");
    CTreeFileCtrl& tree = dialog->SourceTree();
    EXPECT_FALSE(tree.GetCheck(tree.PathToItem(folders[99])));
    EXPECT_TRUE(tree.GetCheck(tree.PathToItem(folders[98])));

    Click(*dialog, IDC_SAVE);
    folders.resize(99);
    EXPECT_EQ(SavedBytes(), PathListBytes(kTarget, folders));
    EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(SaveOnSimulator, ACheckedFolderStandsForItsSubtreeAndClearKeepsTheSavedList) {
    // More folders than the tree shows at once, so that it can be scrolled below its root.
    for (int i = 0; i < 30; ++i) {
        ::CreateDirectoryW((kSources + L"\\Extra" + std::to_wstring(10 + i)).c_str(), nullptr);
    }
    auto dialog = Open();
    CTreeFileCtrl& tree = dialog->SourceTree();
    tree.SetSelectedPath(kWork + L"\\Sub", false);
    Tick(*dialog, kWork);
    dialog->RebuildSelectionList();
    EXPECT_EQ(dialog->SelectionEntries(), std::vector<std::wstring>{kWork});
    EXPECT_EQ(CheckBox(tree, tree.PathToItem(kWork + L"\\Sub")), kNoCheckBox);

    tree.SetCheck(tree.PathToItem(kWork), false);
    dialog->RebuildSelectionList();
    EXPECT_TRUE(dialog->SelectionEntries().empty());
    EXPECT_EQ(CheckBox(tree, tree.PathToItem(kWork + L"\\Sub")), kEmptyCheckBox);

    Tick(*dialog, kPhotos);
    dialog->TargetTree().SetSelectedPath(kTarget, false);
    Click(*dialog, IDC_SAVE);
    const auto saved = SavedBytes();
    EXPECT_EQ(saved, PathListBytes(kTarget, {kPhotos}));
    // The tree's top row inside the subtree that Clear resets.
    ::SendMessageW(tree.Handle(), WM_VSCROLL, SB_BOTTOM, 0);
    ASSERT_NE(TreeView_GetFirstVisible(tree.Handle()), tree.RootItem());
    Click(*dialog, IDC_CLEAR);
    EXPECT_TRUE(dialog->SelectionEntries().empty());
    EXPECT_EQ(tree.PathToItem(kPhotos), nullptr) << "every check mark went with the items";
    EXPECT_EQ(test::WindowText(::GetDlgItem(dialog->Handle(), IDC_SOURCE_PATH)), L"");
    EXPECT_EQ(SavedBytes(), saved);
}

TEST(ProgressWindow, ShowsThePercentageAndHoldsItsOwnerUntilItGoes) {
    Dialog owner(IDD_ABOUT);
    ASSERT_TRUE(owner.Create(nullptr));
    ProgressDlg progress;
    progress.statusText = L"Total copy progress: ";
    ASSERT_TRUE(progress.Create(owner.Handle()));
    HWND window = progress.Handle();
    EXPECT_EQ(test::WindowText(window), L"Copying...");
    EXPECT_EQ(test::WindowText(::GetDlgItem(window, IDC_PROGRESS_STATUS)), progress.statusText);
    EXPECT_FALSE(::IsWindowEnabled(owner.Handle()));

    const auto shown = [&] { return test::WindowText(::GetDlgItem(window, IDC_PROGRESS_PERCENT)); };
    const std::pair<int, const wchar_t*> positions[] = {{0, L"0%"}, {100, L"100%"}, {103, L"3%"}};
    for (const auto& [position, text] : positions) {
        progress.SetPos(position);
        EXPECT_EQ(shown(), text) << position;
        EXPECT_EQ(::SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0),
                  std::min(position, 100));
    }
    EXPECT_EQ(progress.SetPos(40), 103) << "the previous position";

    // Enter and Esc, through the window's own pump, leave it open.
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        ::PostMessageW(::GetDlgItem(window, IDC_PROGRESS_BAR), WM_KEYDOWN, key, 0);
        ::PostMessageW(window, WM_COMMAND, key == VK_RETURN ? IDOK : IDCANCEL, 0);
        progress.SetPos(50);
        EXPECT_TRUE(::IsWindow(window));
    }
    progress.DestroyWindow();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
}

// A check's window shows what was read of how much, and Stop ends the check where it is and
// closes the window with the check's outcome.
TEST(CheckWindow, ShowsWhatWasReadAndStopEndsTheCheck) {
    MessageTexts texts;
    SetDefaultMessages(texts);
    CheckDlg dialog(texts, [](CheckFeedback& feedback) {
        CheckOutcome outcome;
        outcome.bytesRead = std::uint64_t{512} << 20;
        feedback.Progress(outcome.bytesRead, std::uint64_t{1} << 30);
        while (!feedback.StopRequested()) {
            std::this_thread::yield();
        }
        outcome.cancelled = true;
        return outcome;
    });
    std::mutex mutex;
    std::wstring shown;
    LRESULT position = 0;
    test::MessageBoxWatch watch;
    watch.On(L"Checking the backup", [&](HWND window) {
        HWND text = ::GetDlgItem(window, IDC_CHECK_TEXT);
        PumpUntil([&] { return test::WindowText(text).find(L"MB of") != std::wstring::npos; });
        {
            const std::lock_guard lock(mutex);
            shown = test::WindowText(text);
            position = ::SendDlgItemMessageW(window, IDC_CHECK_BAR, PBM_GETPOS, 0, 0);
        }
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    ASSERT_TRUE(dialog.Outcome());
    EXPECT_TRUE(dialog.Outcome()->cancelled);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(shown.substr(0, shown.find(L'\n')), L"Read back: 512 MB of 1.0 GB");
    EXPECT_EQ(position, 500) << "tenths of a percent";
}

}  // namespace
}  // namespace bexlo
