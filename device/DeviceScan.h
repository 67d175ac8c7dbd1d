#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device/DeviceRecord.h"
#include "device/DeviceSeam.h"

namespace bexlo {

// What a mounted-devices value says about a partition of a disk with a classic partition table.
struct MountedDeviceRecord {
    std::uint32_t diskSignature = 0;
    std::uint64_t partitionOffset = 0;
};

// A partition of a classic partitioned disk has a record of exactly 12 bytes. A GPT partition's
// is "DMIO:ID:" and a 16-byte GUID, and other systems keep other forms (Wine a path): none of
// those tells a disk apart.
inline constexpr std::size_t kMountedDeviceRecordSize = 12;

std::optional<MountedDeviceRecord> ParseMountedDevice(const std::vector<std::uint8_t>& value);

// The bus-type field of a storage device descriptor, or -1 when the descriptor is too short.
int BusTypeFromDescriptor(const std::vector<std::uint8_t>& descriptor);

// The drive numbers that X507EnumDevice reports for a USB identity, in reporting order. A count
// beyond the buffer and bytes other than 'A'..'Z' are dropped.
std::vector<int> EnumerateDriveLetters(DeviceSeam& seam, const char* identity,
                                       std::size_t bufferSize);

// The drives present in a logical-drive mask; only the 26 letters can be present.
bool DrivePresent(std::uint32_t driveMask, int drive);

// Finds the supported enclosures and maps them to drive letters and physical drives.
class DeviceScanner {
public:
    DeviceScanner(DeviceSeam& seam, DeviceRecord& record) : seam_(seam), record_(record) {}

    // 1 when at least one supported device was found, else 0. Rebuilds the whole record except
    // physicalDrive.
    int ScanDevices();
    // Fills diskSignature, partitionOffset and hasDiskRecord; 1 when the registry key could be
    // opened.
    int ReadMountedDevices();
    // Fills diskNumber for every present fixed drive.
    void ReadDiskNumbers();
    // Whether `other` lies on the same disk as the enclosure drive `drive`: by the storage device
    // numbers where they tell disks apart (the system drive never lies on an enclosure), else by
    // the classic records.
    bool OnSameDisk(int drive, int other) const;
    int GetPhysicalDriveNumber(int drive);
    int GetBusType(DeviceHandle volume);
    // Brings physicalDrive up to date with driveReported; run on every device-change event.
    void RefreshPhysicalDrives();
    // At dialog start, once a device is found: look up every reported drive afresh.
    void LookUpPhysicalDrives();

private:
    void MarkSameDisk(int drive);
    // A drive whose physical drive the poll opens: a reported one, or a key partition.
    bool IsAskedDrive(int drive) const;
    void ReportUsbLetters(int family, const std::vector<int>& drives);
    void ProbeEsata(std::uint32_t driveMask, int& total);

    DeviceSeam& seam_;
    DeviceRecord& record_;
    int systemDrive_ = -1;
};

}  // namespace bexlo
