#pragma once

#include <windows.h>

#include <functional>

#include "controls/ColouredControl.h"

namespace bexlo {

// The folder-name field: an edit control with its own colours that drops, with a beep, the
// characters a folder name cannot hold as they are typed.
class CDirNameEdit : public ColouredControl {
public:
    // 0 makes the field editable on white; 1 read-only on the stored background colour.
    void SetReadOnly(int flag);

    // The platform's simple beep; tests count the beeps instead.
    std::function<void()> beep = [] { ::MessageBeep(0xFFFFFFFF); };

protected:
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace bexlo
