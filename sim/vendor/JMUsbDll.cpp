// Stand-in for "JMUsbDll.dll": the USB bridges of families 6 and 7 by device path.

#include <algorithm>
#include <type_traits>
#include <vector>

#include "sim/vendor/StandIn.h"

using bexlo::UsbIdEntry;
using bexlo::stand_in::Buffer;
using bexlo::stand_in::Text;
using bexlo::stand_in::Vendor;

namespace {

constexpr std::size_t kAtacbBlockSize = 24;

std::string_view DevicePath(const char* path) {
    return Text(path, std::tuple_size_v<UsbIdEntry>);
}

}  // namespace

BEXLO_STAND_IN int BEXLO_VENDOR_CALL GetDriveList(std::uint8_t* drives, int size) {
    return Vendor().GetDriveList(Buffer(drives, size));
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL GetUsbIdList(char* table, int entries) {
    if (table == nullptr || entries <= 0) {
        return 0;
    }
    std::vector<UsbIdEntry> ids(static_cast<std::size_t>(entries));
    const int written = Vendor().GetUsbIdList(ids);
    for (int k = 0; k < written; ++k) {
        std::copy(ids[k].begin(), ids[k].end(), table + k * ids[k].size());
    }
    return written;
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL JMGetButtonLayout(const char* devicePath, std::uint8_t* status,
                                                       int size) {
    return Vendor().JMGetButtonLayout(DevicePath(devicePath), Buffer(status, size));
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL JMGetButtonStatus(const char* devicePath, std::uint8_t* status,
                                                       int size) {
    return Vendor().JMGetButtonStatus(DevicePath(devicePath), Buffer(status, size));
}

BEXLO_STAND_IN int BEXLO_VENDOR_CALL ATACBExecuteEx(const char* devicePath, std::uint8_t* block,
                                                    std::uint16_t* reply, int replyLength,
                                                    int option) {
    if (block == nullptr || reply == nullptr) {
        return 1;
    }
    return Vendor().ATACBExecuteEx(DevicePath(devicePath),
                                   std::span<const std::uint8_t>(block, kAtacbBlockSize), *reply,
                                   replyLength, option);
}

static_assert(std::is_same_v<decltype(&GetDriveList), bexlo::GetDriveListFn>);
static_assert(std::is_same_v<decltype(&GetUsbIdList), bexlo::GetUsbIdListFn>);
static_assert(std::is_same_v<decltype(&JMGetButtonLayout), bexlo::JMGetButtonLayoutFn>);
static_assert(std::is_same_v<decltype(&JMGetButtonStatus), bexlo::JMGetButtonStatusFn>);
static_assert(std::is_same_v<decltype(&ATACBExecuteEx), bexlo::ATACBExecuteExFn>);
