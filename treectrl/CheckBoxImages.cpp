#include "treectrl/CheckBoxImages.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "framework/Dpi.h"

namespace bexlo {

namespace {

void DrawCheckBox(HDC dc, HTHEME theme, RECT box, bool checked) {
    if (theme != nullptr) {
        ::DrawThemeBackground(theme, dc, BP_CHECKBOX,
                              checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL, &box, nullptr);
        return;
    }
    ::DrawFrameControl(dc, &box, DFC_BUTTON,
                       DFCS_BUTTONCHECK | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
}

}  // namespace

UniqueImageList MakeCheckBoxImages(int dpi) {
    const int size = SystemMetricAt(SM_CXSMICON, dpi);
    const int box = size * 3 / 4;
    const int margin = (size - box) / 2;
    UniqueImageList images(::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 3, 0));
    HDC screen = ::GetDC(nullptr);
    UniqueBitmap strip(::CreateCompatibleBitmap(screen, 3 * size, size));
    UniqueMemoryDc dc(::CreateCompatibleDC(screen));
    ::ReleaseDC(nullptr, screen);
    if (!images || !strip || !dc) {
        return {};
    }
    const COLORREF back = ::GetSysColor(COLOR_WINDOW);
    {
        ScopedSelect select(dc.Get(), strip.Get());
        UniqueBrush fill(::CreateSolidBrush(back));
        const RECT all{0, 0, 3 * size, size};
        ::FillRect(dc.Get(), &all, fill.Get());
        // Opened for no window: a theme opened for the tree would become the tree's own.
        HTHEME theme = ::IsThemeActive() ? ::OpenThemeData(nullptr, L"BUTTON") : nullptr;
        for (int image : {1, 2}) {
            const int left = image * size + margin;
            DrawCheckBox(dc.Get(), theme, {left, margin, left + box, margin + box}, image == 2);
        }
        if (theme != nullptr) {
            ::CloseThemeData(theme);
        }
    }
    ::ImageList_AddMasked(images.Get(), strip.Get(), back);
    return images;
}

}  // namespace bexlo
