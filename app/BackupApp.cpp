#include "app/BackupApp.h"

#include <commctrl.h>
#include <objbase.h>

#include <iterator>
#include <memory>

#include "app/BackupDlg.h"
#include "app/ExitSignal.h"
#include "app/Hardware.h"
#include "app/InstanceObjects.h"
#include "app/ProfileReader.h"
#include "app/SingleInstance.h"
#include "framework/Handles.h"
#include "framework/WindowsDataFolder.h"
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

// Asks the copy shown by `window` to say that it waits, once the sender has its answer.
constexpr UINT kSayWaitingMessage = WM_APP + 3;

// What a copy shows while another session's copy holds the enclosures: a hidden window that
// carries the main dialog's caption and class, so that a second start, "/exit" and the installer
// find it as they find the dialog. Open says why nothing else shows; Exit ends the copy.
class WaitingWindow {
public:
    WaitingWindow() {
        window_ =
            ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), &template_.header, nullptr,
                                         &WaitingWindow::Procedure, reinterpret_cast<LPARAM>(this));
    }
    ~WaitingWindow() {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }
    WaitingWindow(const WaitingWindow&) = delete;
    WaitingWindow& operator=(const WaitingWindow&) = delete;

    HWND Handle() const { return window_; }
    bool ExitRequested() const { return exitRequested_; }

private:
    // A dialog template with no controls: style, no menu, the dialog class, the caption.
    struct alignas(4) Template {
        DLGTEMPLATE header{WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, 200, 60};
        WORD menu = 0;
        WORD windowClass = 0;
        wchar_t caption[std::size(kMainCaption)]{L'B', L'e', L'x', L'l', L'o', L'\0'};
    };
    static_assert(sizeof(kMainCaption) == sizeof(Template::caption));

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            return FALSE;
        }
        auto* self = reinterpret_cast<WaitingWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        switch (message) {
            case WM_COMMAND:
                if (LOWORD(wParam) == ID_TRAY_OPEN) {
                    ::PostMessageW(window, kSayWaitingMessage, 0, 0);
                    return TRUE;
                }
                if (LOWORD(wParam) == ID_TRAY_EXIT) {
                    self->exitRequested_ = true;
                    ::DestroyWindow(window);
                    self->window_ = nullptr;
                    return TRUE;
                }
                return TRUE;
            case kSayWaitingMessage: {
                const std::wstring text =
                    ReadLanguageFiles(CheckDataFolder().Trusted()).messages[Msg::OtherSession];
                ::MessageBoxW(window, text.c_str(), kMainCaption,
                              MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
                return TRUE;
            }
            default:
                return FALSE;
        }
    }

    Template template_;
    HWND window_ = nullptr;
    bool exitRequested_ = false;
};

// Takes the machine-wide guard, waiting out of sight while a copy in another session holds it.
// False when the copy was asked to end meanwhile.
bool TakeMachineGuard(HANDLE guard) {
    DWORD status = ::WaitForSingleObject(guard, 0);
    if (status == WAIT_OBJECT_0 || status == WAIT_ABANDONED) {
        return true;
    }
    WaitingWindow waiting;
    for (;;) {
        status = ::MsgWaitForMultipleObjects(1, &guard, FALSE, INFINITE, QS_ALLINPUT);
        if (status != WAIT_OBJECT_0 + 1) {
            // Held (or left by a copy that ended without letting go); a failed wait runs too.
            return true;
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (waiting.Handle() == nullptr || !::IsDialogMessageW(waiting.Handle(), &message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        if (waiting.ExitRequested()) {
            return false;
        }
    }
}

}  // namespace

int BackupApp::CloseRunningCopy() {
    const std::wstring name = ApplicationName();
    const ULONGLONG deadline = ::GetTickCount64() + kCloseWaitMs;
    const auto remaining = [deadline] {
        const ULONGLONG now = ::GetTickCount64();
        return now >= deadline ? DWORD{0} : static_cast<DWORD>(deadline - now);
    };
    const std::wstring program = ProgramPath();
    const InstanceObjects instance;
    for (;;) {
        HWND window = FindProgramWindow(name, program, CopyRights::Any);
        if (window == nullptr) {
            // A copy that is starting holds its lock before its window exists.
            if (!instance.InstanceLockHeld()) {
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
        // Not abandoned when the system calls the copy hung: a copy whose interface thread has
        // not fetched a message for five seconds counts as hung while it starts, shows or hides
        // its window, and the command would be dropped at once. It waits its turn.
        DWORD_PTR answer = 0;
        if (::SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_EXIT, 0), 0, SMTO_NORMAL,
                                  remaining(), &answer) == 0) {
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

bool BackupApp::Startup() {
    // Only a copy with administrator rights counts as the first: a lock of the program's name
    // that another program holds, or a copy started without rights, keeps no copy from starting.
    InstanceObjects instance;
    const LockHolder lock = instance.TakeInstanceLock();
    HWND first = FindProgramWindow(ApplicationName(), ProgramPath(), CopyRights::Administrators);
    if (StartsAsSecondCopy(lock, first != nullptr)) {
        if (first != nullptr) {
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
        return false;
    }

    // The trees ask the shell for names and icons.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    {
        const HardwareMaker makeHardware = ChooseHardware(commandLine);
        if (!makeHardware) {
            return false;
        }
        const ExitSignal exitSignal;
        // One copy on the machine polls and runs. A copy that finds no guard to take (its name
        // taken by another program where there is no private namespace, or no rights) runs on.
        UniqueKernelHandle guard = instance.MachineGuard();
        if (guard && !TakeMachineGuard(guard.Get())) {
            return false;
        }
        const std::unique_ptr<DeviceSeam> hardware = makeHardware();
        BackupDlg dialog(*hardware);
        dialog.DoModal(nullptr);
        if (guard) {
            ::ReleaseMutex(guard.Get());
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return false;
}

}  // namespace bexlo
