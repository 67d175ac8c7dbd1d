#pragma once

#include <windows.h>

#include "framework/Control.h"
#include "framework/Handles.h"

namespace bexlo {

// A control that answers its parent's reflected colour request with its own background and
// text colours.
class ColouredControl : public Control {
public:
    ColouredControl();

    void SetBackColour(COLORREF colour);
    void SetTextColour(COLORREF colour);
    COLORREF BackColour() const { return backColour; }
    COLORREF TextColour() const { return textColour; }

    MsgResult OnReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Redraw() const;

    UniqueBrush backBrush;
    COLORREF backColour;
    COLORREF textColour = RGB(0, 0, 0);
};

}  // namespace bexlo
