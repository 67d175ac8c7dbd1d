#include "controls/CCButton.h"

#include <algorithm>
#include <string>

namespace bexlo {

namespace {

constexpr int kShades = 64;
constexpr int kMaxCaption = 260;

UniquePen FramePen(int width, COLORREF colour) {
    return UniquePen(::CreatePen(PS_INSIDEFRAME, width, colour));
}

void Line(HDC dc, HPEN pen, int fromX, int fromY, int toX, int toY) {
    ::SelectObject(dc, pen);
    ::MoveToEx(dc, fromX, fromY, nullptr);
    ::LineTo(dc, toX, toY);
}

COLORREF Shade(int step, bool hovering, bool highlighted) {
    const int grey = 255 - step / (hovering ? 4 : 3);
    const int blueDivisor = !highlighted ? 5 : hovering ? 3 : 4;
    return RGB(grey, grey, 255 - step / blueDivisor);
}

}  // namespace

CCButton::CCButton()
    : outlinePen(FramePen(1, RGB(0, 0, 0))),
      hoverPens{FramePen(3, RGB(250, 196, 88)), FramePen(3, RGB(251, 202, 106)),
                FramePen(2, RGB(252, 210, 121)), FramePen(2, RGB(229, 151, 0))},
      focusPens{FramePen(3, RGB(153, 198, 252)), FramePen(3, RGB(162, 189, 252)),
                FramePen(2, RGB(162, 201, 255)), FramePen(2, RGB(162, 201, 255))} {}

void CCButton::OnAttached() {
    ::SetWindowLongPtrW(Handle(), GWL_STYLE,
                        ::GetWindowLongPtrW(Handle(), GWL_STYLE) | BS_OWNERDRAW);
}

MsgResult CCButton::OnMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (tracking == 0) {
                TRACKMOUSEEVENT track{};
                track.cbSize = sizeof(track);
                track.dwFlags = TME_LEAVE | TME_HOVER;
                track.hwndTrack = Handle();
                track.dwHoverTime = 1;
                tracking = ::TrackMouseEvent(&track);
            }
            return MsgResult::NotHandled();
        case WM_MOUSELEAVE:
            hovering = 0;
            tracking = 0;
            ::InvalidateRect(Handle(), nullptr, FALSE);
            return MsgResult::Handled();
        case WM_MOUSEHOVER:
            hovering = 1;
            ::InvalidateRect(Handle(), nullptr, TRUE);
            return MsgResult::Handled();
        default:
            return MsgResult::NotHandled();
    }
}

MsgResult CCButton::OnReflected(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_DRAWITEM) {
        return MsgResult::NotHandled();
    }
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return MsgResult::Handled(TRUE);
}

void CCButton::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    ScopedDcState state(dc);
    wchar_t caption[kMaxCaption]{};
    const int length = ::GetWindowTextW(item.hwndItem, caption, kMaxCaption);

    RECT rect = item.rcItem;
    ::SelectObject(dc, outlinePen.Get());
    ::RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, 5, 5);

    focused = highlighted = (item.itemState & ODS_FOCUS) ? 1 : 0;
    if (item.itemState & (ODS_SELECTED | ODS_DEFAULT)) {
        highlighted = 1;
    }
    ::InflateRect(&rect, -::GetSystemMetrics(SM_CXEDGE), -::GetSystemMetrics(SM_CYEDGE));

    DrawBackground(dc, rect);
    if (hovering || focused) {
        DrawFrame(dc, rect);
    }
    if (length == 0) {
        return;
    }

    auto font = reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    if (font != nullptr) {
        ::SelectObject(dc, font);
    }
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, caption, length, &extent);
    int x = (rect.left + rect.right) / 2 - extent.cx / 2 + 2;
    int y = (rect.top + rect.bottom) / 2 - extent.cy / 2;
    if (item.itemState & ODS_SELECTED) {
        ++x;
        ++y;
    }
    ::SetBkMode(dc, TRANSPARENT);
    const UINT look = (item.itemState & ODS_DISABLED) ? DSS_DISABLED : DSS_NORMAL;
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption), length, x, y, extent.cx,
                 extent.cy, DST_PREFIXTEXT | look);
}

// Rows go by the rectangle's absolute row number over its height, down to one row below it.
void CCButton::DrawBackground(HDC dc, const RECT& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (height <= 0) {
        return;
    }
    std::array<UniqueBrush, kShades> brushes;
    for (int step = 0; step < kShades; ++step) {
        brushes[step].Reset(::CreateSolidBrush(Shade(step, hovering != 0, highlighted != 0)));
    }
    for (int y = rect.top; y <= height + 2; ++y) {
        const RECT row{rect.left, y, width + 2, y + 1};
        ::FillRect(dc, &row, brushes[std::min(kShades - 1, y * (kShades - 1) / height)].Get());
    }
}

void CCButton::DrawFrame(HDC dc, const RECT& rect) {
    const FramePens& pens = (focused == 0 || hovering == 1) ? hoverPens : focusPens;
    POINT position{};
    ::GetCurrentPositionEx(dc, &position);
    HGDIOBJ oldPen = ::GetCurrentObject(dc, OBJ_PEN);
    Line(dc, pens[kLeft].Get(), rect.left, rect.bottom - 1, rect.left, rect.top + 1);
    Line(dc, pens[kRight].Get(), rect.right - 1, rect.bottom - 1, rect.right - 1, rect.top);
    Line(dc, pens[kTop].Get(), rect.left - 1, rect.top, rect.right - 1, rect.top);
    Line(dc, pens[kBottom].Get(), rect.left, rect.bottom, rect.right - 1, rect.bottom);
    if (focused == 1 && hovering == 0) {
        ::DrawFocusRect(dc, &rect);
    }
    ::MoveToEx(dc, position.x, position.y, nullptr);
    ::SelectObject(dc, oldPen);
}

}  // namespace bexlo
