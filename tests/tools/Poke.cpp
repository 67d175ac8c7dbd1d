// Poke: drives the program's windows from a script, as a person's clicks would.
//   Poke command CAPTION ID          the button ID of the window CAPTION is clicked
//   Poke message CAPTION MSG WP LP   posts a message (numbers as in C: 0x405, 516 ...)
//   Poke rect CAPTION                prints the shown window's rectangle and its client area's,
//                                    in screen pixels: left top width height, twice
//   Poke hold FILE                   opens FILE without sharing and keeps it open until ended;
//                                    prints "held" once it is
//   Poke decoy CAPTION               shows a dialog-class window captioned CAPTION until ended, as
//                                    another program's window of that name would be
//   Poke lock NAME...                makes the mutexes NAME, open to everyone, and holds them
//                                    until ended, as another program that took the names first
//                                    would
// Exits 1 when the window (shown, for rect) or the file is not there.

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

LPARAM Number(const wchar_t* text) {
    return static_cast<LPARAM>(std::wcstoll(text, nullptr, 0));
}

int Usage() {
    std::fputs(
        "usage: Poke command CAPTION ID | message CAPTION MSG WPARAM LPARAM | rect CAPTION | "
        "hold FILE | decoy CAPTION | lock NAME...\n",
        stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::wstring verb = argv[1];
    if (verb == L"hold") {
        HANDLE file = ::CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return 1;
        }
        std::puts("held");
        std::fflush(stdout);
        ::Sleep(INFINITE);
        return 0;
    }
    if (verb == L"decoy") {
        HWND decoy = ::CreateWindowExW(0, L"#32770", argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                                       40, 320, 200, nullptr, nullptr, nullptr, nullptr);
        if (decoy == nullptr) {
            return 1;
        }
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        return 0;
    }
    if (verb == L"lock") {
        PSECURITY_DESCRIPTOR everyone = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:(A;;GA;;;WD)", SDDL_REVISION_1, &everyone, nullptr)) {
            return 1;
        }
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), everyone, FALSE};
        for (int i = 2; i < argc; ++i) {
            if (::CreateMutexW(&attributes, TRUE, argv[i]) == nullptr) {
                return 1;
            }
        }
        ::Sleep(INFINITE);
        return 0;
    }
    HWND window = ::FindWindowW(nullptr, argv[2]);
    if (window == nullptr) {
        return 1;
    }
    if (verb == L"rect") {
        RECT outer{};
        RECT client{};
        if (!::IsWindowVisible(window) || !::GetWindowRect(window, &outer) ||
            !::GetClientRect(window, &client)) {
            return 1;
        }
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        std::printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", outer.left, outer.top,
                    outer.right - outer.left, outer.bottom - outer.top, origin.x, origin.y,
                    client.right, client.bottom);
        return 0;
    }
    if (verb == L"command" && argc == 4) {
        const int id = static_cast<int>(Number(argv[3]));
        return ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(::GetDlgItem(window, id)))
                   ? 0
                   : 1;
    }
    if (verb == L"message" && argc == 6) {
        return ::PostMessageW(window, static_cast<UINT>(Number(argv[3])),
                              static_cast<WPARAM>(Number(argv[4])), Number(argv[5]))
                   ? 0
                   : 1;
    }
    return Usage();
}
