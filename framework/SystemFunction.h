#pragma once

#include <windows.h>

namespace bexlo {

// A function of a system module the process has already loaded, looked up rather than imported so
// that the program still starts where the system lacks it; null there.
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    HMODULE loaded = ::GetModuleHandleW(module);
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(loaded != nullptr ? ::GetProcAddress(loaded, name) : nullptr));
}

}  // namespace bexlo
