#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "device/DeviceSeam.h"
#include "sim/SimState.h"

namespace bexlo {

// What the four vendor libraries answer for the described enclosures; the stand-in libraries
// are thin wrappers around it. Each bridge reports the first drive letter of its enclosure,
// and a pending press is taken off the enclosure as soon as a call reports it; a silent bridge
// is not reported and answers nothing.
class SimulatedVendor {
public:
    explicit SimulatedVendor(SimStateAccess& state) : state_(state) {}

    // "PLx507.dll".
    int X507EnumDevice(std::string_view identity, int option, std::span<std::uint8_t> letters);
    int X507GetGPIO(char driveLetter, std::uint8_t& gpio);

    // "JMUsbDll.dll".
    int GetDriveList(std::span<std::uint8_t> drives);
    int GetUsbIdList(std::span<UsbIdEntry> ids);
    int JMGetButtonLayout(std::string_view devicePath, std::span<std::uint8_t> status);
    int JMGetButtonStatus(std::string_view devicePath, std::span<std::uint8_t> status);
    int ATACBExecuteEx(std::string_view devicePath, std::span<const std::uint8_t> block,
                       std::uint16_t& reply, int replyLength, int option);

    // "JMESata.dll", on the simulated handles of SimulatedHardware.
    int JMIdentifyFirmware(DeviceHandle volume, int option, std::uint32_t& code,
                           std::uint32_t& value);
    int JMButtonControl(DeviceHandle physicalDrive, int option, std::uint8_t& pressed);

    // "sp216.dll".
    VendorHandle EnumDeviceHandle(std::span<const std::uint8_t> identity, int option, int index);
    // A reported press stays latched on its device, so a second read before CloseDevice sees
    // it again without taking another press.
    int Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio, VendorHandle device);
    void CloseDevice() { latched_ = kNoVendorDevice; }

    // The device path "JMUsbDll.dll" lists for an enclosure.
    static std::string UsbDevicePath(const SimEnclosure& enclosure);

private:
    // Reports and takes one pending press of the first answering enclosure that `pick` selects;
    // false when it has none or none is selected. `found` tells whether one was selected.
    template <typename Pick>
    bool TakePress(Pick pick, bool& found);

    SimStateAccess& state_;
    VendorHandle latched_ = kNoVendorDevice;
};

}  // namespace bexlo
