// The backup record as the main dialog reads, writes and checks it, on mapped drives whose
// volume serials are known: E: 0x0000BE7C, F: 0x0000FFFF.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/BackupDlg.h"
#include "backup/BackupRecord.h"
#include "backup/WindowsFileSystem.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

// The record's text as it stands in the file, without the zero bytes after it.
std::wstring RecordText() {
    const auto bytes = ReadFileBytes(kBackupRecordFile, 1000);
    std::wstring text;
    for (size_t i = 0; bytes && i + 1 < bytes->size(); i += 2) {
        const wchar_t c = static_cast<wchar_t>((*bytes)[i] | ((*bytes)[i + 1] << 8));
        if (c == L'\0') {
            break;
        }
        text += c;
    }
    return text;
}

class BackupRecordOnDisk : public test::DialogOnMachine {
protected:
    static bool SyncChecked(const BackupDlg& dialog) {
        return ::IsDlgButtonChecked(dialog.Handle(), IDC_SYNC) == BST_CHECKED &&
               ::IsDlgButtonChecked(dialog.Handle(), IDC_COPY) == BST_UNCHECKED;
    }
};

TEST_F(BackupRecordOnDisk, TheRecordRestoresTheBackupTypeAtStart) {
    EXPECT_FALSE(SyncChecked(*Open())) << "no record: Copy";
    ASSERT_TRUE(WriteFileReplacing(kBackupRecordFile, MakeBackupRecord(BackupType::Sync, 1)));
    EXPECT_TRUE(SyncChecked(*Open()));
    test::WriteBytes(kBackupRecordFile, std::string("B\0a\0c\0k\0", 8));
    EXPECT_FALSE(SyncChecked(*Open())) << "an unreadable record leaves Copy";
}

TEST_F(BackupRecordOnDisk, ARecordWrittenForOneVolumeChecksOnlyThatVolume) {
    WindowsFileSystem disks;
    EXPECT_EQ(CheckBackupVolume(disks, L"E:\\FilesBackup"), 0) << "no record yet";

    ASSERT_EQ(WriteBackupRecord(disks, BackupType::Sync, L"F:\\FilesBackup"), 1);
    EXPECT_EQ(RecordText(), L"BackupType = SYNC\n\nSerialNum =     0 65535");
    EXPECT_EQ(ReadFileBytes(kBackupRecordFile, 1000)->size(), kBackupRecordSize);
    EXPECT_EQ(CheckBackupVolume(disks, L"F:\\Elsewhere"), 1);
    EXPECT_EQ(CheckBackupVolume(disks, L"E:\\FilesBackup"), 0) << "another volume";

    ASSERT_EQ(WriteBackupRecord(disks, BackupType::Copy, L"E:\\FilesBackup"), 1);
    EXPECT_EQ(RecordText(), L"BackupType = COPY\n\nSerialNum =     0 48764");
    EXPECT_EQ(CheckBackupVolume(disks, L"E:\\"), 1);
    EXPECT_EQ(WriteBackupRecord(disks, BackupType::Copy, L"Q:\\FilesBackup"), 0) << "no such drive";
    EXPECT_EQ(CheckBackupVolume(disks, L"Q:\\FilesBackup"), 0);

    test::WriteBytes(kBackupRecordFile, std::string("B\0", 2));
    EXPECT_EQ(CheckBackupVolume(disks, L"E:\\"), 0) << "a short record";
}

}  // namespace
}  // namespace bexlo
