#pragma once

#include <windows.h>

#include "controls/ColouredControl.h"

namespace bexlo {

// A static control with its own background and text colours that can also paint a bitmap with
// pure white as the transparent colour.
class CLabelStatic : public ColouredControl {
public:
    // Paints `bitmap` into `dc` at (0, 0), over the control's client size; white pixels leave
    // what is already in `dc`.
    void PaintTransparent(HBITMAP bitmap, HDC dc) const;
    // The same over `size` instead of the control's client size.
    void PaintTransparent(HBITMAP bitmap, HDC dc, SIZE size) const;
};

}  // namespace bexlo
