#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/Handles.h"

namespace bexlo::test {

// Runs the thread's messages until `done` holds or `timeoutMs` passes; true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Runs the thread's messages until everything posted to it before the call has been handled;
// false when that took longer than `timeoutMs`.
bool PumpPosted(DWORD timeoutMs = 5000);

// The test program's own folder, with a trailing backslash.
std::wstring ProgramFolder();
// The built program beside the tests, and its argument that runs it on the simulator in `folder`.
inline std::wstring ProgramFile() {
    return ProgramFolder() + L"Bexlo.exe";
}
inline std::wstring Simulate(const std::wstring& folder) {
    return L"\"/simulate=" + folder + L"\"";
}
// A window of this thread's own that only receives messages, handled by `procedure`.
HWND MessageWindow(const wchar_t* className, WNDPROC procedure);

// The program's data folder, emptied of files.
void ClearDataFolder();
// Writes `text` as UTF-16LE with a byte-order mark, the encoding the profile reader expects.
void WriteUtf16File(const std::wstring& path, const std::wstring& text);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// A file's bytes, or "<missing>" when it cannot be read.
std::string FileText(const std::wstring& path);
inline bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
// Everything below a folder, by path relative to it: a file's bytes, or "<folder>".
std::map<std::wstring, std::string> ReadTree(const std::wstring& folder);
// Moves a file's last-write time by `seconds` (negative: earlier).
void ShiftLastWrite(const std::wstring& path, int seconds);
// Makes each folder, in order.
void MakeFolders(const std::vector<std::wstring>& folders);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);
// Makes `link` a Unix symbolic link to the folder `target`, which Wine shows as a link (it makes
// none of its own), and waits until it shows; false when it did not.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, never what it leads to, and waits until it has gone.
bool RemoveUnixLink(const std::wstring& link);

// A simulator folder of its own: copies of the built stand-in vendor libraries and control
// surface, and `description` as its enclosures.txt.
void PrepareSimulatorFolder(const std::wstring& folder, const std::string& description);
// One family-1 enclosure as E:, key in, attached.
inline constexpr char kOneEnclosure[] =
    "enclosure family=1 letters=E signature=0x1234ABCD offsets=32256 serial=0x0000BE7C "
    "key=present attached=yes presses=0 physical=1\n";

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
// ASCII text for a failure message.
inline std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}
// Clicks the button `id` of `dialog` as a person does, and waits until it has been handled.
inline void Click(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}
// Clicks OK as a person does, without waiting.
inline void ClickOk(HWND window) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
// True when the window's thread answers within `ms`: all it was sent before has been handled.
bool Answers(HWND window, DWORD ms = 20000);
// The width a control's caption needs inside it, with the control's own font: a radio's circle
// and a hover button's edges included.
int CaptionWidth(HWND control, int dpi);

// What a popup menu showed while it was open.
struct MenuSeen {
    int opened = 0;
    HMENU menu = nullptr;
    RECT rect{};
    std::map<UINT, bool> enabled;
};
// Runs `open`, which opens a popup menu; every menu that opens meanwhile is read and closed.
MenuSeen ReadMenus(const std::function<void()>& open);

// What a window's client area shows, pixel by pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};
Picture CaptureClient(HWND window);
// Writes the picture as a PNG file; false when it could not.
bool SavePng(const Picture& picture, const std::wstring& path);
// The build's folder of pictures and logs (build/<preset>/artifacts), with a trailing backslash.
std::wstring ArtifactsFolder();

// A process started by its full path, killed if it is still running at the end.
class ChildProcess {
public:
    // `currentFolder`, when given, is the child's working folder.
    ChildProcess(const std::wstring& program, const std::wstring& arguments,
                 const std::wstring& currentFolder = {});
    // Started as a person's program without administrator rights is: its token keeps the
    // Administrators group for denying only.
    struct WithoutRights {};
    ChildProcess(WithoutRights, const std::wstring& program, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_.Valid(); }
    // True when the process ended within `ms`.
    bool WaitForExit(DWORD ms) const;
    // True once the child's interface thread has first found its queue empty within `ms`.
    bool WaitForInputIdle(DWORD ms) const { return ::WaitForInputIdle(process_.Get(), ms) == 0; }
    // Answers this thread's messages (the child may send some) until the child ends; its exit
    // code, or -1 when it did not end within `ms`.
    DWORD RunToEnd(DWORD ms) const;
    DWORD Id() const { return id_; }

private:
    void Start(HANDLE token, const std::wstring& program, const std::wstring& arguments,
               const std::wstring& currentFolder);

    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

// The texts of a message box's or dialog's static controls, one line each.
std::wstring StaticTexts(HWND window);

// The first top-level window with this caption of process `processId` that `wanted`, when given,
// accepts.
HWND FindProcessWindow(DWORD processId, const wchar_t* caption,
                       const std::function<bool(HWND)>& wanted = {});
// Waits for process `processId`'s window "Bexlo", shown unless `visible` is false; it, or null.
HWND WaitForProgramWindow(DWORD processId, bool visible = true, DWORD ms = 20000);
// Waits for a message box of process `processId` to show with its text; the box, or null.
HWND WaitForProcessBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs = 20000);
// Answers a box of another process with OK, as a person's click does, and waits until it is
// hidden; false when it stayed.
bool AnswerProcessBox(HWND box);

struct ShownBox {
    std::wstring caption;
    std::wstring text;
};

// Answers the windows of this process from a thread of its own, so that code showing them runs on
// without a person: a window whose caption has a handler is handed to it, once; any other message
// box is answered with OK, and what it said is kept.
class MessageBoxWatch {
public:
    using Handler = std::function<void(HWND)>;

    MessageBoxWatch();
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    void On(const std::wstring& caption, Handler handler);
    // How many windows with this caption were handed to its handler.
    int Answered(const std::wstring& caption) const;
    std::vector<ShownBox> Boxes() const;
    // Pumps this thread's messages until `count` boxes have been answered.
    bool WaitForBoxes(std::size_t count, DWORD timeoutMs = 20000) const;

private:
    void Watch();
    static BOOL CALLBACK AnswerWindow(HWND window, LPARAM self);

    mutable std::mutex mutex_;
    std::map<std::wstring, Handler> handlers_;
    std::map<std::wstring, int> answered_;
    std::vector<ShownBox> boxes_;
    std::set<HWND> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace bexlo::test
