#include "backup/BackupRecord.h"

#include <gtest/gtest.h>

#include <vector>

#include "backup/Utf16Text.h"

namespace bexlo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16Le(std::u16string_view text) {
    Bytes bytes;
    AppendUtf16Le(bytes, text);
    return bytes;
}

TEST(BackupRecord, IsOneHundredBytesOfTextAndZeros) {
    const BackupRecordBytes record = MakeBackupRecord(BackupType::Copy, 0x1A2B3C4D);
    Bytes expected = Utf16Le(u"BackupType = COPY\n\nSerialNum =  6699 15437");
    ASSERT_EQ(expected.size(), 84u);
    expected.resize(kBackupRecordSize, 0);
    EXPECT_EQ(Bytes(record.begin(), record.end()), expected);

    const BackupRecordBytes sync = MakeBackupRecord(BackupType::Sync, 0x0000FFFF);
    EXPECT_EQ(Utf16TextUpToNul(sync), u"BackupType = SYNC\n\nSerialNum =     0 65535");
    EXPECT_EQ(Utf16TextUpToNul(MakeBackupRecord(BackupType::Copy, 0xFFFF0000)),
              u"BackupType = COPY\n\nSerialNum = 65535     0");
}

TEST(BackupRecord, OnlySyncSelectsSynchronizeAndAMissingFieldReadsNothing) {
    EXPECT_EQ(ParseBackupType(MakeBackupRecord(BackupType::Sync, 1)), BackupType::Sync);
    EXPECT_EQ(ParseBackupType(MakeBackupRecord(BackupType::Copy, 1)), BackupType::Copy);
    EXPECT_EQ(ParseBackupType(Utf16Le(u"BackupType = SYN\n\nSerialNum = ")), BackupType::Copy);
    EXPECT_EQ(ParseBackupType(Utf16Le(u"BackupType = sync\n\nSerialNum = ")), BackupType::Copy);
    EXPECT_EQ(ParseBackupType(Utf16Le(u"SerialNum = BackupType = SYNC")), BackupType::Sync);
    EXPECT_EQ(ParseBackupType(Utf16Le(u"BackupType = SYNC")), std::nullopt);
    EXPECT_EQ(ParseBackupType(Utf16Le(u"SerialNum = 1 2")), std::nullopt);
    EXPECT_EQ(ParseBackupType(Bytes{}), std::nullopt);

    Bytes withBom{0xFF, 0xFE};
    const BackupRecordBytes sync = MakeBackupRecord(BackupType::Sync, 1);
    withBom.insert(withBom.end(), sync.begin(), sync.end());
    // A byte-order mark shifts the serial fields by one character.
    EXPECT_EQ(ParseBackupType(withBom), BackupType::Sync);
    EXPECT_FALSE(RecordMatchesVolume(withBom, 1));

    // Whatever lies past the first 100 bytes is not read.
    Bytes late(kBackupRecordSize, ' ');
    const Bytes tail = Utf16Le(u"BackupType = SYNC\n\nSerialNum = ");
    late.insert(late.end(), tail.begin(), tail.end());
    EXPECT_EQ(ParseBackupType(late), std::nullopt);
}

TEST(BackupRecord, TheVolumeMustMatchBothSerialFieldsWhateverTheType) {
    const BackupRecordBytes record = MakeBackupRecord(BackupType::Sync, 0x1A2B3C4D);
    EXPECT_TRUE(RecordMatchesVolume(record, 0x1A2B3C4D));
    EXPECT_FALSE(RecordMatchesVolume(record, 0x1A2B3C4E));
    EXPECT_FALSE(RecordMatchesVolume(record, 0x1A2C3C4D));
    EXPECT_TRUE(RecordMatchesVolume(MakeBackupRecord(BackupType::Copy, 0x1A2B3C4D), 0x1A2B3C4D));

    // A damaged type of the same length keeps the serial in place.
    Bytes damaged = Utf16Le(u"BackupType = ????\n\nSerialNum =  6699 15437");
    EXPECT_TRUE(RecordMatchesVolume(damaged, 0x1A2B3C4D));
    // A record shorter than 42 characters never matches (an odd last byte reads as a character).
    const Bytes full(record.begin(), record.end());
    for (std::size_t cut = 0; cut < 83; ++cut) {
        EXPECT_FALSE(RecordMatchesVolume(Bytes(full.begin(), full.begin() + cut), 0x1A2B3C4D))
            << cut;
    }
    // CR LF shifts the fields by two characters.
    EXPECT_FALSE(RecordMatchesVolume(Utf16Le(u"BackupType = COPY\r\n\r\nSerialNum =  6699 15437"),
                                     0x1A2B3C4D));
    EXPECT_FALSE(RecordMatchesVolume(Bytes{}, 0));
}

}  // namespace
}  // namespace bexlo
