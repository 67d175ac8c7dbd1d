#include "framework/Control.h"

#include <commctrl.h>

#include "framework/Guard.h"

namespace bexlo {

namespace {

// comctl32 exports GetWindowSubclass only by ordinal, and the import library lacks it.
using GetWindowSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);

GetWindowSubclassFn ResolveGetWindowSubclass() {
    HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
    if (comctl == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<GetWindowSubclassFn>(
        reinterpret_cast<void*>(::GetProcAddress(comctl, MAKEINTRESOURCEA(411))));
}

}  // namespace

Control::~Control() {
    Detach();
}

bool Control::Attach(HWND window) {
    if (window_ != nullptr || window == nullptr) {
        return false;
    }
    if (!::SetWindowSubclass(window, &Control::SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    window_ = window;
    OnAttached();
    return true;
}

void Control::Detach() {
    if (window_ != nullptr) {
        ::RemoveWindowSubclass(window_, &Control::SubclassProc, kSubclassId);
        window_ = nullptr;
    }
}

Control* Control::FromHandle(HWND window) {
    static const GetWindowSubclassFn getWindowSubclass = ResolveGetWindowSubclass();
    DWORD_PTR refData = 0;
    if (window == nullptr || getWindowSubclass == nullptr ||
        !getWindowSubclass(window, &Control::SubclassProc, kSubclassId, &refData)) {
        return nullptr;
    }
    return reinterpret_cast<Control*>(refData);
}

MsgResult Control::OnReflected(UINT, WPARAM, LPARAM) {
    return MsgResult::NotHandled();
}

MsgResult Control::OnMessage(UINT, WPARAM, LPARAM) {
    return MsgResult::NotHandled();
}

LRESULT Control::CallDefault(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::DefSubclassProc(window_, message, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR refData) {
    auto* self = reinterpret_cast<Control*>(refData);
    if (message == WM_NCDESTROY) {
        // The window goes first; the object may live on and be attached again.
        self->window_ = nullptr;
        ::RemoveWindowSubclass(window, &Control::SubclassProc, kSubclassId);
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT &&
        !self->accessible_.name.empty()) {
        std::optional<LRESULT> answer;
        GuardCall(L"Control",
                  [&] { answer = AnswerAccessibleObject(window, wParam, self->accessible_); });
        if (answer) {
            return *answer;
        }
    }
    MsgResult result;
    if (GuardCall(L"Control", [&] { result = self->OnMessage(message, wParam, lParam); }) &&
        result.handled) {
        return result.value;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace bexlo
