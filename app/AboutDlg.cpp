#include "app/AboutDlg.h"

#include "framework/Handles.h"
#include "res/resource.h"

namespace bexlo {

AboutDlg::AboutDlg() : Dialog(IDD_ABOUT) {}

AboutDlg::~AboutDlg() = default;

void AboutDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_ABOUT_BACKGROUND, background);
}

MsgResult AboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PaintScope paint(Handle());
        auto bitmap = reinterpret_cast<HBITMAP>(
            ::SendMessageW(background.Handle(), STM_GETIMAGE, IMAGE_BITMAP, 0));
        background.PaintTransparent(bitmap, paint.Dc());
        return MsgResult::Handled();
    }
    if (message == WM_CTLCOLORSTATIC) {
        const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id >= IDC_ABOUT_PRODUCT && id <= IDC_ABOUT_RIGHTS) {
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return MsgResult::Handled(reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH)));
        }
    }
    return MsgResult::NotHandled();
}

}  // namespace bexlo
