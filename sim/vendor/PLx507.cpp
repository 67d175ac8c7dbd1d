// Stand-in for "PLx507.dll": enumeration of the USB bridges and their GPIO.

#include <type_traits>

#include "sim/vendor/StandIn.h"

using bexlo::stand_in::Buffer;
using bexlo::stand_in::Text;
using bexlo::stand_in::Vendor;

BEXLO_STAND_IN int BEXLO_VENDOR_CALL X507EnumDevice(const char* identity, int option,
                                                    std::uint8_t* letters, int size) {
    return Vendor().X507EnumDevice(Text(identity), option, Buffer(letters, size));
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL X507GetGPIO(char driveLetter, std::uint8_t* gpio) {
    return gpio == nullptr ? 1 : Vendor().X507GetGPIO(driveLetter, *gpio);
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL X507CloseDevice() {
    return 0;
}

static_assert(std::is_same_v<decltype(&X507EnumDevice), bexlo::X507EnumDeviceFn>);
static_assert(std::is_same_v<decltype(&X507GetGPIO), bexlo::X507GetGPIOFn>);
static_assert(std::is_same_v<decltype(&X507CloseDevice), bexlo::X507CloseDeviceFn>);
