#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdio>
#endif

#include <exception>

namespace bexlo {

// Where an exception that reached a boundary is reported: the debugger's output on Windows, the
// error stream elsewhere.
inline void ReportEscapedException(const wchar_t* where, const char* what) noexcept {
#if defined(_WIN32)
    ::OutputDebugStringW(where);
    ::OutputDebugStringA(": ");
    ::OutputDebugStringA(what);
    ::OutputDebugStringA("\n");
#else
    std::fprintf(stderr, "%ls: %s\n", where, what);
#endif
}

// Runs a callback at a boundary that no exception may cross (window procedures, thread entries).
// Returns false when the callback threw; the exception is reported and dropped.
template <typename Callback>
bool GuardCall(const wchar_t* where, Callback&& callback) noexcept {
    try {
        callback();
        return true;
    } catch (const std::exception& error) {
        ReportEscapedException(where, error.what());
    } catch (...) {
        ReportEscapedException(where, "unknown exception");
    }
    return false;
}

}  // namespace bexlo
