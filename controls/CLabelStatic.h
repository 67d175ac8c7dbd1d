#pragma once

#include <windows.h>

#include "framework/Control.h"
#include "framework/Handles.h"

namespace bexlo {

// A static control with its own background and text colours that can also paint a bitmap with
// pure white as the transparent colour.
class CLabelStatic : public Control {
public:
    CLabelStatic();

    void SetBackColour(COLORREF colour);
    void SetTextColour(COLORREF colour);
    COLORREF BackColour() const { return backColour; }
    COLORREF TextColour() const { return textColour; }

    // Paints `bitmap` into `dc` at (0, 0), over the control's client size; white pixels leave
    // what is already in `dc`.
    void PaintTransparent(HBITMAP bitmap, HDC dc) const;

    MsgResult OnReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Redraw() const;

    UniqueBrush backBrush;
    COLORREF backColour;
    COLORREF textColour = RGB(0, 0, 0);
};

}  // namespace bexlo
