#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "device/DeviceSeam.h"
#include "framework/Handles.h"

namespace bexlo {

// The device seam on the real machine: drives, the mounted-devices records, volume and
// physical-drive queries and SCSI pass-through through the platform; the vendor libraries loaded
// by their full path from `vendorFolder` (empty: the program's own folder), never by a search.
class WindowsDeviceSeam : public DeviceSeam {
public:
    explicit WindowsDeviceSeam(std::wstring vendorFolder = {});
    ~WindowsDeviceSeam() override;

    std::uint32_t LogicalDrives() override;
    int DriveType(int drive) override;
    int SystemDrive() override;
    bool MountedDevicesAvailable() override;
    std::vector<std::uint8_t> MountedDevice(int drive) override;
    DeviceHandle OpenVolume(int drive) override;
    DeviceHandle OpenPhysicalDrive(int number) override;
    void Close(DeviceHandle device) override;
    int QueryDeviceNumber(DeviceHandle device) override;
    std::vector<std::uint8_t> QueryDeviceDescriptor(DeviceHandle device) override;
    ScsiReply ScsiIn(DeviceHandle drive, const std::vector<std::uint8_t>& cdb, std::uint32_t length,
                     std::uint32_t timeoutSeconds) override;
    ScsiReply ScsiOut(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                      const std::vector<std::uint8_t>& data, std::uint32_t timeoutSeconds) override;

    bool LoadVendorLibrary(VendorLibrary library) override;
    void ReleaseVendorLibraries(bool closeSp216Device) override;
    std::optional<int> X507EnumDevice(const std::string& identity, int option,
                                      std::span<std::uint8_t> letters) override;
    std::optional<int> X507GetGPIO(char driveLetter, std::uint8_t& gpio) override;
    void X507CloseDevice() override;
    std::optional<int> GetDriveList(std::span<std::uint8_t> drives) override;
    std::optional<int> GetUsbIdList(std::span<UsbIdEntry> ids) override;
    std::optional<int> JMGetButtonLayout(const std::string& devicePath,
                                         std::span<std::uint8_t> status) override;
    std::optional<int> JMGetButtonStatus(const std::string& devicePath,
                                         std::span<std::uint8_t> status) override;
    std::optional<int> ATACBExecuteEx(const std::string& devicePath, std::span<std::uint8_t> block,
                                      std::uint16_t& reply, int replyLength, int option) override;
    std::optional<int> JMIdentifyFirmware(DeviceHandle volume, int option, std::uint32_t& code,
                                          std::uint32_t& value) override;
    std::optional<int> JMButtonControl(DeviceHandle physicalDrive, int option,
                                       std::uint8_t& pressed) override;
    std::optional<VendorHandle> EnumDeviceHandle(std::span<std::uint8_t> identity, int option,
                                                 int index) override;
    std::optional<int> Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio,
                                          VendorHandle device) override;
    void CloseDevice() override;

private:
    FARPROC Entry(VendorLibrary library, const char* name);
    UniqueModule& Module(VendorLibrary library) {
        return modules_[static_cast<std::size_t>(library)];
    }

    std::wstring vendorFolder_;
    // By VendorLibrary; null until loaded.
    std::array<UniqueModule, 4> modules_;
};

}  // namespace bexlo
