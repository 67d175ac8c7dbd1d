#pragma once

#include <windows.h>

#include "framework/DisplayScale.h"
#include "framework/Handles.h"

namespace bexlo {

// Sent to the controls of a window once the window is laid out for its new scale (the platform's
// WM_DPICHANGED_AFTERPARENT, which its headers give only from Windows 10 on).
inline constexpr UINT kDpiChangedAfterParent = 0x02E3;

// The scale a window is shown at: its monitor's where the platform scales each monitor on its
// own (Windows 8.1 and later), the system's elsewhere.
int WindowDpi(HWND window);

// A system metric (SM_CXSMICON ...) at `dpi`.
int SystemMetricAt(int index, int dpi);

// The icon resource `id` at `size` pixels square, from the nearest picture it holds.
UniqueIcon LoadIconAt(int id, int size);

// Whether the platform lays a dialog out anew itself when the window's scale changes: per-monitor
// awareness of the second version (Windows 10 1703 and later) does.
bool PlatformRescalesDialogs(HWND window);

}  // namespace bexlo
