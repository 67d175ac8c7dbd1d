// BexloSim: presses an enclosure's button, pulls or inserts its key, attaches or detaches it,
// from a command line or a small window, and from the command line silences its bridge or lets
// it answer. Attach, detach and a bridge that starts answering reach the program as device-change
// events.

#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "sim/SimCommand.h"
#include "sim/SimStateFile.h"

namespace bexlo {

namespace {

constexpr wchar_t kProgramCaption[] = L"Bexlo";
constexpr wchar_t kWindowClass[] = L"BexloSimulator";
constexpr wchar_t kWindowCaption[] = L"Bexlo Simulator";
constexpr UINT kEventTimeoutMs = 5000;
constexpr UINT kRefreshMs = 500;
constexpr UINT_PTR kRefreshTimer = 1;

enum ControlId { kList = 100, kPress, kKey, kAttach, kStatus };

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM found) {
    wchar_t caption[16]{};
    if (::GetWindowTextW(window, caption, 16) > 0 && std::wstring(caption) == kProgramCaption) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

// Tells every running copy of the program that the volumes in `units` arrived or went.
void AnnounceDeviceChange(WPARAM event, std::uint32_t units) {
    std::vector<HWND> windows;
    ::EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&windows));
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = units;
    for (HWND window : windows) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume),
                              SMTO_ABORTIFHUNG, kEventTimeoutMs, &result);
    }
}

// Changes the state file, then tells the program of an attach, a detach or an answering bridge.
bool Perform(SimStateFile& file, const SimCommand& command, std::string& error) {
    bool applied = false;
    std::uint32_t units = 0;
    const bool readable = file.Modify([&](SimState& state) {
        applied = ApplySimCommand(command, state, error);
        if (applied && command.action != SimAction::List) {
            units = DriveMask(*FindEnclosure(state, command.letter));
        }
        return applied && command.action != SimAction::List;
    });
    if (!readable) {
        error = file.LastError();
        return false;
    }
    // A bridge that starts answering is seen at the next scan, which an arrival starts.
    if (applied &&
        (command.action == SimAction::Attach || command.action == SimAction::BridgeAnswers)) {
        AnnounceDeviceChange(DBT_DEVICEARRIVAL, units);
    } else if (applied && command.action == SimAction::Detach) {
        AnnounceDeviceChange(DBT_DEVICEREMOVECOMPLETE, units);
    }
    return applied;
}

// The window for a person: the enclosures, and buttons acting on the selected one.
class SimulatorWindow {
public:
    explicit SimulatorWindow(SimStateFile& file) : file_(file) {}

