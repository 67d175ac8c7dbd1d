#pragma once

#include <windows.h>
#include <shellapi.h>

namespace bexlo {

// The program's icon in the notification area. The record is kept between adds, so a drive
// arriving or the shell starting again puts back the icon as it was last filled; an icon still
// shown goes with its owner.
class TrayIcon {
public:
    static constexpr UINT kId = 1;

    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // The message the shell sends every top-level window when its notification area is made
    // anew (after the shell crashed or restarted): icons must then be added again.
    static UINT ShellRestartMessage();

    // The record in the layout without the item GUID: id 1, the owner's callback message, the
    // icon and the tip "File Backup".
    void Fill(HWND owner, UINT callbackMessage, HICON icon);
    // False when the shell refused it or the record was never filled.
    bool Add();
    // Errors, such as no icon to delete, are of no interest.
    void Delete();

    bool Shown() const { return shown_; }
    const NOTIFYICONDATAW& Record() const { return record_; }

private:
    NOTIFYICONDATAW record_{};
    bool shown_ = false;
};

}  // namespace bexlo
