#include "framework/Dialog.h"

#include <utility>
#include <vector>

#include "framework/Dpi.h"
#include "framework/Guard.h"

namespace bexlo {

namespace {

// Messages whose result a dialog procedure returns directly instead of through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

bool IsColourMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

}  // namespace

bool DataExchange::Bind(int id, Control& control) {
    HWND item = Item(id);
    if (item == nullptr) {
        failed_ = true;
        return false;
    }
    if (!saving_ && control.Handle() == nullptr && !control.Attach(item)) {
        failed_ = true;
        return false;
    }
    return true;
}

Dialog::~Dialog() {
    if (window_ != nullptr) {
        HWND window = window_;
        Forget();
        ::DestroyWindow(window);
    }
}

INT_PTR Dialog::DoModal(HWND parent) {
    modal_ = true;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                             &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
    modal_ = false;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                                &Dialog::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (window_ == nullptr) {
        return;
    }
    if (modal_) {
        ::EndDialog(window_, result);
    } else {
        ::DestroyWindow(window_);
    }
}

bool Dialog::UpdateData(bool saving) {
    DataExchange exchange(window_, saving);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(IDOK);
    }
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

MsgResult Dialog::OnCommand(WORD, WORD, HWND) {
    return MsgResult::NotHandled();
}

MsgResult Dialog::OnNotify(const NMHDR&) {
    return MsgResult::NotHandled();
}

void Dialog::OnTimer(UINT_PTR) {}

MsgResult Dialog::OnMessage(UINT, WPARAM, LPARAM) {
    return MsgResult::NotHandled();
}

MsgResult Dialog::Decode(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            MsgResult result = OnCommand(id, code, reinterpret_cast<HWND>(lParam));
            if (!result.handled && code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) {
                id == IDOK ? OnOK() : OnCancel();
                result = MsgResult::Handled(TRUE);
            }
            return result;
        }
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_TIMER:
            OnTimer(wParam);
            return MsgResult::NotHandled();
        case WM_DPICHANGED:
            return OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        default:
            return OnMessage(message, wParam, lParam);
    }
}

MsgResult Dialog::OnDpiChanged(int dpi, const RECT& suggested) {
    const int fromDpi = std::exchange(dpi_, dpi);
    const bool platform = PlatformRescalesDialogs(window_);
    if (!platform) {
        Rescale(fromDpi);
        ::SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                       suggested.right - suggested.left, suggested.bottom - suggested.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::InvalidateRect(window_, nullptr, TRUE);
    }
    OnScaleChanged(dpi);
    // Otherwise the platform's dialog handling lays the window out anew.
    return platform ? MsgResult::NotHandled() : MsgResult::Handled();
}

void Dialog::Rescale(int fromDpi) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    LOGFONTW look{};
    auto font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    if (font != nullptr && ::GetObjectW(font, sizeof(look), &look) == sizeof(look)) {
        look.lfHeight = ScaleBetween(look.lfHeight, dpi_, fromDpi);
        UniqueFont scaled(::CreateFontIndirectW(&look));
        if (scaled) {
            ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.Get()), FALSE);
            for (HWND child : children) {
                ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.Get()), FALSE);
            }
            // The font the controls had goes only once none of them uses it.
            scaledFont_ = std::move(scaled);
        }
    }
    for (HWND child : children) {
        RECT shown{};
        ::GetWindowRect(child, &shown);
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&shown), 2);
        const Box box = ScaleBox({shown.left, shown.top, shown.right, shown.bottom}, dpi_, fromDpi);
        ::SetWindowPos(child, nullptr, box.left, box.top, box.right - box.left,
                       box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
        // As the platform tells the controls of a dialog it lays out itself.
        ::SendMessageW(child, kDpiChangedAfterParent, 0, 0);
    }
}

void Dialog::Forget() {
    ::SetWindowLongPtrW(window_, DWLP_USER, 0);
    window_ = nullptr;
}

MsgResult Dialog::Reflect(UINT message, WPARAM wParam, LPARAM lParam) const {
    HWND from = nullptr;
    if (message == WM_NOTIFY) {
        from = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    } else if (IsColourMessage(message)) {
        from = reinterpret_cast<HWND>(lParam);
    } else if (message == WM_DRAWITEM && wParam != 0) {  // wParam 0: a menu item
        from = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
    } else if (message == WM_COMMAND && lParam != 0) {
        from = reinterpret_cast<HWND>(lParam);
    }
    Control* control = Control::FromHandle(from);
    if (control == nullptr || ::GetParent(from) != window_) {
        return MsgResult::NotHandled();
    }
    MsgResult result = control->OnReflected(message, wParam, lParam);
    if (IsColourMessage(message) && result.value == 0) {
        result.handled = false;  // no brush: the dialog decides
    }
    return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        dpi_ = WindowDpi(window_);
        return OnInitDialog() ? TRUE : FALSE;
    }
    if (message == WM_DESTROY) {
        OnDestroy();
        return FALSE;
    }
    MsgResult result = Reflect(message, wParam, lParam);
    if (!result.handled) {
        result = Decode(message, wParam, lParam);
    }
    if (!result.handled) {
        return FALSE;
    }
    if (ReturnsDirectly(message)) {
        return static_cast<INT_PTR>(result.value);
    }
    ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, result.value);
    return TRUE;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->window_ = window;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        self->Forget();
        return FALSE;
    }
    INT_PTR answer = FALSE;
    GuardCall(L"Dialog", [&] { answer = self->Dispatch(message, wParam, lParam); });
    return answer;
}

}  // namespace bexlo
