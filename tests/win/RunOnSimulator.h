#pragma once

// Backups from end to end on a simulated family-1 enclosure on E: (volume serial 0x0000BE7C):
// sources ticked and saved in the dialog, the button pressed, the walkers on the real disks, and
// the boxes the user sees.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackupDlg.h"
#include "backup/BackupRecord.h"
#include "backup/PathList.h"
#include "backup/Versions.h"
#include "backup/WindowsFileSystem.h"
#include "res/resource.h"
#include "sim/SimStateFile.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"

namespace bexlo {

using test::PumpUntil;

inline const std::wstring kSources = L"C:\\bexlo-run";
inline const std::wstring kWork = kSources + L"\\Work";
inline const std::wstring kPhotos = kSources + L"\\Photos";
inline const std::wstring kTarget = L"E:\\Backups";

// The simulated enclosure's folder lies on this machine's disk, whose free space is whatever the
// machine has left: these disks report a roomy volume, so that versions always fit.
class RoomyDisks : public WindowsFileSystem {
public:
    std::optional<VolumeSpace> Space(const std::wstring&) override {
        return VolumeSpace{1ull << 40, 1ull << 39};
    }
};

// Holds every copy until the test lets it go, so that the test can act while a run is copying.
class HeldFileSystem : public RoomyDisks {
public:
    std::unique_ptr<StagedCopy> StageCopy(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) override {
        copying = true;
        released.wait(false);
        return RoomyDisks::StageCopy(from, partial, to);
    }

    std::atomic<bool> copying{false};
    std::atomic<bool> released{false};
};

class BackupRunOnSimulator : public test::SimulatorBench {
protected:
    void SetUp() override {
        SimulatorBench::SetUp();
        Describe(test::kOneEnclosure);
        test::RemoveTree(kSources);
        test::RemoveTree(kTarget);
        test::MakeFolders(
            {kSources, kWork, kWork + L"\\Sub", kPhotos, kPhotos + L"\\2006", kTarget});
        test::WriteBytes(kWork + L"\\Sub\\a.txt", "alpha");
        test::WriteBytes(kWork + L"\\c.txt", "gamma");
        // Over 512 KiB, so that the run paces its progress on a thread of its own.
        test::WriteBytes(kWork + L"\\b.bin", std::string(700 * 1024, 'b'));
        test::WriteBytes(kPhotos + L"\\2006\\p1.jpg", std::string("\xFF\xD8\xFF\x00jpeg", 8));
    }

    static void Click(const BackupDlg& dialog, int id) { test::Click(dialog.Handle(), id); }

    static void Tick(BackupDlg& dialog, const std::wstring& path) {
        CTreeFileCtrl& tree = dialog.SourceTree();
        tree.SetSelectedPath(path, false);
        HTREEITEM item = tree.PathToItem(path);
        ASSERT_NE(item, nullptr) << "no source item for the path";
        tree.SetCheck(item, true);
    }

    static int RunMessage() { return SimStateFile(Folder()).Read()->enclosures.front().runMessage; }

    // Waits until the run has ended and the controls have come back.
    static bool RunEnded(const BackupDlg& dialog) {
        return PumpUntil(
            [&] {
                return dialog.Run().state.backupRunning == 0 &&
                       ::IsWindowEnabled(::GetDlgItem(dialog.Handle(), IDC_COPY));
            },
            30000);
    }

    static void SaveList(const std::wstring& target, const std::vector<std::wstring>& sources) {
        ASSERT_TRUE(
            WindowsFileSystem().WriteFileReplacing(PathListFile(), PathListBytes(target, sources)));
    }

    // The dialog as after a Save of `sources`, its copies going through `through`.
    std::unique_ptr<BackupDlg> OpenSaved(const std::vector<std::wstring>& sources,
                                         RoomyDisks& through) {
        SaveList(kTarget, sources);
        auto dialog = Open({.readVersion = {}, .fileSystem = &through});
        dialog->Run().state.serialCheckArmed = 0;
        return dialog;
    }

    // Presses the button through the control surface once the last press's ticks are over, and
    // waits for the run's box and its end; the box, or none.
    static test::ShownBox PressAndWait(const BackupDlg& dialog,
                                       const test::MessageBoxWatch& boxes) {
        const std::size_t before = boxes.Boxes().size();
        EXPECT_TRUE(PumpUntil([&] { return dialog.deviceLayer.state.pollSkip == 0; }));
        EXPECT_EQ(Control(L"press E"), 0u);
        EXPECT_TRUE(boxes.WaitForBoxes(before + 1, 60000));
        EXPECT_TRUE(RunEnded(dialog));
        const auto shown = boxes.Boxes();
        return shown.size() > before ? shown[before] : test::ShownBox{};
    }

    static std::vector<std::uint8_t> SavedBytes() {
        return ReadFileBytes(PathListFile(), 1 << 20).value_or(std::vector<std::uint8_t>{});
    }

    // Each backup file's last-write and change times: a copy written again moves the second.
    static std::map<std::wstring, std::pair<std::int64_t, std::int64_t>> BackupTimes() {
        std::map<std::wstring, std::pair<std::int64_t, std::int64_t>> times;
        for (const auto& [name, contents] : test::ReadTree(kTarget)) {
            // The catalog and the versions are the program's own, not backup copies.
            if (name.starts_with(kVersionsFolderName)) {
                continue;
            }
            UniqueFileHandle file(::CreateFileW(
                (kTarget + L"\\" + name).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            FILE_BASIC_INFO basic{};
            if (contents != "<folder>" &&
                ::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic))) {
                times[name] = {basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
            }
        }
        return times;
    }

    static std::vector<std::uint8_t> RecordBytes() {
        return ReadFileBytes(BackupRecordFile(), 200).value_or(std::vector<std::uint8_t>{});
    }

    RoomyDisks disks;
};

// The files below the versions folder that hold `contents`.
inline std::vector<std::wstring> KeptWith(const std::string& contents) {
    std::vector<std::wstring> found;
    for (const auto& [name, bytes] : test::ReadTree(kTarget + L"\\" + kVersionsFolderName)) {
        if (bytes == contents) {
            found.push_back(name);
        }
    }
    return found;
}

// A file of the data folder in UTF-16LE, its mark and all; empty when it cannot be read.
inline std::wstring TextOf(const std::wstring& path) {
    const auto bytes = ReadFileBytes(path, 1 << 20).value_or(std::vector<std::uint8_t>{});
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

}  // namespace bexlo
