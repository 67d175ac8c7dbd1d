#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "app/TrayIcon.h"
#include "framework/Handles.h"

namespace bexlo {

// The main window's stay in the notification area: whether it is there, its icon (shown while an
// enclosure is present, and while a reminder is up with none) and the icon's menu.
class TrayState {
public:
    std::atomic<int> inTray{0};
    TrayIcon trayIcon;
    UniqueMenu trayMenu;

    // Hides `window` behind the icon, which sends it `notifyMessage`.
    void Show(HWND window, UINT notifyMessage, HICON icon, bool devicePresent);
    // Adds (a drive arrived) or deletes (the last one left) the icon while in the tray; a
    // reminder keeps it.
    void ShowForDevice(bool present);
    // The shell made its notification area anew and lost the icon.
    void OnShellRestarted(bool devicePresent);
    // The reminder's balloon, on the icon, which is added for it where it was not shown.
    bool ShowReminder(HWND window, UINT notifyMessage, HICON icon, const std::wstring& title,
                      const std::wstring& text);
    // Takes the reminder away, and the icon with it unless it stands for an enclosure in the tray.
    void EndReminder(bool devicePresent);
    bool Reminding() const { return reminding_; }
    // The menu's items that change: their texts in the chosen language and whether they can be
    // used now.
    struct MenuItems {
        const std::wstring& versionsText;
        const std::wstring& checkText;
        const std::wstring& restoreText;
        bool versionsThere = false;
        bool checkPossible = false;
        // No run or check is going.
        bool restorePossible = false;
    };
    // The icon's mouse message: the menu on a right click; true on a double click, which opens
    // the window.
    bool OnNotify(HWND window, WPARAM iconId, LPARAM mouseMessage, const MenuItems& items);
    // The window is back.
    void Leave();

private:
    bool reminding_ = false;
};

}  // namespace bexlo
