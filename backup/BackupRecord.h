#pragma once

// SerailNo.txt: how the last successful backup was made (Copy or Synchronize) and the serial
// number of the volume that received it. Exactly 100 bytes of UTF-16LE text and zero bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "backup/FileSystem.h"
#include "framework/DataFolder.h"

namespace bexlo {

inline std::wstring BackupRecordFile() {
    return DataFile(L"SerailNo.txt");
}
inline constexpr std::size_t kBackupRecordSize = 100;

enum class BackupType { Copy, Sync };

using BackupRecordBytes = std::array<std::uint8_t, kBackupRecordSize>;

// What WriteBackupRecord writes (under a temporary name, moved over the old file when complete).
BackupRecordBytes MakeBackupRecord(BackupType type, std::uint32_t volumeSerial);

// ReadBackupType's reading of the file's bytes: nothing when a field name is missing, so the
// radios stay as they are. Any type text other than "SYNC" means Copy.
std::optional<BackupType> ParseBackupType(std::span<const std::uint8_t> bytes);

// CheckBackupVolume's comparison: the record's two serial fields against the volume's. The type
// field is not looked at.
bool RecordMatchesVolume(std::span<const std::uint8_t> bytes, std::uint32_t volumeSerial);

// The record file as the program uses it. Each returns 1 on success, 0 otherwise; a path begins
// with its drive letter.
// The type of the last successful backup; nothing when the file or a field name is missing.
std::optional<BackupType> ReadBackupType(FileSystem& fs);
// After a successful run: the type and the serial of the volume holding `targetPath`.
int WriteBackupRecord(FileSystem& fs, BackupType type, const std::wstring& targetPath);
// Whether a run into `targetPath` goes to the same volume as the last one.
int CheckBackupVolume(FileSystem& fs, const std::wstring& targetPath);

}  // namespace bexlo
