#include "framework/Dpi.h"

#include "framework/SystemFunction.h"

namespace bexlo {

namespace {

// Looked up, not imported: Windows 7 lacks all of these and must still start the program.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using GetWindowDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
using AreDpiAwarenessContextsEqualFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : kDefaultDpi;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kDefaultDpi;
}

}  // namespace

int WindowDpi(HWND window) {
    static const auto getDpiForWindow =
        SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    return ScreenDpi();
}

int SystemMetricAt(int index, int dpi) {
    static const auto metricForDpi =
        SystemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (metricForDpi != nullptr) {
        return metricForDpi(index, static_cast<UINT>(dpi));
    }
    // Without per-monitor scaling the system's metrics are those of the one scale there is.
    return ScaleBetween(::GetSystemMetrics(index), dpi, ScreenDpi());
}

UniqueIcon LoadIconAt(int id, int size) {
    return UniqueIcon(
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                        IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

bool PlatformRescalesDialogs(HWND window) {
    static const auto windowContext = SystemFunction<GetWindowDpiAwarenessContextFn>(
        L"user32.dll", "GetWindowDpiAwarenessContext");
    static const auto sameContext = SystemFunction<AreDpiAwarenessContextsEqualFn>(
        L"user32.dll", "AreDpiAwarenessContextsEqual");
    // Dialogs that the platform scales by itself came with the second version: its own
    // function for the dialogs' scaling behaviour is there from then on.
    static const bool rescales =
        SystemFunction<void*>(L"user32.dll", "SetDialogDpiChangeBehavior") != nullptr;
    return rescales && windowContext != nullptr && sameContext != nullptr &&
           sameContext(windowContext(window), DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

}  // namespace bexlo
