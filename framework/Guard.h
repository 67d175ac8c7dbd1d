#pragma once

#include <windows.h>

#include <exception>

namespace bexlo {

// Runs a callback at a boundary that no exception may cross (window procedures, thread entries).
// Returns false when the callback threw; the exception is reported to the debugger and dropped.
template <typename Callback>
bool GuardCall(const wchar_t* where, Callback&& callback) noexcept {
    try {
        callback();
        return true;
    } catch (const std::exception& error) {
        ::OutputDebugStringW(where);
        ::OutputDebugStringA(": ");
        ::OutputDebugStringA(error.what());
        ::OutputDebugStringA("\n");
    } catch (...) {
        ::OutputDebugStringW(where);
        ::OutputDebugStringA(": unknown exception\n");
    }
    return false;
}

}  // namespace bexlo
