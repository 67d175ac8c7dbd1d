// Stand-in for "sp216.dll": the USB bridges of families 8 and 9 by device index.

#include <type_traits>

#include "sim/vendor/StandIn.h"

using bexlo::stand_in::Vendor;

namespace {

constexpr std::size_t kIdentitySize = 52;

}  // namespace

BEXLO_STAND_IN HANDLE BEXLO_VENDOR_CALL EnumDeviceHandle(std::uint8_t* identity, int option,
                                                         int index) {
    if (identity == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    const bexlo::VendorHandle device = Vendor().EnumDeviceHandle(
        std::span<const std::uint8_t>(identity, kIdentitySize), option, index);
    return reinterpret_cast<HANDLE>(device);
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL Set_Get_GPIO_Index(int index, int option, std::uint8_t* gpio,
                                                        HANDLE device) {
    if (gpio == nullptr) {
        return 0;
    }
    return Vendor().Set_Get_GPIO_Index(index, option, *gpio,
                                       reinterpret_cast<bexlo::VendorHandle>(device));
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL CloseDevice() {
    Vendor().CloseDevice();
    return 0;
}

static_assert(std::is_same_v<decltype(&EnumDeviceHandle), bexlo::EnumDeviceHandleFn>);
static_assert(std::is_same_v<decltype(&Set_Get_GPIO_Index), bexlo::Set_Get_GPIO_IndexFn>);
static_assert(std::is_same_v<decltype(&CloseDevice), bexlo::CloseDeviceFn>);
