#include "app/TrayState.h"

#include <tuple>

#include <utility>

#include "res/resource.h"

namespace bexlo {

void TrayState::Show(HWND window, UINT notifyMessage, HICON icon, bool devicePresent) {
    trayIcon.Fill(window, notifyMessage, icon);
    if (!trayMenu) {
        trayMenu.Reset(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
        if (!trayMenu) {
            ::MessageBoxW(window, L"Unabled to Load Menu", L"ERROR", MB_OK);
        }
    }
    if (trayIcon.Add()) {
        ::ShowWindow(window, SW_MINIMIZE);
        ::ShowWindow(window, SW_HIDE);
    } else {
        ::MessageBoxW(window, L"Unable to set Tray Icon", L"ERROR", MB_OK);
    }
    if (!devicePresent && !reminding_) {
        trayIcon.Delete();
    }
}

void TrayState::ShowForDevice(bool present) {
    if (inTray != 1) {
        return;
    }
    if (present) {
        trayIcon.Add();
    } else if (!reminding_) {
        trayIcon.Delete();
    }
}

void TrayState::OnShellRestarted(bool devicePresent) {
    if ((inTray == 1 && devicePresent) || reminding_) {
        // The icon is gone with the old notification area, whatever the record says.
        trayIcon.Delete();
        trayIcon.Add();
    }
}

bool TrayState::ShowReminder(HWND window, UINT notifyMessage, HICON icon, const std::wstring& title,
                             const std::wstring& text) {
    if (trayIcon.Record().hWnd == nullptr) {
        trayIcon.Fill(window, notifyMessage, icon);
    }
    if (!trayIcon.Add()) {
        return false;
    }
    reminding_ = true;
    return trayIcon.ShowBalloon(title, text);
}

void TrayState::EndReminder(bool devicePresent) {
    if (!std::exchange(reminding_, false)) {
        return;
    }
    trayIcon.HideBalloon();
    if (inTray != 1 || !devicePresent) {
        trayIcon.Delete();
    }
}

bool TrayState::OnNotify(HWND window, WPARAM iconId, LPARAM mouseMessage, const MenuItems& items) {
    if (iconId != TrayIcon::kId) {
        return false;
    }
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        return true;
    }
    if ((mouseMessage == WM_RBUTTONDOWN || mouseMessage == WM_CONTEXTMENU) && trayMenu) {
        ::SetForegroundWindow(window);
        HMENU menu = ::GetSubMenu(trayMenu.Get(), 0);
        for (const auto& [id, text, usable] :
             {std::tuple{ID_TRAY_VERSIONS, &items.versionsText, items.versionsThere},
              std::tuple{ID_TRAY_CHECK, &items.checkText,
                         items.versionsThere && items.checkPossible},
              std::tuple{ID_TRAY_RESTORE, &items.restoreText, items.restorePossible}}) {
            ::ModifyMenuW(menu, id, MF_BYCOMMAND | MF_STRING, id, text->c_str());
            ::EnableMenuItem(menu, id, MF_BYCOMMAND | (usable ? MF_ENABLED : MF_GRAYED));
        }
        POINT cursor{};
        ::GetCursorPos(&cursor);
        ::TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window,
                         nullptr);
        // Without a message after it, the menu of a background window may not close again.
        ::PostMessageW(window, WM_NULL, 0, 0);
    }
    return false;
}

void TrayState::Leave() {
    trayIcon.Delete();
    reminding_ = false;
    inTray = 0;
}

}  // namespace bexlo