    int Run() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kWindowClass;
        ::RegisterClassExW(&windowClass);
        HWND window = ::CreateWindowExW(0, kWindowClass, kWindowCaption,
                                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 460, 260, nullptr, nullptr,
                                        windowClass.hInstance, this);
        if (window == nullptr) {
            return 1;
        }
        ::ShowWindow(window, SW_SHOWNORMAL);
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!::IsDialogMessageW(window, &message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        return 0;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            if (message == WM_NCCREATE) {
                auto* self = static_cast<SimulatorWindow*>(
                    reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
                self->window_ = window;
                ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            }
            auto* self =
                reinterpret_cast<SimulatorWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self != nullptr) {
                if (message == WM_NCDESTROY) {
                    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                }
                return self->Handle(message, wParam, lParam);
            }
        } catch (const std::exception&) {
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_CREATE:
                Create();
                Refresh();
                ::SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
                return 0;
            case WM_TIMER:
                Refresh();
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == kList && HIWORD(wParam) == LBN_SELCHANGE) {
                    Refresh();
                } else if (HIWORD(wParam) == BN_CLICKED) {
                    Act(LOWORD(wParam));
                }
                return 0;
            case WM_DESTROY:
                ::KillTimer(window_, kRefreshTimer);
                ::PostQuitMessage(0);
                return 0;
            default:
                return ::DefWindowProcW(window_, message, wParam, lParam);
        }
    }

    HWND Child(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y,
               int width, int height) {
        HWND child = ::CreateWindowExW(className == std::wstring(L"LISTBOX") ? WS_EX_CLIENTEDGE : 0,
                                       className, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                                       x, y, width, height, window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(child, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        return child;
    }

    void Create() {
        list_ = Child(L"LISTBOX", L"", LBS_NOTIFY | WS_VSCROLL, kList, 10, 10, 320, 170);
        Child(L"BUTTON", L"Press", BS_PUSHBUTTON, kPress, 340, 10, 100, 26);
        key_ = Child(L"BUTTON", L"Key out", BS_PUSHBUTTON, kKey, 340, 44, 100, 26);
        attach_ = Child(L"BUTTON", L"Detach", BS_PUSHBUTTON, kAttach, 340, 78, 100, 26);
        status_ = Child(L"STATIC", L"", SS_LEFT, kStatus, 10, 190, 430, 30);
    }

    // The list follows the file, which the program changes too when it takes a press.
    void Refresh() {
        const std::optional<SimState> state = file_.Read();
        if (!state) {
            ::SetWindowTextW(status_, Widen(file_.LastError()).c_str());
            enclosures_.clear();
            ::SendMessageW(list_, LB_RESETCONTENT, 0, 0);
            return;
        }
        const LRESULT selected = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
        if (state->enclosures != enclosures_) {
            enclosures_ = state->enclosures;
            ::SendMessageW(list_, LB_RESETCONTENT, 0, 0);
            for (const SimEnclosure& enclosure : enclosures_) {
                ::SendMessageW(
                    list_, LB_ADDSTRING, 0,
                    reinterpret_cast<LPARAM>(Widen(DescribeEnclosure(enclosure)).c_str()));
            }
            const LRESULT keep =
                selected >= 0 && selected < static_cast<LRESULT>(enclosures_.size()) ? selected : 0;
            ::SendMessageW(list_, LB_SETCURSEL, enclosures_.empty() ? -1 : keep, 0);
        }
        if (const SimEnclosure* enclosure = Selected()) {
            ::SetWindowTextW(key_, enclosure->keyPresent ? L"Key out" : L"Key in");
            ::SetWindowTextW(attach_, enclosure->attached ? L"Detach" : L"Attach");
        }
    }

    const SimEnclosure* Selected() const {
        const LRESULT index = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
        return index >= 0 && index < static_cast<LRESULT>(enclosures_.size())
                   ? &enclosures_[static_cast<std::size_t>(index)]
                   : nullptr;
    }

    void Act(int control) {
        const SimEnclosure* enclosure = Selected();
        if (enclosure == nullptr) {
            return;
        }
        SimCommand command{SimAction::Press, enclosure->letters.front()};
        if (control == kKey) {
            command.action = enclosure->keyPresent ? SimAction::KeyOut : SimAction::KeyIn;
        } else if (control == kAttach) {
            command.action = enclosure->attached ? SimAction::Detach : SimAction::Attach;
        } else if (control != kPress) {
            return;
        }
        std::string error;
        Perform(file_, command, error);
        ::SetWindowTextW(status_, Widen(error).c_str());
        Refresh();
    }

    SimStateFile& file_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND key_ = nullptr;
    HWND attach_ = nullptr;
    HWND status_ = nullptr;
    std::vector<SimEnclosure> enclosures_;
};

int Main(int argc, wchar_t** argv) {
    std::wstring folder = ModuleFolder(nullptr);
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--folder" && i + 1 < argc) {
            folder = argv[++i];
        } else {
            words.push_back(Narrow(argv[i]));
        }
    }
    SimStateFile file(folder);
    if (words.empty()) {
        ::FreeConsole();
        return SimulatorWindow(file).Run();
    }
    std::string error;
    const std::optional<SimCommand> command = ParseSimCommand(words, error);
    if (!command) {
        std::fputs(error.c_str(), stderr);
        return 2;
    }
    if (!Perform(file, *command, error)) {
        std::fprintf(stderr, "BexloSim: %s\n", error.c_str());
        return 1;
    }
    if (command->action == SimAction::List) {
        for (const SimEnclosure& enclosure : file.Read().value_or(SimState{}).enclosures) {
            std::printf("%s\n", DescribeEnclosure(enclosure).c_str());
        }
    }
    return 0;
}

}  // namespace

}  // namespace bexlo

int wmain(int argc, wchar_t** argv) {
    try {
        return bexlo::Main(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "BexloSim: %s\n", failure.what());
        return 3;
    }
}
