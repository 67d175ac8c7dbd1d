#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "device/VendorLibraries.h"
#include "sim/SimulatedVendor.h"

// The stand-in vendor libraries export these undecorated names with the vendors' calling
// convention.
#define BEXLO_STAND_IN extern "C" __declspec(dllexport)

namespace bexlo::stand_in {

// The answers for the enclosures described beside this library.
SimulatedVendor& Vendor();

// A NUL-terminated text of at most `limit` characters, as the vendors' buffers hold it.
inline std::string_view Text(const char* text, std::size_t limit = MAX_PATH) {
    return text == nullptr ? std::string_view() : std::string_view(text, ::strnlen(text, limit));
}

inline std::span<std::uint8_t> Buffer(std::uint8_t* bytes, int size) {
    return bytes == nullptr || size <= 0 ? std::span<std::uint8_t>()
                                         : std::span<std::uint8_t>(bytes, size);
}

}  // namespace bexlo::stand_in
