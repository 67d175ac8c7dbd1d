#pragma once

#include <windows.h>

namespace bexlo {

// The vendors publish no headers, so their calling convention is an assumption: change it here.
#define BEXLO_VENDOR_CALL __stdcall

inline constexpr wchar_t kSp216Library[] = L"sp216.dll";
inline constexpr wchar_t kJmUsbLibrary[] = L"JMUsbDll.dll";

using Sp216CloseDevice = int(BEXLO_VENDOR_CALL*)();

template <typename Entry>
Entry ResolveVendorEntry(HMODULE library, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace bexlo
