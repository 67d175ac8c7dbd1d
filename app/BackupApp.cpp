#include "app/BackupApp.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/BackupDlg.h"
#include "framework/Handles.h"

namespace bexlo {

std::wstring BackupApp::ApplicationName() {
    wchar_t path[MAX_PATH]{};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) {
        name.erase(0, slash + 1);
    }
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) {
        name.erase(dot);
    }
    return name;
}

bool BackupApp::SimulatorRequested() const {
    return commandLine.find(kSimulatorOption) != std::wstring::npos;
}

bool BackupApp::Startup() {
    UniqueKernelHandle mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // The handle goes with the process; the first copy keeps owning the mutex.
        if (HWND first = ::FindWindowW(nullptr, ApplicationName().c_str()); first != nullptr) {
            ::ShowWindow(first, SW_SHOWMAXIMIZED);
            ::BringWindowToTop(first);
            ::BringWindowToTop(::GetLastActivePopup(first));
        }
        mutex.Release();
        return false;
    }

    // The trees ask the shell for names and icons.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    {
        BackupDlg::Options options;
        options.simulatedEnclosure = SimulatorRequested();
        BackupDlg dialog(std::move(options));
        dialog.DoModal(nullptr);
        if (mutex) {
            ::ReleaseMutex(mutex.Get());
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return false;
}

}  // namespace bexlo
