#pragma once

#include <windows.h>

#include <array>

#include "framework/Control.h"
#include "framework/Handles.h"

namespace bexlo {

// An owner-drawn push button: a light vertical gradient inside a rounded black outline, with a
// warm orange frame while the mouse rests on it and a blue one while it has the focus.
class CCButton : public Control {
public:
    CCButton();

    // The platform's owner-draw callback, reflected from the parent.
    virtual void DrawItem(const DRAWITEMSTRUCT& item);
    // 64 shades from white downwards, bluer when hovering, greyer when highlighted.
    virtual void DrawBackground(HDC dc, const RECT& rect);
    virtual void DrawFrame(HDC dc, const RECT& rect);

    MsgResult OnReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Pens in the order left, right, top, bottom.
    enum Side { kLeft, kRight, kTop, kBottom };
    using FramePens = std::array<UniquePen, 4>;

    UniquePen outlinePen;
    FramePens hoverPens;
    FramePens focusPens;
    int hovering = 0;
    int tracking = 0;
    int focused = 0;
    int highlighted = 0;

protected:
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;
};

}  // namespace bexlo
