#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace bexlo {

// Drive numbers run 0 = A to 25 = Z; every per-drive table has one spare entry, 26, which is
// never a present drive.
inline constexpr int kDriveCount = 27;
inline constexpr int kLetterCount = 26;

// Families 1..9 are USB bridges found by their identity, 10 is the eSATA bridge.
inline constexpr int kFamilyCount = 10;
inline constexpr int kUsbFamilyCount = 9;
inline constexpr int kEsataFamily = 10;

// The USB identities of families 1..9, in family order, exactly as the enumeration expects them.
inline constexpr std::array<const char*, kUsbFamilyCount> kFamilyIdentities = {
    "USB\\VID_0402&PID_5627", "USB\\VID_0402&PID_5637", "USB\\VID_067B&PID_2506",
    "USB\\VID_067B&PID_2507", "USB\\VID_13FD&PID_1650", "USB\\VID_152D&PID_2336",
    "USB\\VID_152D&PID_2338", "USB\\VID_04FC&PID_0C15", "USB\\VID_04FC&PID_0C25",
};

// Family-1 enclosures keep their key partition first on the disk, at the classic 63-sector start.
inline constexpr std::uint64_t kFirstPartitionOffset = 32256;
inline constexpr int kFirstPartitionSlots = 5;

inline constexpr wchar_t kBackupFolderName[] = L"FilesBackup";

// Where the supported enclosures are, as the last scan found them.
struct DeviceRecord {
    DeviceRecord() { physicalDrive.fill(-1); }

    int backupDrive = 0;
    int firstPartitionCount = 0;
    std::array<int, kFamilyCount + 1> familyCount{};  // indexed by family; entry 0 unused
    std::array<int, kFirstPartitionSlots> firstPartitions{};
    std::array<int, kDriveCount> physicalDrive{};
    std::array<int, kDriveCount> driveFamily{};
    std::array<int, kDriveCount> driveReported{};
    std::array<std::uint32_t, kDriveCount> diskSignature{};
    std::array<std::uint64_t, kDriveCount> partitionOffset{};
    // The drive has a classic 12-byte mounted-devices record: its signature and offset mean
    // something. A GPT partition's record, or one of another form, matches no other drive.
    std::array<int, kDriveCount> hasDiskRecord{};
    // The storage device number of the disk the drive lies on; -1 unknown.
    std::array<int, kDriveCount> diskNumber{};
    std::wstring defaultTarget;

    // The two trees' DriveIncludeFlags: the destination tree lists the drives on supported
    // disks, the source tree every other present drive. The dialog copies them after a scan.
    std::array<int, kDriveCount> targetDriveIncludeFlags{};
    std::array<int, kDriveCount> sourceDriveIncludeFlags{};
};

inline char DriveLetter(int drive) {
    return static_cast<char>('A' + drive);
}

}  // namespace bexlo
