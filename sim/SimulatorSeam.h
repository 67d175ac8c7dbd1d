#pragma once

#include <string>

#include "device/WindowsDeviceSeam.h"
#include "sim/SimStateFile.h"
#include "sim/SimulatedHardware.h"

namespace bexlo {

// The device seam of a program run on the simulator: the hardware is the enclosures described
// in `simulatorFolder`, and the vendor libraries are the stand-ins loaded from that folder
// through the ordinary loading path.
class SimulatorSeam : public WindowsDeviceSeam {
public:
    explicit SimulatorSeam(const std::wstring& simulatorFolder);

    std::uint32_t LogicalDrives() override { return hardware_.LogicalDrives(); }
    int DriveType(int drive) override { return hardware_.DriveType(drive); }
    bool MountedDevicesAvailable() override { return true; }
    std::vector<std::uint8_t> MountedDevice(int drive) override {
        return hardware_.MountedDevice(drive);
    }
    DeviceHandle OpenVolume(int drive) override { return hardware_.OpenVolume(drive); }
    DeviceHandle OpenPhysicalDrive(int number) override {
        return hardware_.OpenPhysicalDrive(number);
    }
    void Close(DeviceHandle device) override { hardware_.Close(device); }
    int QueryDeviceNumber(DeviceHandle device) override {
        return hardware_.QueryDeviceNumber(device);
    }
    std::vector<std::uint8_t> QueryDeviceDescriptor(DeviceHandle device) override {
        return hardware_.QueryDeviceDescriptor(device);
    }
    ScsiReply ScsiIn(DeviceHandle drive, const std::vector<std::uint8_t>& cdb, std::uint32_t length,
                     std::uint32_t) override {
        return hardware_.ScsiIn(drive, cdb, length);
    }
    ScsiReply ScsiOut(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                      const std::vector<std::uint8_t>& data, std::uint32_t) override {
        return hardware_.ScsiOut(drive, cdb, data);
    }

private:
    // The machine's own drives, as the base seam sees them.
    class Platform : public SimPlatform {
    public:
        explicit Platform(SimulatorSeam& seam) : seam_(seam) {}
        std::uint32_t LogicalDrives() override { return seam_.WindowsDeviceSeam::LogicalDrives(); }
        int DriveType(int drive) override { return seam_.WindowsDeviceSeam::DriveType(drive); }

    private:
        SimulatorSeam& seam_;
    };

    SimStateFile state_;
    Platform platform_{*this};
    SimulatedHardware hardware_{state_, platform_};
};

}  // namespace bexlo
