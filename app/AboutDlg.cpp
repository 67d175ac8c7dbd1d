#include "app/AboutDlg.h"

#include "framework/Handles.h"
#include "res/resource.h"

namespace bexlo {

namespace {

// The art's top line, which stays sharp.
constexpr int kArtHead = 2;

}  // namespace

AboutDlg::AboutDlg()
    : Dialog(IDD_ABOUT),
      art({IDB_ABOUT, IDB_ABOUT_125, IDB_ABOUT_150, IDB_ABOUT_175, IDB_ABOUT_200}, kArtHead, 0) {}

AboutDlg::~AboutDlg() = default;

void AboutDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_ABOUT_BACKGROUND, background);
}

bool AboutDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    if (NearestArtScale(Dpi()) != kArtScales.front()) {
        OnScaleChanged(Dpi());
    }
    return true;
}

void AboutDlg::OnScaleChanged(int dpi) {
    constexpr int kLogos[] = {IDB_LOGO, IDB_LOGO_125, IDB_LOGO_150, IDB_LOGO_175, IDB_LOGO_200};
    const int percent = NearestArtScale(dpi);
    for (std::size_t i = 0; i < kArtScales.size(); ++i) {
        if (kArtScales[i] == percent) {
            UniqueBitmap scaled(static_cast<HBITMAP>(::LoadImageW(
                ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kLogos[i]), IMAGE_BITMAP, 0, 0, 0)));
            // The bitmap the control had, its own from the template or ours, goes.
            UniqueBitmap previous(reinterpret_cast<HBITMAP>(
                ::SendDlgItemMessageW(Handle(), IDC_ABOUT_LOGO, STM_SETIMAGE, IMAGE_BITMAP,
                                      reinterpret_cast<LPARAM>(scaled.Get()))));
            if (previous.Get() == logo.Get()) {
                previous.Release();
            }
            logo = std::move(scaled);
        }
    }
}

MsgResult AboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PaintScope paint(Handle());
        RECT client{};
        ::GetClientRect(Handle(), &client);
        HBITMAP picture = art.Picture(Dpi(), {client.right, client.bottom});
        background.PaintTransparent(picture, paint.Dc(), art.PictureSize());
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
