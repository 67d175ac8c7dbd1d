// The data folder as the program finds it under Wine: a Unix link in the prefix shows as a link,
// and every file shows one owner, the Windows folder's. Links are refused here; the owners are
// judged on the host.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/BackupDlg.h"
#include "app/LanguageFiles.h"
#include "backup/BackupRecord.h"
#include "backup/PathList.h"
#include "backup/WindowsFileSystem.h"
#include "framework/WindowsDataFolder.h"
#include "res/resource.h"
#include "tests/win/SimulatorBench.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::Exists;
using Why = FolderVerdict::Why;

const std::wstring kRoot = L"C:\\bexlo-data-check";
const std::wstring kTravenor = kRoot + L"\\Program Files\\Travenor";
const std::wstring kData = kTravenor + L"\\BXL";
const std::wstring kElsewhere = kRoot + L"\\elsewhere";

class DataFolderOnDisk : public testing::Test {
protected:
    void SetUp() override {
        TearDown();
        test::MakeFolders({kRoot, kRoot + L"\\Program Files", kElsewhere});
    }
    void TearDown() override {
        for (const std::wstring& folder : {kData, kTravenor}) {
            if (LookAtFolder(folder).state == FolderLook::State::Link) {
                test::RemoveUnixLink(folder);
            }
        }
        test::RemoveTree(kRoot);
    }
};

TEST_F(DataFolderOnDisk, IsMadeOnlyInsideFoldersThatPassAndALinkOnTheWayIsRefused) {
    EXPECT_TRUE(PrepareDataFolder(kData).Trusted());
    EXPECT_TRUE(Exists(kData));

    test::RemoveTree(kData);
    ASSERT_TRUE(test::MakeUnixLink(kData, kElsewhere));
    FolderVerdict verdict = CheckDataFolder(kData);
    EXPECT_EQ(verdict.why, Why::Link);
    EXPECT_EQ(verdict.folder, kData);
    ASSERT_TRUE(test::RemoveUnixLink(kData));

    test::RemoveTree(kTravenor);
    ASSERT_TRUE(test::MakeUnixLink(kTravenor, kElsewhere));
    verdict = PrepareDataFolder(kData);
    EXPECT_EQ(verdict.why, Why::Link);
    EXPECT_EQ(verdict.folder, kTravenor);
    EXPECT_TRUE(test::ReadTree(kElsewhere).empty()) << "a folder was made through the link";
}

// The program's own data folder is a link to a folder that a program without rights prepared,
// with a saved choice, a Synchronize record and German chosen.
class DataFolderALink : public test::SimulatorBench {
protected:
    void SetUp() override {
        SimulatorBench::SetUp();
        Describe(test::kOneEnclosure);
        test::RemoveTree(kPrepared);
        test::MakeFolders({kPrepared});
        test::WriteBytes(kPrepared + L"\\path.txt", Text(PathListBytes(L"E:\\", {L"C:\\"})));
        const BackupRecordBytes record = MakeBackupRecord(BackupType::Sync, 0xBE7C);
        test::WriteBytes(kPrepared + L"\\SerailNo.txt", Text(record));
        for (const wchar_t* file : {L"UI_String(U).txt", L"Msg_String(U).txt"}) {
            ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"lang\\" + file).c_str(),
                                    (kPrepared + L"\\" + file).c_str(), FALSE));
        }
        test::WriteUtf16File(kPrepared + L"\\Setup.txt",
                             L"[MAIN]\r\nUI_String=German\r\nMsg_String=German\r\n");
        test::RemoveTree(DataFolder());
        ASSERT_TRUE(test::MakeUnixLink(DataFolder(), kPrepared));
    }
    void TearDown() override {
        test::RemoveUnixLink(DataFolder());
        test::RemoveTree(kPrepared);
        PrepareDataFolder();
    }

    template <typename Bytes>
    static std::string Text(const Bytes& bytes) {
        return std::string(bytes.begin(), bytes.end());
    }

    const std::wstring kPrepared = L"C:\\bexlo-prepared";
};

TEST_F(DataFolderALink, NothingSavedIsReadOrWrittenAndStartSaveAndPressEachSayWhy) {
    const auto prepared = test::ReadTree(kPrepared);
    test::MessageBoxWatch boxes;
    auto dialog = Open();
    const HWND window = dialog->Handle();
    ASSERT_TRUE(boxes.WaitForBoxes(1)) << "the start said nothing";
    EXPECT_EQ(::IsDlgButtonChecked(window, IDC_COPY), BST_CHECKED) << "the record was read";
    EXPECT_EQ(test::WindowText(::GetDlgItem(window, IDC_SAVE)).find(L"Merken"), std::wstring::npos)
        << "the language choice was read";

    test::Click(window, IDC_SAVE);
    ASSERT_TRUE(boxes.WaitForBoxes(2)) << "Save said nothing";
    EXPECT_EQ(Control(L"press E"), 0u);
    ASSERT_TRUE(boxes.WaitForBoxes(3, 30000)) << "the press said nothing";
    EXPECT_EQ(dialog->Run().state.backupRunning, 0);

    for (const test::ShownBox& box : boxes.Boxes()) {
        EXPECT_EQ(box.caption, L"Unsafe Folder");
        EXPECT_NE(box.text.find(L"\"" + DataFolder() + L"\"\nIt is a link"), std::wstring::npos)
            << test::Narrow(box.text);
    }
    EXPECT_EQ(test::ReadTree(kPrepared), prepared) << "something was written there";
}

}  // namespace
}  // namespace bexlo
