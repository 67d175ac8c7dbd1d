#pragma once

#include <windows.h>

#include <array>

#include "framework/DisplayScale.h"
#include "framework/Handles.h"

namespace bexlo {

// A picture drawn for each of the art's scales, fitted to a window: the one nearest the window's
// scale, as it is where it covers the window, else stretched smoothly with its head and foot
// bands kept as they are.
class ScaledArt {
public:
    // The bitmap resources at the art's scales, smallest first; `head` and `foot` the rows at
    // 100 % whose lines must stay sharp.
    ScaledArt(const std::array<int, kArtScales.size()>& ids, int head, int foot)
        : ids_(ids), head_(head), foot_(foot) {}

    // The picture for a window whose client area is `client` at `dpi`, and its size; kept until
    // the scale or the size changes. Null when the resource is missing.
    HBITMAP Picture(int dpi, SIZE client);
    SIZE PictureSize() const { return shownSize_; }

private:
    std::array<int, kArtScales.size()> ids_;
    int head_;
    int foot_;

    int percent_ = 0;
    UniqueBitmap source_;
    SIZE sourceSize_{};
    SIZE client_{};
    UniqueBitmap fitted_;
    HBITMAP shown_ = nullptr;
    SIZE shownSize_{};
};

}  // namespace bexlo
