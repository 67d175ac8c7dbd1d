// The backup record as the main dialog reads it at start.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/BackupDlg.h"
#include "backup/BackupRecord.h"
#include "backup/WindowsFileSystem.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using BackupRecordOnDisk = test::DialogOnMachine;

bool SyncChecked(const BackupDlg& dialog) {
    return ::IsDlgButtonChecked(dialog.Handle(), IDC_SYNC) == BST_CHECKED &&
           ::IsDlgButtonChecked(dialog.Handle(), IDC_COPY) == BST_UNCHECKED;
}

TEST_F(BackupRecordOnDisk, TheRecordRestoresTheBackupTypeAtStart) {
    EXPECT_FALSE(SyncChecked(*Open())) << "no record: Copy";
    ASSERT_TRUE(WindowsFileSystem().WriteFileReplacing(BackupRecordFile(),
                                                       MakeBackupRecord(BackupType::Sync, 1)));
    EXPECT_TRUE(SyncChecked(*Open()));
    test::WriteBytes(BackupRecordFile(), std::string("B\0a\0c\0k\0", 8));
    EXPECT_FALSE(SyncChecked(*Open())) << "an unreadable record leaves Copy";
}

}  // namespace
}  // namespace bexlo
