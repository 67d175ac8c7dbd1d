#pragma once

#include "device/DeviceRecord.h"
#include "tests/host/FakeDeviceSeam.h"

namespace bexlo::test {

inline constexpr int kDriveC = 2;
inline constexpr int kDriveE = 4;
// GPIO states of a family-3 enclosure: idle, and the button held.
inline constexpr std::uint8_t kGpioIdle = 0x1F;
inline constexpr std::uint8_t kGpioPressed = 0x0F;

// A machine with its system disk C: and, when `attached`, a family-3 enclosure as E:.
inline void SetUpMachine(testing_device::FakeDeviceSeam& seam, bool attached) {
    seam.drives[kDriveC] = testing_device::FakeDrive{};
    if (attached) {
        testing_device::FakeDrive enclosure;
        enclosure.mounted = testing_device::MountedRecord(0x1234ABCD, 32256);
        seam.drives[kDriveE] = enclosure;
        seam.enumLetters[kFamilyIdentities[2]] = "E";
        seam.gpio['E'] = {0, kGpioIdle};
    }
}

}  // namespace bexlo::test
