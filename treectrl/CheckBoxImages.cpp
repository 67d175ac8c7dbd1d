#include "treectrl/CheckBoxImages.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "framework/Dpi.h"
#include "framework/Handles.h"
#include "framework/SystemFunction.h"

namespace bexlo {

namespace {

// The theme library is not one the loader takes from the system alone, so it is loaded from the
// system folder; without it the boxes are drawn in the classic style.
class ThemeLibrary {
public:
    ThemeLibrary() : module_(LoadSystemLibrary(L"uxtheme.dll")) {
        if (module_) {
            isActive_ = LibraryFunction<decltype(&::IsThemeActive)>(module_.Get(), "IsThemeActive");
            open_ = LibraryFunction<decltype(&::OpenThemeData)>(module_.Get(), "OpenThemeData");
            close_ = LibraryFunction<decltype(&::CloseThemeData)>(module_.Get(), "CloseThemeData");
            drawBackground_ = LibraryFunction<decltype(&::DrawThemeBackground)>(
                module_.Get(), "DrawThemeBackground");
        }
    }

    static const ThemeLibrary& Get() {
        static const ThemeLibrary library;
        return library;
    }

    // Null when there is no active theme or no library.
    HTHEME OpenButtons() const {
        if (isActive_ == nullptr || open_ == nullptr || close_ == nullptr ||
            drawBackground_ == nullptr || !isActive_()) {
            return nullptr;
        }
        // Opened for no window: a theme opened for the tree would become the tree's own.
        return open_(nullptr, L"BUTTON");
    }

    void Close(HTHEME theme) const { close_(theme); }

    void DrawCheckBox(HTHEME theme, HDC dc, const RECT& box, bool checked) const {
        drawBackground_(theme, dc, BP_CHECKBOX, checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL,
                        &box, nullptr);
    }

private:
    UniqueModule module_;
    decltype(&::IsThemeActive) isActive_ = nullptr;
    decltype(&::OpenThemeData) open_ = nullptr;
    decltype(&::CloseThemeData) close_ = nullptr;
    decltype(&::DrawThemeBackground) drawBackground_ = nullptr;
};

void DrawCheckBox(HDC dc, HTHEME theme, RECT box, bool checked) {
    if (theme != nullptr) {
        ThemeLibrary::Get().DrawCheckBox(theme, dc, box, checked);
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
        const ThemeLibrary& themes = ThemeLibrary::Get();
        HTHEME theme = themes.OpenButtons();
        for (int image : {1, 2}) {
            const int left = image * size + margin;
            DrawCheckBox(dc.Get(), theme, {left, margin, left + box, margin + box}, image == 2);
        }
        if (theme != nullptr) {
            themes.Close(theme);
        }
    }
    ::ImageList_AddMasked(images.Get(), strip.Get(), back);
    return images;
}

}  // namespace bexlo
