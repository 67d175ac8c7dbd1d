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
    if (value.size() < kMountedDeviceRecordSize || value.size() > kMountedDeviceBuffer) {
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
        }
    }
    return 1;
}

// Partitions of one disk share the signature; drives without a record all share 0.
void DeviceScanner::MarkSameDisk(int drive) {
    for (int other = drive; other < kDriveCount; ++other) {
        if (record_.diskSignature[other] == record_.diskSignature[drive]) {
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
            if (record_.diskSignature[other] == record_.diskSignature[drive] &&
                record_.partitionOffset[other] == kFirstPartitionOffset) {
                record_.firstPartitions[position] = other;
            }
        }
    }
}

int DeviceScanner::ProbeEsata(std::uint32_t driveMask, int& total) {
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (!DrivePresent(driveMask, drive) || record_.diskSignature[drive] == 0 ||
            record_.targetDriveIncludeFlags[drive] != 0) {
            continue;
        }
        OpenedDevice volume(seam_, seam_.OpenVolume(drive));
        if (!volume.Valid() || GetBusType(volume.Get()) != kBusTypeAta) {
            continue;
        }
        if (!seam_.LoadVendorLibrary(VendorLibrary::JmEsata)) {
            return 0;
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
    return 1;
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
    if (ProbeEsata(mask, total) == 0) {
        return 0;
    }
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

void DeviceScanner::RefreshPhysicalDrives() {
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (record_.driveReported[drive] == 0) {
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
        if (DrivePresent(mask, drive) && record_.driveReported[drive] == 1) {
            record_.physicalDrive[drive] = GetPhysicalDriveNumber(drive);
        }
    }
}

}  // namespace bexlo
