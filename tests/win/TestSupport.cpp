#include "tests/win/TestSupport.h"

#include <wincodec.h>

#include <gtest/gtest.h>

#include "framework/DisplayScale.h"

#include "app/LanguageFiles.h"
#include "backup/WindowsFileSystem.h"
#include "framework/WindowsDataFolder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace bexlo::test {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) {
            return true;
        }
        if (::GetTickCount64() >= end) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

namespace {

WPARAM markersHandled = 0;

LRESULT CALLBACK MarkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        markersHandled = std::max(markersHandled, wParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND MessageWindow(const wchar_t* className, WNDPROC procedure) {
    WNDCLASSW type{};
    type.lpfnWndProc = procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = className;
    ::RegisterClassW(&type);
    return ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             type.hInstance, nullptr);
}

bool PumpPosted(DWORD timeoutMs) {
    // Posted messages are taken in order: once the marker is handled, all before it were.
    static WPARAM posted = 0;
    const WPARAM marker = ++posted;
    // A window, not the thread, so that modal loops hand markers on too.
    static const HWND window = MessageWindow(L"BexloTestMarker", MarkerProc);
    ::PostMessageW(window, WM_APP, marker, 0);
    return PumpUntil([marker] { return markersHandled >= marker; }, timeoutMs);
}

namespace {

MenuSeen menuSeen;
// The menu being closed: it may show for another tick.
HMENU closing = nullptr;

// Ticks inside the menu's own loop: notes each menu that opened and closes it.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = ::FindWindowW(L"#32768", nullptr);
    if (popup == nullptr || !::IsWindowVisible(popup)) {
        closing = nullptr;
        return;
    }
    auto menu = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
    if (menu == closing) {
        return;
    }
    closing = menu;
    ++menuSeen.opened;
    menuSeen.menu = menu;
    ::GetWindowRect(popup, &menuSeen.rect);
    for (int index = 0; index < ::GetMenuItemCount(menu); ++index) {
        const UINT state = ::GetMenuState(menu, static_cast<UINT>(index), MF_BYPOSITION);
        menuSeen.enabled[::GetMenuItemID(menu, index)] = !(state & (MF_GRAYED | MF_DISABLED));
    }
    ::EndMenu();
}

}  // namespace

MenuSeen ReadMenus(const std::function<void()>& open) {
    menuSeen = {};
    // The menu of a call before may show again under the same handle.
    closing = nullptr;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &ReadOpenMenu);
    open();
    EXPECT_TRUE(PumpUntil([] { return menuSeen.opened > 0; })) << "waited for the menu";
    // A second menu would follow from a message the first one left.
    EXPECT_TRUE(PumpPosted()) << "waited for the posted messages";
    ::KillTimer(nullptr, timer);
    return menuSeen;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

namespace {

// Hands `visit` the path and find data of each entry of `folder`, "." and ".." left out.
void ForEachEntry(const std::wstring& folder,
                  const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    for (bool more = find.Valid(); more; more = ::FindNextFileW(find.Get(), &entry)) {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            visit(folder + L"\\" + name, entry);
        }
    }
}

}  // namespace

void ClearDataFolder() {
    PrepareDataFolder();
    ForEachEntry(DataFolder(), [](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::DeleteFileW(path.c_str());
        }
    });
}

void MakeFolders(const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
}

// Links are removed, never followed.
void RemoveTree(const std::wstring& path) {
    ForEachEntry(path, [](const std::wstring& child, const WIN32_FIND_DATAW& entry) {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::DeleteFileW(child.c_str());
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            ::RemoveDirectoryW(child.c_str());
        } else {
            RemoveTree(child);
        }
    });
    ::RemoveDirectoryW(path.c_str());
}

namespace {

// The Unix name of a path in the prefix; empty when Wine cannot give one.
std::wstring UnixName(const std::wstring& path) {
    using UnixNameCall = char* (*)(const wchar_t*);
    const auto call = reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const std::size_t slash = path.rfind(L'\\');
    char* folder = call != nullptr ? call(path.substr(0, slash).c_str()) : nullptr;
    if (folder == nullptr) {
        return {};
    }
    std::wstring name(folder, folder + std::strlen(folder));
    ::HeapFree(::GetProcessHeap(), 0, folder);
    return name + L"/" + path.substr(slash + 1);
}

// Starts a Unix program; Wine gives no handle to wait on, so the caller waits for what it does.
bool StartUnix(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const bool started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &info);
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    return started;
}

}  // namespace

bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
    const std::wstring unixLink = UnixName(link);
    const std::wstring unixTarget = UnixName(target);
    return !unixLink.empty() && !unixTarget.empty() &&
           StartUnix(L"/bin/ln -s \"" + unixTarget + L"\" \"" + unixLink + L"\"") &&
           PumpUntil([&] { return Exists(link); }, 10000);
}

