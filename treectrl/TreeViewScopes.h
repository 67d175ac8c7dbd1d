#pragma once

#include <windows.h>

namespace bexlo {

// Shows the wait cursor while a listing runs.
class WaitCursor {
public:
    WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Stops a tree from redrawing for the life of the scope.
class NoRedraw {
public:
    NoRedraw(HWND window, bool active) : window_(active ? window : nullptr) {
        if (window_ != nullptr) {
            ::SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
        }
    }
    ~NoRedraw() {
        if (window_ != nullptr) {
            ::SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(window_, nullptr, TRUE);
        }
    }
    NoRedraw(const NoRedraw&) = delete;
    NoRedraw& operator=(const NoRedraw&) = delete;

private:
    HWND window_;
};

}  // namespace bexlo
