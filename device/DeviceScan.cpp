#include "device/DeviceScan.h"

#include <algorithm>

namespace bexlo {

namespace {

// The eSATA bridge identifies itself by this firmware code.
constexpr std::uint32_t kEsataFirmwareCode = 0xF2;
constexpr std::size_t kScanLetterBuffer = 27;
constexpr std::size_t kBusTypeOffset = 28;

std::uint32_t ReadLe32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

std::optional<MountedDeviceRecord> ParseMountedDevice(const std::vector<std::uint8_t>& value) {
    if (value.size() != kMountedDeviceRecordSize) {
        return std::nullopt;
    }
    MountedDeviceRecord record;
    record.diskSignature = ReadLe32(value, 0);
    record.partitionOffset = ReadLe32(value, 4) | static_cast<std::uint64_t>(ReadLe32(value, 8))
                                                      << 32;
    return record;
}

int BusTypeFromDescriptor(const std::vector<std::uint8_t>& descriptor) {
    if (descriptor.size() < kBusTypeOffset + 4) {
        return -1;
    }
    return static_cast<int>(ReadLe32(descriptor, kBusTypeOffset));
}

std::vector<int> EnumerateDriveLetters(DeviceSeam& seam, const char* identity,
                                       std::size_t bufferSize) {
    std::vector<std::uint8_t> letters(bufferSize, 0);
    const int written = seam.X507EnumDevice(identity, 1, letters).value_or(0);
    const int count = std::clamp(written, 0, static_cast<int>(bufferSize));
    std::vector<int> drives;
    for (int position = 0; position < count; ++position) {
        if (letters[position] >= 'A' && letters[position] <= 'Z') {
            drives.push_back(letters[position] - 'A');
        }
    }
    return drives;
}

bool DrivePresent(std::uint32_t driveMask, int drive) {
    return drive >= 0 && drive < kLetterCount && (driveMask >> drive & 1) != 0;
}

int DeviceScanner::ReadMountedDevices() {
    record_.diskSignature.fill(0);
    record_.partitionOffset.fill(0);
    record_.hasDiskRecord.fill(0);
    if (!seam_.MountedDevicesAvailable()) {
        return 0;
    }
    const std::uint32_t mask = seam_.LogicalDrives();
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (!DrivePresent(mask, drive) || seam_.DriveType(drive) != kDriveTypeFixed) {
            continue;
        }
        if (auto found = ParseMountedDevice(seam_.MountedDevice(drive))) {
            record_.diskSignature[drive] = found->diskSignature;
            record_.partitionOffset[drive] = found->partitionOffset;
            record_.hasDiskRecord[drive] = 1;
        }
    }
    return 1;
}

void DeviceScanner::ReadDiskNumbers() {
    record_.diskNumber.fill(-1);
    const std::uint32_t mask = seam_.LogicalDrives();
    for (int drive = 0; drive < kLetterCount; ++drive) {
        if (DrivePresent(mask, drive) && seam_.DriveType(drive) == kDriveTypeFixed) {
            record_.diskNumber[drive] = GetPhysicalDriveNumber(drive);
        }
    }
}

bool DeviceScanner::OnSameDisk(int drive, int other) const {
    if (other == drive) {
        return true;
    }
    const int number = record_.diskNumber[drive];
    const bool systemKnown = systemDrive_ >= 0 && systemDrive_ < kDriveCount;
    const bool numbersTell =
        number >= 0 && (!systemKnown || record_.diskNumber[systemDrive_] != number);
    if (numbersTell) {
        return record_.diskNumber[other] == number;
    }
    return record_.hasDiskRecord[drive] == 1 && record_.hasDiskRecord[other] == 1 &&
           record_.diskSignature[other] == record_.diskSignature[drive];
}

// Every letter of the enclosure's disk belongs to the destination side.
void DeviceScanner::MarkSameDisk(int drive) {
    for (int other = 0; other < kDriveCount; ++other) {
        if (OnSameDisk(drive, other)) {
            record_.targetDriveIncludeFlags[other] = 1;
        }
    }
}

void DeviceScanner::ReportUsbLetters(int family, const std::vector<int>& drives) {
    const int count = static_cast<int>(drives.size());
    for (int position = 0; position < count; ++position) {
        const int drive = drives[position];
        record_.driveFamily[drive] = family;
        record_.driveReported[drive] = 1;
        MarkSameDisk(drive);
        if (family != 1) {
            continue;
        }
        record_.firstPartitionCount = std::min(count, kFirstPartitionSlots);
        for (int other = drive; other < kDriveCount && position < kFirstPartitionSlots; ++other) {
            if (OnSameDisk(drive, other) && record_.hasDiskRecord[other] == 1 &&
                record_.partitionOffset[other] == kFirstPartitionOffset) {
                record_.firstPartitions[position] = other;
            }
        }
    }
}

void DeviceScanner::ProbeEsata(std::uint32_t driveMask, int& total) {
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (!DrivePresent(driveMask, drive) ||
            (record_.hasDiskRecord[drive] == 0 && record_.diskNumber[drive] < 0) ||
            record_.targetDriveIncludeFlags[drive] != 0) {
            continue;
        }
        OpenedDevice volume(seam_, seam_.OpenVolume(drive));
        if (!volume.Valid() || GetBusType(volume.Get()) != kBusTypeAta) {
            continue;
        }
        // Without the library no drive can be asked: the eSATA family reports no device and
        // the others stand as they are.
        if (!seam_.LoadVendorLibrary(VendorLibrary::JmEsata)) {
            return;
        }
        std::uint32_t code = 0;
        std::uint32_t value = 0;
        const int identified = seam_.JMIdentifyFirmware(volume.Get(), 1, code, value).value_or(0);
        if (identified != 0 && code == kEsataFirmwareCode) {
            record_.driveFamily[drive] = kEsataFamily;
            record_.driveReported[drive] = 1;
            MarkSameDisk(drive);
            ++total;
            ++record_.familyCount[kEsataFamily];
        }
    }
}

