#include "controls/ColouredControl.h"

namespace bexlo {

ColouredControl::ColouredControl() : backColour(::GetSysColor(COLOR_BTNFACE)) {
    backBrush.Reset(::CreateSolidBrush(backColour));
}

void ColouredControl::SetBackColour(COLORREF colour) {
    backColour = colour;
    backBrush.Reset(::CreateSolidBrush(colour));
    Redraw();
}

void ColouredControl::SetTextColour(COLORREF colour) {
    textColour = colour;
    Redraw();
}

void ColouredControl::Redraw() const {
    if (Handle() != nullptr) {
        ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
}

MsgResult ColouredControl::OnReflected(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN && message != WM_CTLCOLOREDIT) {
        return MsgResult::NotHandled();
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkColor(dc, backColour);
    ::SetTextColor(dc, textColour);
    return MsgResult::Handled(reinterpret_cast<LRESULT>(backBrush.Get()));
}

}  // namespace bexlo
