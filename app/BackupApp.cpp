#include "app/BackupApp.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <optional>

#include "app/BackupDlg.h"
#include "app/CommandLine.h"
#include "device/WindowsDeviceSeam.h"
#include "sim/SimStateFile.h"
#include "sim/SimulatorSeam.h"
#include "framework/Handles.h"
#include "res/resource.h"

namespace bexlo {

namespace {

// How long a second start waits for the first copy to open its window.
constexpr UINT kSecondStartWaitMs = 5000;

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH]{};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

// How long a closing copy may take to answer and to end.
constexpr DWORD kCloseWaitMs = 15000;

}  // namespace

int BackupApp::CloseRunningCopy() {
    const std::wstring name = ApplicationName();
    const ULONGLONG deadline = ::GetTickCount64() + kCloseWaitMs;
    const auto remaining = [deadline] {
        const ULONGLONG now = ::GetTickCount64();
        return now >= deadline ? DWORD{0} : static_cast<DWORD>(deadline - now);
    };
    for (;;) {
        HWND window = ::FindWindowW(nullptr, name.c_str());
        if (window == nullptr) {
            // A copy that is starting owns the mutex before its window exists.
            UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName));
            if (!mutex) {
                return kNoCopyRuns;
            }
            if (remaining() == 0) {
                return kCopyStillRuns;
            }
            ::Sleep(100);
            continue;
        }
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        DWORD_PTR answer = 0;
        if (::SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_EXIT, 0), 0,
                                  SMTO_ABORTIFHUNG, remaining(), &answer) == 0) {
            return kCopyStillRuns;
        }
        // Exit destroys the window before it answers; a window still there refused.
        if (::IsWindow(window)) {
            return kCopyBusy;
        }
        if (process && ::WaitForSingleObject(process.Get(), remaining()) != WAIT_OBJECT_0) {
            return kCopyStillRuns;
        }
    }
}

std::wstring BackupApp::ApplicationName() {
    std::wstring name = ProgramPath();
    if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) {
        name.erase(0, slash + 1);
    }
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) {
        name.erase(dot);
    }
    return name;
}

std::wstring BackupApp::ProgramFolder() {
    std::wstring folder = ProgramPath();
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

// A simulator description the program could only half read would run it on enclosures nobody
// described: it says what is wrong and the program does not start.
bool BackupApp::SimulatorUsable(const std::wstring& folder) {
    SimStateFile description(folder);
    if (description.Read()) {
        return true;
    }
    const std::string& error = description.LastError();
    const std::wstring text = L"The simulated enclosures cannot be used.\n\n" + description.Path() +
                              L"\n" + std::wstring(error.begin(), error.end());
    ::MessageBoxW(nullptr, text.c_str(), kSimulatorCaption, MB_OK | MB_ICONERROR);
    return false;
}

bool BackupApp::Startup() {
    UniqueKernelHandle mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // The handle goes with the process; the first copy keeps owning the mutex.
        if (HWND first = ::FindWindowW(nullptr, ApplicationName().c_str()); first != nullptr) {
            // The first copy opens itself as its tray menu's Open does, so that it knows it is
            // shown: its close box then hides it again instead of ending it.
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutW(first, WM_COMMAND, MAKEWPARAM(ID_TRAY_OPEN, 0), 0,
                                  SMTO_ABORTIFHUNG, kSecondStartWaitMs, &answer);
            // During a run the first copy stays where it is.
            if (::IsWindowVisible(first)) {
                ::ShowWindow(first, SW_SHOWMAXIMIZED);
            }
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
        // The simulator changes the hardware the device layer sees and nothing else.
        const std::optional<std::wstring> simulator = SimulatorFolder(commandLine, ProgramFolder());
        if (simulator && !SimulatorUsable(*simulator)) {
            return false;
        }
        std::unique_ptr<DeviceSeam> hardware;
        if (simulator) {
            hardware = std::make_unique<SimulatorSeam>(*simulator);
        } else {
            hardware = std::make_unique<WindowsDeviceSeam>();
        }
        BackupDlg dialog(*hardware);
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
