#pragma once

#include <windows.h>

#include <string>

namespace bexlo {

// A library of the system folder, loaded by its full path so that the program's own folder, the
// working folder and PATH are never searched for it; its own imports are looked for beside it.
// Null when it cannot be loaded. The caller frees it.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH]{};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A function of a loaded library, null when the library is null or lacks it.
template <typename Function>
Function LibraryFunction(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(library != nullptr ? ::GetProcAddress(library, name) : nullptr));
}

// A function of a system module the process has already loaded, looked up rather than imported so
// that the program still starts where the system lacks it; null there.
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    return LibraryFunction<Function>(::GetModuleHandleW(module), name);
}

}  // namespace bexlo
