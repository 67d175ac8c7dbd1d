#include "app/ExitSignal.h"

#include <sddl.h>

#include "app/SingleInstance.h"
#include "res/resource.h"

namespace bexlo {

namespace {

BOOL CALLBACK AskToExit(HWND window, LPARAM) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    wchar_t windowClass[16]{};
    wchar_t caption[16]{};
    // The main dialog, or the window of a copy that waits for another session's: no box or
    // window of theirs, which an owner holds.
    if (processId == ::GetCurrentProcessId() && ::GetWindow(window, GW_OWNER) == nullptr &&
        ::GetClassNameW(window, windowClass, 16) > 0 && std::wstring(windowClass) == L"#32770" &&
        ::GetWindowTextW(window, caption, 16) > 0 && std::wstring(caption) == kMainCaption) {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_EXIT, 0), 0);
    }
    return TRUE;
}

}  // namespace

ExitSignal::ExitSignal() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
        return;
    }
    const UniqueLocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    event_.Reset(
        ::CreateEventW(&attributes, FALSE, FALSE, ExitSignalName(::GetCurrentProcessId()).c_str()));
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Made before this process by someone else, it would be theirs to set.
    if (!event_ || existed) {
        event_.Reset();
        return;
    }
    // The pool's threads need not share the desktop of the thread that shows the windows.
    HANDLE wait = nullptr;
    if (::RegisterWaitForSingleObject(&wait, event_.Get(), &ExitSignal::OnSet,
                                      ::GetThreadDesktop(::GetCurrentThreadId()), INFINITE,
                                      WT_EXECUTEDEFAULT)) {
        wait_.Reset(wait);
    }
}

void CALLBACK ExitSignal::OnSet(void* desktop, BOOLEAN) {
    ::EnumDesktopWindows(static_cast<HDESK>(desktop), &AskToExit, 0);
}

std::wstring ExitSignalName(DWORD processId) {
    return L"Global\\BexloExit-" + std::to_wstring(processId);
}

}  // namespace bexlo
