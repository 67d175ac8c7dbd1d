#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

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
    // icon and the tip "File Backup" with the detail under it.
    void Fill(HWND owner, UINT callbackMessage, HICON icon);
    // The tip's lines under "File Backup", cut to what the tip holds; changed at once on an icon
    // shown.
    void SetTipDetail(const std::wstring& detail);
    // False when the shell refused it or the record was never filled; an icon already shown stays.
    bool Add();
    // The balloon over the shown icon; it is never kept in the record, so that an icon added again
    // does not say it twice.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text);
    void HideBalloon();
    // Errors, such as no icon to delete, are of no interest.
    void Delete();

    bool Shown() const { return shown_; }
    const NOTIFYICONDATAW& Record() const { return record_; }

private:
    void WriteTip();

    NOTIFYICONDATAW record_{};
    std::wstring detail_;
    bool shown_ = false;
};

}  // namespace bexlo
