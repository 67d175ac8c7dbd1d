#include "app/TrayIcon.h"

#include <cwchar>
#include <iterator>

#include "framework/SystemFunction.h"

namespace bexlo {

#ifndef _WIN64
static_assert(NOTIFYICONDATAW_V2_SIZE == 936);
#endif

TrayIcon::~TrayIcon() {
    if (shown_) {
        Delete();
    }
}

UINT TrayIcon::ShellRestartMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void TrayIcon::Fill(HWND owner, UINT callbackMessage, HICON icon) {
    record_ = {};
    record_.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record_.hWnd = owner;
    record_.uID = kId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = callbackMessage;
    record_.hIcon = icon;
    std::wcsncpy(record_.szTip, L"File Backup", std::size(record_.szTip) - 1);
    // An elevated program hears from the shell of the plain user only through this filter. It is
    // looked up, not imported: on Vista the loader would refuse the program before the version
    // check could end it with its own message.
    auto filter = SystemFunction<BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT)>(
        L"user32.dll", "ChangeWindowMessageFilterEx");
    if (filter != nullptr) {
        filter(owner, ShellRestartMessage(), MSGFLT_ALLOW, nullptr);
    }
}

bool TrayIcon::Add() {
    if (record_.hWnd == nullptr) {
        return false;
    }
    if (!::Shell_NotifyIconW(NIM_ADD, &record_)) {
        return false;
    }
    shown_ = true;
    return true;
}

void TrayIcon::Delete() {
    if (record_.hWnd != nullptr) {
        ::Shell_NotifyIconW(NIM_DELETE, &record_);
    }
    shown_ = false;
}

}  // namespace bexlo
