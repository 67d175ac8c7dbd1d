#include "sim/SimulatedVendor.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim/SimulatedHardware.h"

namespace bexlo {

namespace {

// The USB identities the PLx507 enumeration knows, for families 1..9 in order.
constexpr std::array<std::string_view, 9> kIdentities = {
    "USB\\VID_0402&PID_5627", "USB\\VID_0402&PID_5637", "USB\\VID_067B&PID_2506",
    "USB\\VID_067B&PID_2507", "USB\\VID_13FD&PID_1650", "USB\\VID_152D&PID_2336",
    "USB\\VID_152D&PID_2338", "USB\\VID_04FC&PID_0C15", "USB\\VID_04FC&PID_0C25",
};

// PLx507 GPIO: bit 4 is high while the button is up, bit 3 while the key is in.
constexpr std::uint8_t kGpioButtonUp = 0x10;
constexpr std::uint8_t kGpioKeyIn = 0x08;
constexpr std::uint8_t kGpioBase = 0x07;

constexpr std::uint16_t kAtacbPressed = 0x01D2;
constexpr std::uint16_t kAtacbIdle = 0x0150;

constexpr std::uint32_t kEsataFirmwareCode = 0xF2;
constexpr std::uint32_t kEsataFirmwareVersion = 0x0100;

constexpr std::size_t kSp216IdentitySize = 52;
constexpr int kSp216MaxDevices = 16;

int FamilyOfIdentity(std::string_view identity) {
    const auto found = std::find(kIdentities.begin(), kIdentities.end(), identity);
    return found == kIdentities.end() ? 0 : static_cast<int>(found - kIdentities.begin()) + 1;
}

bool IsJmUsbFamily(int family) {
    return family == 6 || family == 7;
}

// The sp216 identity block: "04FC" at byte 0, the product at byte 12, zeros elsewhere.
int FamilyOfSp216Identity(std::span<const std::uint8_t> identity) {
    if (identity.size() < kSp216IdentitySize) {
        return 0;
    }
    std::array<std::uint8_t, kSp216IdentitySize> expected{};
    std::memcpy(expected.data(), "04FC", 4);
    for (int family : {8, 9}) {
        std::memcpy(expected.data() + 12, family == 8 ? "0C15" : "0C25", 4);
        if (std::equal(expected.begin(), expected.end(), identity.begin())) {
            return family;
        }
    }
    return 0;
}

// A bridge the libraries reach: attached and not silent.
bool Answers(const SimEnclosure& enclosure) {
    return enclosure.attached && !enclosure.bridgeSilent;
}

std::vector<const SimEnclosure*> AnsweringOfFamily(const SimState& state, int family) {
    std::vector<const SimEnclosure*> found;
    for (const SimEnclosure& enclosure : state.enclosures) {
        if (Answers(enclosure) && enclosure.family == family) {
            found.push_back(&enclosure);
        }
    }
    return found;
}

}  // namespace

std::string SimulatedVendor::UsbDevicePath(const SimEnclosure& enclosure) {
    const std::string product = enclosure.family == 6 ? "2336" : "2338";
    const char instance = static_cast<char>(enclosure.letters.front() - 'A' + 'a');
    return "usb\\vid_152d&pid_" + product + "\\sim_" + instance;
}

template <typename Pick>
bool SimulatedVendor::TakePress(Pick pick, bool& found) {
    bool pressed = false;
    found = false;
    state_.Modify([&](SimState& state) {
        for (SimEnclosure& enclosure : state.enclosures) {
            if (!Answers(enclosure) || !pick(enclosure)) {
                continue;
            }
            found = true;
            pressed = enclosure.presses > 0;
            enclosure.presses -= pressed ? 1 : 0;
            return pressed;
        }
        return false;
    });
    return pressed;
}

int SimulatedVendor::X507EnumDevice(std::string_view identity, int option,
                                    std::span<std::uint8_t> letters) {
    const int family = FamilyOfIdentity(identity);
    if (option != 1 || family == 0) {
        return 0;
    }
    const SimState state = state_.Read().value_or(SimState{});
    std::size_t written = 0;
    for (const SimEnclosure* enclosure : AnsweringOfFamily(state, family)) {
        if (written == letters.size()) {
            break;
        }
        letters[written++] = static_cast<std::uint8_t>(enclosure->letters.front());
    }
    return static_cast<int>(written);
}

int SimulatedVendor::X507GetGPIO(char driveLetter, std::uint8_t& gpio) {
    bool keyPresent = false;
    bool found = false;
    const bool pressed = TakePress(
        [&](const SimEnclosure& enclosure) {
            const bool mine = (enclosure.family == 3 || enclosure.family == 4) &&
                              enclosure.letters.find(driveLetter) != std::string::npos;
            keyPresent = mine ? enclosure.keyPresent : keyPresent;
            return mine;
        },
        found);
    if (!found) {
        return 1;
    }
    gpio = static_cast<std::uint8_t>(kGpioBase | (keyPresent ? kGpioKeyIn : 0) |
                                     (pressed ? 0 : kGpioButtonUp));
    return 0;
}

int SimulatedVendor::GetDriveList(std::span<std::uint8_t> drives) {
    const SimState state = state_.Read().value_or(SimState{});
    std::size_t written = 0;
    for (const SimEnclosure& enclosure : state.enclosures) {
        if (Answers(enclosure) && IsJmUsbFamily(enclosure.family) && written < drives.size()) {
            drives[written++] = static_cast<std::uint8_t>(enclosure.letters.front());
        }
    }
    return static_cast<int>(written);
}

int SimulatedVendor::GetUsbIdList(std::span<UsbIdEntry> ids) {
    const SimState state = state_.Read().value_or(SimState{});
    std::size_t written = 0;
    for (const SimEnclosure& enclosure : state.enclosures) {
        if (!Answers(enclosure) || !IsJmUsbFamily(enclosure.family) || written == ids.size()) {
            continue;
        }
        const std::string path = UsbDevicePath(enclosure);
        ids[written].fill('\0');
        std::copy(path.begin(), path.end(), ids[written].begin());
        ++written;
    }
    return static_cast<int>(written);
}

int SimulatedVendor::JMGetButtonLayout(std::string_view devicePath,
                                       std::span<std::uint8_t> status) {
    const SimState state = state_.Read().value_or(SimState{});
    for (const SimEnclosure* enclosure : AnsweringOfFamily(state, 6)) {
        if (UsbDevicePath(*enclosure) == devicePath && status.size() > 2) {
            status[2] = 1;  // one button
            return 1;
        }
    }
    return 0;
}

int SimulatedVendor::JMGetButtonStatus(std::string_view devicePath,
                                       std::span<std::uint8_t> status) {
    if (status.size() <= 2) {
        return 0;
    }
    bool found = false;
    const bool pressed = TakePress(
        [&](const SimEnclosure& enclosure) {
            return enclosure.family == 6 && UsbDevicePath(enclosure) == devicePath;
        },
        found);
    if (!found) {
        return 0;
    }
    status[2] = pressed ? 1 : 0;
    return 1;
}

int SimulatedVendor::ATACBExecuteEx(std::string_view devicePath,
                                    std::span<const std::uint8_t> block, std::uint16_t& reply,
                                    int replyLength, int option) {
    // The bridge's button query: command 1, reply of 2 bytes, 0xFF in the command's byte 19.
    std::array<std::uint8_t, 24> query{};
    query[0] = 1;
    query[4] = 2;
    query[19] = 0xFF;
    if (replyLength != 2 || option != 0 || block.size() != query.size() ||
        !std::equal(query.begin(), query.end(), block.begin())) {
        return 1;
    }
    bool found = false;
    const bool pressed = TakePress(
        [&](const SimEnclosure& enclosure) {
            return enclosure.family == 7 && UsbDevicePath(enclosure) == devicePath;
        },
        found);
    if (!found) {
        return 1;
    }
    reply = pressed ? kAtacbPressed : kAtacbIdle;
    return 0;
}

int SimulatedVendor::JMIdentifyFirmware(DeviceHandle volume, int option, std::uint32_t& code,
                                        std::uint32_t& value) {
    SimState state = state_.Read().value_or(SimState{});
    const SimEnclosure* enclosure = AttachedOnDrive(state, SimVolumeOf(volume));
    if (option != 1 || enclosure == nullptr || !Answers(*enclosure) || enclosure->family != 10) {
        return 0;
    }
    code = kEsataFirmwareCode;
    value = kEsataFirmwareVersion;
    return 1;
}

int SimulatedVendor::JMButtonControl(DeviceHandle physicalDrive, int option,
                                     std::uint8_t& pressed) {
    const int physical = SimPhysicalOf(physicalDrive);
    if (option != 1 || physical < 0) {
        return 0;
    }
    bool found = false;
    const bool taken = TakePress(
        [&](const SimEnclosure& enclosure) {
            return enclosure.family == 10 && enclosure.physical == physical;
        },
        found);
    if (!found) {
        return 0;
    }
    pressed = taken ? 1 : 0;
    return 1;
}

VendorHandle SimulatedVendor::EnumDeviceHandle(std::span<const std::uint8_t> identity, int option,
                                               int index) {
    const int family = FamilyOfSp216Identity(identity);
    if (option != 1 || family == 0 || index < 0 || index >= kSp216MaxDevices) {
        return kNoVendorDevice;
    }
    const SimState state = state_.Read().value_or(SimState{});
    if (index >= static_cast<int>(AnsweringOfFamily(state, family).size())) {
        return kNoVendorDevice;
    }
    return kSimSp216HandleBase + family * kSp216MaxDevices + index;
}

int SimulatedVendor::Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio,
                                        VendorHandle device) {
    const VendorHandle code = device - kSimSp216HandleBase;
    const int family = static_cast<int>(code / kSp216MaxDevices);
    const int wanted = static_cast<int>(code % kSp216MaxDevices);
    if (index != 0 || option != 0 || code < 0 || (family != 8 && family != 9)) {
        return 0;
    }
    if (device == latched_) {
        gpio = 1;
        return 1;
    }
    int seen = 0;
    bool found = false;
    const bool pressed = TakePress(
        [&](const SimEnclosure& enclosure) {
            return enclosure.family == family && seen++ == wanted;
        },
        found);
    if (!found) {
        return 0;
    }
    gpio = pressed ? 1 : 0;
    latched_ = pressed ? device : kNoVendorDevice;
    return 1;
}

}  // namespace bexlo
