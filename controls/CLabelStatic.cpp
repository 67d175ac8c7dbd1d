#include "controls/CLabelStatic.h"

#include "framework/Handles.h"

namespace bexlo {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

}  // namespace

void CLabelStatic::PaintTransparent(HBITMAP bitmap, HDC dc) const {
    if (bitmap == nullptr || dc == nullptr || Handle() == nullptr) {
        return;
    }
    RECT client{};
    ::GetClientRect(Handle(), &client);
    PaintTransparent(bitmap, dc, {client.right - client.left, client.bottom - client.top});
}

void CLabelStatic::PaintTransparent(HBITMAP bitmap, HDC dc, SIZE size) const {
    if (bitmap == nullptr || dc == nullptr) {
        return;
    }
    const int width = size.cx;
    const int height = size.cy;

    UniqueBitmap mask(::CreateBitmap(width, height, 1, 1, nullptr));
    UniqueMemoryDc maskDc(::CreateCompatibleDC(dc));
    UniqueMemoryDc imageDc(::CreateCompatibleDC(dc));
    if (!mask || !maskDc || !imageDc) {
        return;
    }
    ScopedSelect selectMask(maskDc.Get(), mask.Get());
    ScopedSelect selectImage(imageDc.Get(), bitmap);

    // Colour to monochrome: pixels of the image's background colour become 1.
    ::SetBkColor(imageDc.Get(), kWhite);
    ::BitBlt(maskDc.Get(), 0, 0, width, height, imageDc.Get(), 0, 0, SRCCOPY);

    // Monochrome to colour maps 1 to the target's background colour and 0 to its text colour, so
    // the AND below keeps the target where the mask is 1 and clears it elsewhere.
    const COLORREF oldBack = ::SetBkColor(dc, kWhite);
    const COLORREF oldText = ::SetTextColor(dc, kBlack);
    ::BitBlt(dc, 0, 0, width, height, imageDc.Get(), 0, 0, SRCINVERT);
    ::BitBlt(dc, 0, 0, width, height, maskDc.Get(), 0, 0, SRCAND);
    ::BitBlt(dc, 0, 0, width, height, imageDc.Get(), 0, 0, SRCINVERT);
    ::SetBkColor(dc, oldBack);
    ::SetTextColor(dc, oldText);
}

}  // namespace bexlo