int DeviceScanner::ScanDevices() {
    record_.backupDrive = 0;
    record_.firstPartitionCount = 0;
    record_.defaultTarget.clear();
    record_.familyCount.fill(0);
    record_.firstPartitions.fill(0);
    record_.driveFamily.fill(0);
    record_.driveReported.fill(0);
    record_.targetDriveIncludeFlags.fill(0);
    record_.sourceDriveIncludeFlags.fill(0);

    ReadMountedDevices();
    systemDrive_ = seam_.SystemDrive();
    ReadDiskNumbers();

    int total = 0;
    for (int family = 1; family <= kUsbFamilyCount; ++family) {
        const std::vector<int> drives =
            EnumerateDriveLetters(seam_, kFamilyIdentities[family - 1], kScanLetterBuffer);
        ReportUsbLetters(family, drives);
        seam_.X507CloseDevice();
        record_.familyCount[family] = static_cast<int>(drives.size());
        total += static_cast<int>(drives.size());
    }

    const std::uint32_t mask = seam_.LogicalDrives();
    ProbeEsata(mask, total);
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (DrivePresent(mask, drive) && record_.targetDriveIncludeFlags[drive] == 0) {
            record_.sourceDriveIncludeFlags[drive] = 1;
        }
    }

    if (total == 0) {
        return 0;
    }
    const auto first = std::find(record_.driveReported.begin(), record_.driveReported.end(), 1);
    record_.backupDrive = static_cast<int>(first - record_.driveReported.begin());
    record_.defaultTarget =
        std::wstring(1, static_cast<wchar_t>(DriveLetter(record_.backupDrive))) + L":\\" +
        kBackupFolderName;
    return 1;
}

int DeviceScanner::GetPhysicalDriveNumber(int drive) {
    if (drive < 0 || drive >= kLetterCount) {
        return -1;
    }
    OpenedDevice volume(seam_, seam_.OpenVolume(drive));
    if (!volume.Valid()) {
        return -1;
    }
    const int number = seam_.QueryDeviceNumber(volume.Get());
    return number >= 0 ? number : -1;
}

int DeviceScanner::GetBusType(DeviceHandle volume) {
    return BusTypeFromDescriptor(seam_.QueryDeviceDescriptor(volume));
}

bool DeviceScanner::IsAskedDrive(int drive) const {
    if (record_.driveReported[drive] == 1) {
        return true;
    }
    // The key is asked through its own partition, which may be another letter of the disk.
    const int keys = std::clamp(record_.firstPartitionCount, 0, kFirstPartitionSlots);
    return std::find(record_.firstPartitions.begin(), record_.firstPartitions.begin() + keys,
                     drive) != record_.firstPartitions.begin() + keys;
}

void DeviceScanner::RefreshPhysicalDrives() {
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (!IsAskedDrive(drive)) {
            record_.physicalDrive[drive] = -1;
        } else if (record_.physicalDrive[drive] == -1) {
            record_.physicalDrive[drive] = GetPhysicalDriveNumber(drive);
        }
    }
}

void DeviceScanner::LookUpPhysicalDrives() {
    record_.physicalDrive.fill(-1);
    const std::uint32_t mask = seam_.LogicalDrives();
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (DrivePresent(mask, drive) && IsAskedDrive(drive)) {
            record_.physicalDrive[drive] = GetPhysicalDriveNumber(drive);
        }
    }
}

}  // namespace bexlo
