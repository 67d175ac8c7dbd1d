#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/BackupDlg.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

constexpr wchar_t kDialogCaption[] = L"Making New Directory";

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The main dialog on a machine with C: and a family-1 enclosure as E: (mapped by the test's
// environment), whose key answers as `keyByte` says. The new-folder dialog is answered with
// `name` typed into it, or cancelled when `name` is empty.
class NewFolder : public testing::Test {
protected:
    void SetUp() override {
        test::ClearDataFolder();
        test::RemoveTree(kTop);
        test::SetUpMachine(seam, true, 1);
        seam.drives[test::kDriveE].deviceNumber = 1;
        seam.scsi[1] = [this](const std::vector<std::uint8_t>&) {
            return ScsiReply{0, 0, {keyReply, keyByte}, {}};
        };
        dialog = std::make_unique<BackupDlg>(seam);
        ASSERT_TRUE(dialog->Create(nullptr));
        EXPECT_TRUE(test::PumpPosted()) << "waited for the start-up messages";
        // Only the key checks talk to the enclosure from here on.
        ::KillTimer(dialog->Handle(), kPollTimer);
        seam.scsiCalls.clear();
        dialog->newDirDlg.nameEdit.beep = [] {};

        boxes.On(kDialogCaption, [this](HWND newDir) { Answer(newDir); });
    }
    void TearDown() override {
        dialog.reset();
        test::RemoveTree(kTop);
        test::RemoveTree(L"E:\\Night");
    }

    void Answer(HWND newDir) {
        if (name.empty()) {
            ::PostMessageW(newDir, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        HWND edit = ::GetDlgItem(newDir, IDC_NEWDIR_NAME);
        for (wchar_t key : name) {
            ::SendMessageW(edit, WM_CHAR, key, 1);
        }
        if (onOpen) {
            onOpen(newDir);
        }
        ::PostMessageW(newDir, WM_COMMAND, MAKEWPARAM(IDC_NEWDIR_OK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(newDir, IDC_NEWDIR_OK)));
    }

    void Click(int button) const { test::Click(dialog->Handle(), button); }
    int Opened() const { return boxes.Answered(kDialogCaption); }

    static constexpr wchar_t kTop[] = L"C:\\BexloNewFolder";

    testing_device::FakeDeviceSeam seam;
    std::uint8_t keyReply = 2;
    std::uint8_t keyByte = 1;
    std::unique_ptr<BackupDlg> dialog;
    test::MessageBoxWatch boxes;
    std::wstring name;
    std::function<void(HWND)> onOpen;
};

TEST_F(NewFolder, SourceFoldersAreMadeAndListed) {
    dialog->sourceSelection.clear();
    dialog->targetSelection.clear();
    Click(IDC_NEW_SOURCE_DIR);
    Click(IDC_NEW_TARGET_DIR);
    EXPECT_TRUE(test::PumpPosted()) << "waited for the posted messages";
    EXPECT_EQ(Opened(), 0) << "nothing selected, nothing opens";
    EXPECT_TRUE(seam.scsiCalls.empty()) << "no key check either";

    CTreeFileCtrl& tree = dialog->SourceTree();
    ASSERT_NE(tree.PathToItem(L"C:\\"), nullptr);
    dialog->sourceSelection = L"C:\\";
    name = L"BexloNewFolder";
    Click(IDC_NEW_SOURCE_DIR);
    EXPECT_EQ(Opened(), 1);
    EXPECT_TRUE(IsFolder(kTop)) << "C:\\ and the name, with one backslash";
    EXPECT_NE(tree.PathToItem(kTop), nullptr) << "the tree lists it";
    EXPECT_TRUE(seam.scsiCalls.empty()) << "sources have no key check";

    dialog->sourceSelection = kTop;
    name = L"Test";
    Click(IDC_NEW_SOURCE_DIR);
    EXPECT_TRUE(IsFolder(std::wstring(kTop) + L"\\Test"));
    EXPECT_NE(tree.PathToItem(std::wstring(kTop) + L"\\Test"), nullptr);
    EXPECT_TRUE(boxes.Boxes().empty());

    Click(IDC_NEW_SOURCE_DIR);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L"Error Naming File");
    EXPECT_EQ(boxes.Boxes()[0].text, L"The folder name has already exists!");

    dialog->sourceSelection = std::wstring(kTop) + L"\\Missing";
    Click(IDC_NEW_SOURCE_DIR);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].caption, L"Bulid Folder Fail");
    EXPECT_EQ(boxes.Boxes()[1].text, L"The folder can't be built!");

    dialog->sourceSelection = kTop;
    name.clear();
    Click(IDC_NEW_SOURCE_DIR);
    EXPECT_EQ(Opened(), 5);
    EXPECT_EQ(boxes.Boxes().size(), 2u) << "a cancelled dialog makes nothing";
}

TEST_F(NewFolder, TheDestinationsKeyIsCheckedBeforeAndAfterNaming) {
    ASSERT_EQ(dialog->deviceLayer.record.firstPartitionCount, 1);
    ASSERT_EQ(dialog->deviceLayer.record.firstPartitions[0], test::kDriveE);
    dialog->targetSelection = L"E:\\";
    name = L"Night";

    keyByte = 0;
    Click(IDC_NEW_TARGET_DIR);
    EXPECT_EQ(Opened(), 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L"Key Lost");
    EXPECT_EQ(boxes.Boxes()[0].text, L"Please check your Key!");

    keyReply = 1;  // an answer that is no key answer: refused without a box
    Click(IDC_NEW_TARGET_DIR);
    EXPECT_EQ(Opened(), 0);
    EXPECT_EQ(boxes.Boxes().size(), 1u);

    keyReply = 2;
    keyByte = 1;
    seam.scsiCalls.clear();
    Click(IDC_NEW_TARGET_DIR);
    EXPECT_EQ(Opened(), 1);
    EXPECT_TRUE(IsFolder(L"E:\\Night"));
    EXPECT_NE(dialog->TargetTree().PathToItem(L"E:\\Night"), nullptr);
    ASSERT_EQ(seam.scsiCalls.size(), 2u) << "once before the dialog, once after";
    EXPECT_EQ(seam.scsiCalls[0].cdb, ApixCdb(kPollKeyCheck));

    // The key is taken out while the name is typed.
    name = L"Later";
    onOpen = [this](HWND) { keyByte = 0; };
    Click(IDC_NEW_TARGET_DIR);
    EXPECT_EQ(Opened(), 2);
    EXPECT_FALSE(IsFolder(L"E:\\Later"));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].caption, L"Key Lost");
}

}  // namespace
}  // namespace bexlo
