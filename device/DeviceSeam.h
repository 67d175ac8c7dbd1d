#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bexlo {

// An open volume or physical drive, as the backend names it.
using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kNoDevice = -1;

// A device handle handed out by "sp216.dll"; -1 means no device at that index.
using VendorHandle = std::intptr_t;
inline constexpr VendorHandle kNoVendorDevice = -1;

inline constexpr int kDriveTypeFixed = 3;
inline constexpr int kBusTypeAta = 3;
inline constexpr int kBusTypeUsb = 7;

enum class VendorLibrary { Plx507, JmUsb, JmEsata, Sp216 };

// One device path of "JMUsbDll.dll"'s list, NUL-terminated when shorter than the entry.
using UsbIdEntry = std::array<char, 64>;
inline constexpr int kUsbIdEntries = 20;

// The outcome of one SCSI pass-through exchange.
struct ScsiReply {
    int error = 0;  // 0, or the platform's error code when the request itself failed
    std::uint8_t scsiStatus = 0;
    std::vector<std::uint8_t> data;  // the bytes the device returned (data-in only)
    std::vector<std::uint8_t> sense;
};

// Everything the device layer needs from the machine: drives, the mounted-devices records,
// volume and physical-drive queries, SCSI pass-through and the vendor libraries. The Windows
// backend makes the real calls, the simulator answers as enclosures would, tests script it.
// Device-change events come from the window that receives them, so they have no method here.
class DeviceSeam {
public:
    virtual ~DeviceSeam() = default;

    // Bit n set for each present drive n.
    virtual std::uint32_t LogicalDrives() = 0;
    // The platform's drive type of the root "%hc:\" (3 = fixed).
    virtual int DriveType(int drive) = 0;
    // The drive Windows runs from; -1 when it cannot be told.
    virtual int SystemDrive() = 0;

    // False when "SYSTEM\MountedDevices" cannot be opened.
    virtual bool MountedDevicesAvailable() = 0;
    // The whole value "\DosDevices\%hc:"; empty when it cannot be read.
    virtual std::vector<std::uint8_t> MountedDevice(int drive) = 0;

    // "\\.\%hc:" and "\\.\PhysicalDrive%d", read/write, shared read/write, existing only;
    // kNoDevice on failure. Every handle handed out is given back to Close.
    virtual DeviceHandle OpenVolume(int drive) = 0;
    virtual DeviceHandle OpenPhysicalDrive(int number) = 0;
    virtual void Close(DeviceHandle device) = 0;

    // The device number of the storage device-number query, or -1.
    virtual int QueryDeviceNumber(DeviceHandle device) = 0;
    // The device descriptor of the standard storage device-property query; empty on failure.
    virtual std::vector<std::uint8_t> QueryDeviceDescriptor(DeviceHandle device) = 0;

    // One CDB (its size is the CDB length sent) with `length` bytes read from the device.
    virtual ScsiReply ScsiIn(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                             std::uint32_t length, std::uint32_t timeoutSeconds) = 0;
    // One CDB with the data block written to the device.
    virtual ScsiReply ScsiOut(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                              const std::vector<std::uint8_t>& data,
                              std::uint32_t timeoutSeconds) = 0;

    // Finds the library among the loaded modules or loads it; false when it cannot be loaded.
    // "PLx507.dll" is bound at start, so only the other three are asked for.
    virtual bool LoadVendorLibrary(VendorLibrary library) = 0;
    // The close paths release "sp216.dll", after its CloseDevice when `closeSp216Device`, and
    // "JMUsbDll.dll"; the others stay for the life of the program.
    virtual void ReleaseVendorLibraries(bool closeSp216Device) = 0;

    // The vendor entry points, with their arguments as the libraries take them. Each answers
    // std::nullopt when its library or the entry point is missing, and then touches no buffer.
    virtual std::optional<int> X507EnumDevice(const std::string& identity, int option,
                                              std::span<std::uint8_t> letters) = 0;
    virtual std::optional<int> X507GetGPIO(char driveLetter, std::uint8_t& gpio) = 0;
    virtual void X507CloseDevice() = 0;

    virtual std::optional<int> GetDriveList(std::span<std::uint8_t> drives) = 0;
    virtual std::optional<int> GetUsbIdList(std::span<UsbIdEntry> ids) = 0;
    virtual std::optional<int> JMGetButtonLayout(const std::string& devicePath,
                                                 std::span<std::uint8_t> status) = 0;
    virtual std::optional<int> JMGetButtonStatus(const std::string& devicePath,
                                                 std::span<std::uint8_t> status) = 0;
    virtual std::optional<int> ATACBExecuteEx(const std::string& devicePath,
                                              std::span<std::uint8_t> block, std::uint16_t& reply,
                                              int replyLength, int option) = 0;

    virtual std::optional<int> JMIdentifyFirmware(DeviceHandle volume, int option,
                                                  std::uint32_t& code, std::uint32_t& value) = 0;
    virtual std::optional<int> JMButtonControl(DeviceHandle physicalDrive, int option,
                                               std::uint8_t& pressed) = 0;

    virtual std::optional<VendorHandle> EnumDeviceHandle(std::span<std::uint8_t> identity,
                                                         int option, int index) = 0;
    virtual std::optional<int> Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio,
                                                  VendorHandle device) = 0;
    virtual void CloseDevice() = 0;
};

// Owns one handle from the seam for the length of one exchange.
class OpenedDevice {
public:
    OpenedDevice(DeviceSeam& seam, DeviceHandle handle) : seam_(seam), handle_(handle) {}
    ~OpenedDevice() {
        if (handle_ != kNoDevice) {
            seam_.Close(handle_);
        }
    }
    OpenedDevice(const OpenedDevice&) = delete;
    OpenedDevice& operator=(const OpenedDevice&) = delete;

    DeviceHandle Get() const { return handle_; }
    bool Valid() const { return handle_ != kNoDevice; }

private:
    DeviceSeam& seam_;
    DeviceHandle handle_;
};

}  // namespace bexlo
