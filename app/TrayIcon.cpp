#include "app/TrayIcon.h"

#include <algorithm>
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
    WriteTip();
    // An elevated program hears from the shell of the plain user only through this filter. It is
    // looked up, not imported: on Vista the loader would refuse the program before the version
    // check could end it with its own message.
    auto filter = SystemFunction<BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT)>(
        L"user32.dll", "ChangeWindowMessageFilterEx");
    if (filter != nullptr) {
        filter(owner, ShellRestartMessage(), MSGFLT_ALLOW, nullptr);
    }
}

void TrayIcon::WriteTip() {
    std::wstring tip = L"File Backup";
    if (!detail_.empty()) {
        tip += L"\n" + detail_;
    }
    std::fill(std::begin(record_.szTip), std::end(record_.szTip), L'\0');
    std::wcsncpy(record_.szTip, tip.c_str(), std::size(record_.szTip) - 1);
}

void TrayIcon::SetTipDetail(const std::wstring& detail) {
    detail_ = detail;
    WriteTip();
    if (shown_) {
        ::Shell_NotifyIconW(NIM_MODIFY, &record_);
    }
}

bool TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
    if (!shown_) {
        return false;
    }
    NOTIFYICONDATAW balloon = record_;
    balloon.uFlags = NIF_INFO;
    std::wcsncpy(balloon.szInfoTitle, title.c_str(), std::size(balloon.szInfoTitle) - 1);
    std::wcsncpy(balloon.szInfo, text.c_str(), std::size(balloon.szInfo) - 1);
    balloon.dwInfoFlags = NIIF_INFO;
    // Windows before Vista takes it; later ones keep the balloon up as long as the person's
    // settings say.
    balloon.uTimeout = 30'000;
    return ::Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

void TrayIcon::HideBalloon() {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW balloon = record_;
    balloon.uFlags = NIF_INFO;
    ::Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

bool TrayIcon::Add() {
    if (record_.hWnd == nullptr) {
        return false;
    }
    if (shown_) {
        return true;
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
