#pragma once

#include <string>

#include "framework/Dialog.h"
#include "res/resource.h"

namespace bexlo {

// The progress window a run shows while the main dialog sits in the notification area. It is
// opened, moved and destroyed by the run's progress thread, so it belongs to that thread; SetPos
// pumps the thread's messages to keep it painted between the thread's pauses. The owner stays
// disabled while it is open, and Enter and Esc do not close it.
class ProgressDlg : public Dialog {
public:
    // `caption` is the string resource of the window caption; 0 means "Copying...".
    explicit ProgressDlg(int caption = 0)
        : Dialog(IDD_PROGRESS), captionId(caption != 0 ? caption : IDS_COPYING) {}
    ~ProgressDlg() override;

    // Opens the window modeless, disabling the top-level window of `parent` (the main dialog)
    // while it is open. False when the window could not be made.
    bool Create(HWND parent);
    // Re-enables the owner, then destroys the window.
    void DestroyWindow();

    // Returns the previous position.
    int SetPos(int newPos);

    // Dispatches every waiting message of the calling thread, the window's navigation keys
    // through the window.
    void PumpMessages() const;

    // The percentage shown for a position: a full bar shows 100 %, a position past the range
    // wraps.
    static std::wstring PercentText(int position, int lower, int upper);
    // The percentage a progress bar stands at, as a screen reader reads it.
    static std::wstring BarValue(HWND bar);

    int captionId;
    int lower = 0;
    int upper = 100;
    int pos = 0;
    std::wstring statusText;
    HWND owner = nullptr;
    bool ownerDisabled = false;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    Control bar;
};

}  // namespace bexlo