bool RemoveUnixLink(const std::wstring& link) {
    const std::wstring unixLink = UnixName(link);
    return !unixLink.empty() && StartUnix(L"/bin/rm -f \"" + unixLink + L"\"") &&
           PumpUntil([&] { return !Exists(link); }, 10000);
}

std::map<std::wstring, std::string> ReadTree(const std::wstring& folder) {
    std::map<std::wstring, std::string> contents;
    std::function<void(const std::wstring&)> read = [&](const std::wstring& at) {
        ForEachEntry(at, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
            const std::wstring key = path.substr(folder.size() + 1);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                contents[key] = "<folder>";
                read(path);
            } else {
                const auto bytes = ReadFileBytes(path, SIZE_MAX);
                contents[key] = bytes ? std::string(bytes->begin(), bytes->end()) : "<unreadable>";
            }
        });
    };
    read(folder);
    return contents;
}

void ShiftLastWrite(const std::wstring& path, int seconds) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME written{};
    ::GetFileTime(file.Get(), nullptr, nullptr, &written);
    ULARGE_INTEGER time{{written.dwLowDateTime, written.dwHighDateTime}};
    time.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(seconds) * 10'000'000);
    written = {time.LowPart, time.HighPart};
    ::SetFileTime(file.Get(), nullptr, nullptr, &written);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string FileText(const std::wstring& path) {
    const auto bytes = ReadFileBytes(path, 16 << 20);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<missing>";
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    WriteBytes(path, bytes);
}

void PrepareSimulatorFolder(const std::wstring& folder, const std::string& description) {
    const std::wstring built = ProgramFolder() + L"sim\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name :
         {L"PLx507.dll", L"JMUsbDll.dll", L"JMESata.dll", L"sp216.dll", L"BexloSim.exe"}) {
        ::CopyFileW((built + name).c_str(), (folder + L"\\" + name).c_str(), FALSE);
    }
    WriteBytes(folder + L"\\enclosures.txt", description);
}

std::wstring WindowText(HWND window) {
    wchar_t text[512]{};
    ::GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[128]{};
    ::GetClassNameW(window, name, 128);
    return name;
}

int CaptionWidth(HWND control, int dpi) {
    HDC dc = ::GetDC(control);
    auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font);
    const std::wstring text = WindowText(control);
    RECT needed{};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    const LONG type = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (ClassName(control) == L"Button") {
        return needed.right + ScaleToDpi(type == BS_AUTORADIOBUTTON ? 16 : 8, dpi);
    }
    return needed.right;
}

Picture CaptureClient(HWND window) {
    Picture picture;
    RECT client{};
    ::GetClientRect(window, &client);
    picture.width = client.right;
    picture.height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC windowDc = ::GetDC(window);
    UniqueBitmap copy(::CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc copyDc(::CreateCompatibleDC(windowDc));
    {
        ScopedSelect select(copyDc.Get(), copy.Get());
        ::BitBlt(copyDc.Get(), 0, 0, picture.width, picture.height, windowDc, 0, 0, SRCCOPY);
    }
    ::ReleaseDC(window, windowDc);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < picture.width * picture.height; ++i) {
        const std::uint32_t bgr = pixels[i];
        picture.pixels.push_back(RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF));
    }
    return picture;
}

bool SavePng(const Picture& picture, const std::wstring& path) {
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.Put()))) ||
        FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.Put(), nullptr)) ||
        FAILED(frame->Initialize(nullptr)) ||
        FAILED(
            frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height)))) {
        return false;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR) {
        return false;
    }
    const UINT stride = static_cast<UINT>(picture.width) * 3;
    std::vector<BYTE> rows;
    for (COLORREF colour : picture.pixels) {
        rows.insert(rows.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour)});
    }
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(picture.height), stride,
                                        static_cast<UINT>(rows.size()), rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

std::wstring ArtifactsFolder() {
    const std::wstring folder = ProgramFolder() + L"..\\artifacts\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments,
                           const std::wstring& currentFolder) {
    Start(nullptr, program, arguments, currentFolder);
}

ChildProcess::ChildProcess(WithoutRights, const std::wstring& program,
                           const std::wstring& arguments) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(),
                            TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &raw)) {
        return;
    }
    UniqueKernelHandle own(raw);
    BYTE administrators[SECURITY_MAX_SID_SIZE]{};
    DWORD size = sizeof(administrators);
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        return;
    }
    SID_AND_ATTRIBUTES denyOnly{administrators, 0};
    if (!::CreateRestrictedToken(own.Get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, &raw)) {
        return;
    }
    UniqueKernelHandle limited(raw);
    Start(limited.Get(), program, arguments, {});
}

void ChildProcess::Start(HANDLE token, const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& currentFolder) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const wchar_t* folder = currentFolder.empty() ? nullptr : currentFolder.c_str();
    const BOOL started =
        token == nullptr
            ? ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder, &startup, &info)
            : ::CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, folder, &startup, &info);
    if (started) {
        process_.Reset(info.hProcess);
        ::CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
}

