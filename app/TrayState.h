#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "app/TrayIcon.h"
#include "framework/Handles.h"

namespace bexlo {

// The main window's stay in the notification area: whether it is there, its icon (shown only
// while an enclosure is present) and the icon's menu.
class TrayState {
public:
    std::atomic<int> inTray{0};
    TrayIcon trayIcon;
    UniqueMenu trayMenu;

    // Hides `window` behind the icon, which sends it `notifyMessage`.
    void Show(HWND window, UINT notifyMessage, HICON icon, bool devicePresent);
    // Adds (a drive arrived) or deletes (the last one left) the icon while in the tray.
    void ShowForDevice(bool present);
    // The shell made its notification area anew and lost the icon.
    void OnShellRestarted(bool devicePresent);
    // The icon's mouse message: the menu on a right click, its "Earlier versions" item named
    // `versionsText` and usable when `versionsThere`; true on a double click, which opens the
    // window.
    bool OnNotify(HWND window, WPARAM iconId, LPARAM mouseMessage, const std::wstring& versionsText,
                  bool versionsThere);
    // The window is back.
    void Leave();
};

}  // namespace bexlo
