#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "device/DeviceSeam.h"
#include "sim/SimState.h"

namespace bexlo {

// Simulated handles name what they open, so the stand-in vendor libraries can decode the
// handles the program passes them. They never reach the kernel.
inline constexpr DeviceHandle kSimVolumeHandleBase = 0x5100;    // + drive number
inline constexpr DeviceHandle kSimPhysicalHandleBase = 0x5200;  // + physical drive number
inline constexpr VendorHandle kSimSp216HandleBase = 0x5300;     // + family * 16 + device index

// The drive number a simulated volume handle opens, or -1.
int SimVolumeOf(DeviceHandle handle);
// The physical drive number a simulated physical-drive handle opens, or -1.
int SimPhysicalOf(DeviceHandle handle);

// Every drive that is no enclosure's lies on one plain ATA system disk: physical drive 0 with
// this signature, so it never matches an enclosure and is probed as eSATA like a real disk.
inline constexpr std::uint32_t kSimSystemDiskSignature = 0x5157D15C;
inline constexpr int kSimSystemDiskPhysical = 0;

// The drives the machine itself has.
class SimPlatform {
public:
    virtual ~SimPlatform() = default;
    virtual std::uint32_t LogicalDrives() = 0;
    virtual int DriveType(int drive) = 0;
};

// The hardware half of the device seam, answered as the described enclosures would: drive list
// and types, mounted-devices records, volume and physical-drive queries, and the SCSI commands
// of families 1, 2 and 5 (refused while the bridge is silent).
class SimulatedHardware {
public:
    SimulatedHardware(SimStateAccess& state, SimPlatform& platform)
        : state_(state), platform_(platform) {}

    // The machine's drives without the letters of detached enclosures.
    std::uint32_t LogicalDrives();
    int DriveType(int drive);
    std::vector<std::uint8_t> MountedDevice(int drive);
    DeviceHandle OpenVolume(int drive);
    DeviceHandle OpenPhysicalDrive(int number);
    void Close(DeviceHandle device);
    int QueryDeviceNumber(DeviceHandle device);
    std::vector<std::uint8_t> QueryDeviceDescriptor(DeviceHandle device);
    ScsiReply ScsiIn(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                     std::uint32_t length);
    ScsiReply ScsiOut(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                      const std::vector<std::uint8_t>& data);

    // Handles handed out and not yet closed.
    int OpenHandles() const { return openHandles_; }

private:
    // Answers one CDB as the enclosure on `physical` would; `data` is the block written.
    ScsiReply Execute(int physical, const std::vector<std::uint8_t>& cdb,
                      const std::vector<std::uint8_t>* data);

    SimStateAccess& state_;
    SimPlatform& platform_;
    std::atomic<int> openHandles_{0};
};

}  // namespace bexlo
