// A library named "sp216.dll" that counts the calls of its CloseDevice entry, for the tests of
// the ways the program ends.

#include <windows.h>

#include <type_traits>

#include "device/VendorLibraries.h"

namespace {

LONG closeDeviceCalls = 0;

}  // namespace

extern "C" __declspec(dllexport) int BEXLO_VENDOR_CALL CloseDevice() {
    ::InterlockedIncrement(&closeDeviceCalls);
    return 0;
}

extern "C" __declspec(dllexport) int BEXLO_VENDOR_CALL ProbeCloseDeviceCalls() {
    return static_cast<int>(closeDeviceCalls);
}

static_assert(std::is_same_v<decltype(&CloseDevice), bexlo::CloseDeviceFn>);
