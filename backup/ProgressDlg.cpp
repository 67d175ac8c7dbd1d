#include "backup/ProgressDlg.h"

#include <commctrl.h>
#include <oleacc.h>

#include "framework/CaptionText.h"

namespace bexlo {

ProgressDlg::~ProgressDlg() {
    DestroyWindow();
}

bool ProgressDlg::Create(HWND parent) {
    owner = parent != nullptr ? ::GetAncestor(parent, GA_ROOT) : nullptr;
    ownerDisabled = false;
    if (owner != nullptr && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    if (!Dialog::Create(owner)) {
        if (ownerDisabled) {
            ::EnableWindow(owner, TRUE);
        }
        ownerDisabled = false;
        return false;
    }
    ::SetDlgItemTextW(Handle(), IDC_PROGRESS_STATUS, statusText.c_str());
    ::ShowWindow(Handle(), SW_SHOWNORMAL);
    return true;
}

void ProgressDlg::DestroyWindow() {
    if (ownerDisabled && owner != nullptr && ::IsWindow(owner)) {
        ::EnableWindow(owner, TRUE);
    }
    ownerDisabled = false;
    if (Handle() != nullptr) {
        ::DestroyWindow(Handle());
    }
}

void ProgressDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_PROGRESS_BAR, bar);
}

bool ProgressDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    bar.SetAccessible({WithoutTrailingColon(statusText), ROLE_SYSTEM_PROGRESSBAR, BarValue});
    HWND bar = Item(IDC_PROGRESS_BAR);
    ::SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    wchar_t caption[128]{};
    ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(captionId), caption, 128);
    ::SetWindowTextW(Handle(), caption);
    return true;
}

void ProgressDlg::PumpMessages() const {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (Handle() != nullptr && ::IsDialogMessageW(Handle(), &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::wstring ProgressDlg::PercentText(int position, int lower, int upper) {
    if (upper <= lower) {
        return L"0%";
    }
    int percent = (position - lower) * 100 / (upper - lower);
    if (percent != 100) {
        percent %= 100;
    }
    return std::to_wstring(percent) + L'%';
}

std::wstring ProgressDlg::BarValue(HWND bar) {
    const auto position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
    PBRANGE range{};
    ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return PercentText(position, range.iLow, range.iHigh);
}

int ProgressDlg::SetPos(int newPos) {
    PumpMessages();
    const int previous = pos;
    pos = newPos;
    if (Handle() == nullptr) {
        return previous;
    }
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(newPos), 0);
    const std::wstring text = PercentText(newPos, lower, upper);
    wchar_t shown[32]{};
    ::GetDlgItemTextW(Handle(), IDC_PROGRESS_PERCENT, shown, 32);
    if (text != shown) {
        ::SetDlgItemTextW(Handle(), IDC_PROGRESS_PERCENT, text.c_str());
    }
    return previous;
}

}  // namespace bexlo
