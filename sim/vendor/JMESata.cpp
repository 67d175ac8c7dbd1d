// Stand-in for "JMESata.dll": the eSATA bridge of family 10, reached through the simulated
// volume and physical-drive handles.

#include <type_traits>

#include "sim/vendor/StandIn.h"

using bexlo::stand_in::Vendor;

BEXLO_STAND_IN int BEXLO_VENDOR_CALL JMIdentifyFirmware(HANDLE volume, int option,
                                                        std::uint32_t* code, std::uint32_t* value) {
    if (code == nullptr || value == nullptr) {
        return 0;
    }
    return Vendor().JMIdentifyFirmware(reinterpret_cast<bexlo::DeviceHandle>(volume), option, *code,
                                       *value);
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL JMButtonControl(HANDLE physicalDrive, int option,
                                                     std::uint8_t* pressed) {
    if (pressed == nullptr) {
        return 0;
    }
    return Vendor().JMButtonControl(reinterpret_cast<bexlo::DeviceHandle>(physicalDrive), option,
                                    *pressed);
}

static_assert(std::is_same_v<decltype(&JMIdentifyFirmware), bexlo::JMIdentifyFirmwareFn>);
static_assert(std::is_same_v<decltype(&JMButtonControl), bexlo::JMButtonControlFn>);
