#include "backup/BackupRecord.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

constexpr std::u16string_view kTypeField = u"BackupType = ";
constexpr std::u16string_view kSerialField = u"SerialNum = ";
constexpr std::size_t kHighSerialAt = 31;
constexpr std::size_t kLowSerialAt = 37;
constexpr std::size_t kSerialDigits = 5;

// The "%5d" form of a 16-bit half.
std::u16string FiveDigits(std::uint32_t value) {
    std::u16string text(kSerialDigits, u' ');
    std::size_t at = kSerialDigits;
    do {
        text[--at] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0 && at > 0);
    return text;
}

// "%5d %5d" of the high and low halves.
std::u16string SerialText(std::uint32_t serial) {
    return FiveDigits(serial >> 16) + u" " + FiveDigits(serial & 0xFFFF);
}

std::u16string RecordText(std::span<const std::uint8_t> bytes) {
    return Utf16TextUpToNul(bytes.first(std::min(bytes.size(), kBackupRecordSize)));
}

}  // namespace

BackupRecordBytes MakeBackupRecord(BackupType type, std::uint32_t volumeSerial) {
    std::u16string text(kTypeField);
    text += type == BackupType::Sync ? u"SYNC" : u"COPY";
    text += u"\n\n";
    text += kSerialField;
    text += SerialText(volumeSerial);

    std::vector<std::uint8_t> encoded;
    AppendUtf16Le(encoded, text);
    BackupRecordBytes record{};
    std::copy(encoded.begin(), encoded.end(), record.begin());
    return record;
}

std::optional<BackupType> ParseBackupType(std::span<const std::uint8_t> bytes) {
    const std::u16string text = RecordText(bytes);
    const std::size_t type = text.find(kTypeField);
    if (type == std::u16string::npos || text.find(kSerialField) == std::u16string::npos) {
        return std::nullopt;
    }
    return std::u16string_view(text).substr(type + kTypeField.size(), 4) == u"SYNC"
               ? BackupType::Sync
               : BackupType::Copy;
}

bool RecordMatchesVolume(std::span<const std::uint8_t> bytes, std::uint32_t volumeSerial) {
    const std::u16string text = RecordText(bytes);
    if (text.size() < kLowSerialAt + kSerialDigits) {
        return false;
    }
    const std::u16string serial = SerialText(volumeSerial);
    return text.compare(kHighSerialAt, kSerialDigits, serial, 0, kSerialDigits) == 0 &&
           text.compare(kLowSerialAt, kSerialDigits, serial, kSerialDigits + 1, kSerialDigits) == 0;
}

std::optional<BackupType> ReadBackupType(FileSystem& fs) {
    const auto bytes = fs.ReadFileBytes(BackupRecordFile(), kBackupRecordSize);
    return bytes ? ParseBackupType(*bytes) : std::nullopt;
}

int WriteBackupRecord(FileSystem& fs, BackupType type, const std::wstring& targetPath) {
    const std::optional<std::uint32_t> serial = fs.VolumeSerial(targetPath);
    return serial && fs.WriteFileReplacing(BackupRecordFile(), MakeBackupRecord(type, *serial)) ? 1
                                                                                                : 0;
}

int CheckBackupVolume(FileSystem& fs, const std::wstring& targetPath) {
    const std::optional<std::uint32_t> serial = fs.VolumeSerial(targetPath);
    if (!serial) {
        return 0;
    }
    const auto bytes = fs.ReadFileBytes(BackupRecordFile(), kBackupRecordSize);
    return bytes && RecordMatchesVolume(*bytes, *serial) ? 1 : 0;
}

}  // namespace bexlo