ChildProcess::~ChildProcess() {
    if (process_ && !WaitForExit(0)) {
        ::TerminateProcess(process_.Get(), 1);
        WaitForExit(5000);
    }
}

DWORD ChildProcess::RunToEnd(DWORD ms) const {
    HANDLE process = process_.Get();
    if (!PumpUntil([process] { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, ms)) {
        return static_cast<DWORD>(-1);
    }
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process, &code);
    return code;
}

bool ChildProcess::WaitForExit(DWORD ms) const {
    return ::WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0;
}

std::wstring StaticTexts(HWND window) {
    std::wstring texts;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = WindowText(child);
        if (!text.empty() && ::lstrcmpiW(ClassName(child).c_str(), L"Static") == 0) {
            texts += (texts.empty() ? L"" : L"\n") + text;
        }
    }
    return texts;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* caption,
                       const std::function<bool(HWND)>& wanted) {
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, nullptr, caption)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!wanted || wanted(window))) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForProgramWindow(DWORD processId, bool visible, DWORD ms) {
    HWND window = nullptr;
    PumpUntil(
        [&] {
            window = FindProcessWindow(processId, L"Bexlo");
            return window != nullptr && (!visible || ::IsWindowVisible(window));
        },
        ms);
    return window;
}

bool Answers(HWND window, DWORD ms) {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, ms, &answer) != 0;
}

namespace {

// A box exists before it is filled: its template's buttons carry every caption, and its text is
// set while it is still hidden. Only a shown box with a text is read.
bool BoxIsFilled(HWND box) {
    return box != nullptr && ::IsWindowVisible(box) && !StaticTexts(box).empty();
}

}  // namespace

HWND WaitForProcessBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs) {
    HWND box = nullptr;
    // An answered box of the same caption may not have gone yet.
    PumpUntil([&] { return (box = FindProcessWindow(processId, caption, BoxIsFilled)) != nullptr; },
              timeoutMs);
    return box;
}

bool AnswerProcessBox(HWND box) {
    ClickOk(box);
    return PumpUntil([box] { return !::IsWindowVisible(box); });
}

namespace {

// A message box: a dialog with an OK button and none of the program's own controls (numbered from
// 1000; the platform's box may use 1088 for its icon).
bool IsMessageBox(HWND window) {
    if (ClassName(window) != L"#32770" || !::IsWindowVisible(window) ||
        ::GetDlgItem(window, IDOK) == nullptr) {
        return false;
    }
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id >= 1000 && id < 1088) {
            return false;
        }
    }
    // Read last: asking a window for its text waits for its thread.
    return BoxIsFilled(window);
}

}  // namespace

MessageBoxWatch::MessageBoxWatch() : thread_([this] { Watch(); }) {}

MessageBoxWatch::~MessageBoxWatch() {
    stop_ = true;
    thread_.join();
}

void MessageBoxWatch::Watch() {
    while (!stop_) {
        {
            std::lock_guard lock(mutex_);
            std::erase_if(seen_, [](HWND window) { return !::IsWindow(window); });
        }
        ::EnumWindows(AnswerWindow, reinterpret_cast<LPARAM>(this));
        ::Sleep(20);
    }
}

void MessageBoxWatch::On(const std::wstring& caption, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[caption] = std::move(handler);
}

int MessageBoxWatch::Answered(const std::wstring& caption) const {
    std::lock_guard lock(mutex_);
    auto found = answered_.find(caption);
    return found == answered_.end() ? 0 : found->second;
}

BOOL CALLBACK MessageBoxWatch::AnswerWindow(HWND window, LPARAM self) {
    auto& watch = *reinterpret_cast<MessageBoxWatch*>(self);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) {
        return TRUE;
    }
    // Read without a message to the window's thread, which may be busy.
    wchar_t caption[256]{};
    ::InternalGetWindowText(window, caption, 256);
    Handler handler;
    {
        std::lock_guard lock(watch.mutex_);
        auto found = watch.handlers_.find(caption);
        if (found != watch.handlers_.end() && watch.seen_.insert(window).second) {
            ++watch.answered_[caption];
            handler = found->second;
        }
    }
    if (handler) {
        handler(window);
        return TRUE;
    }
    if (!IsMessageBox(window)) {
        return TRUE;
    }
    ShownBox box{WindowText(window), StaticTexts(window)};
    {
        std::lock_guard lock(watch.mutex_);
        if (!watch.seen_.insert(window).second) {
            return TRUE;
        }
        watch.boxes_.push_back(std::move(box));
    }
    ClickOk(window);
    return TRUE;
}

std::vector<ShownBox> MessageBoxWatch::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

bool MessageBoxWatch::WaitForBoxes(std::size_t count, DWORD timeoutMs) const {
    return PumpUntil([&] { return Boxes().size() >= count; }, timeoutMs);
}

}  // namespace bexlo::test
