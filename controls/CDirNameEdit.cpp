#include "controls/CDirNameEdit.h"

#include "controls/FolderName.h"

namespace bexlo {

void CDirNameEdit::SetReadOnly(int flag) {
    SetBackColour(flag == 1 ? BackColour() : RGB(255, 255, 255));
    ::SendMessageW(Handle(), EM_SETREADONLY, flag, 0);
}

// Control keys such as backspace and every other character pass on; a paste is checked by the
// dialog when the name is accepted.
MsgResult CDirNameEdit::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_CHAR && IsRefusedNameChar(static_cast<wchar_t>(wParam))) {
        beep();
        return MsgResult::Handled();
    }
    return MsgResult::NotHandled();
}

}  // namespace bexlo
