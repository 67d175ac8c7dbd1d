#pragma once

#include "controls/CLabelStatic.h"
#include "controls/ScaledArt.h"
#include "framework/Dialog.h"

namespace bexlo {

// "About BXL": four lines of text standing on the background bitmap, beside the logo.
class AboutDlg : public Dialog {
public:
    AboutDlg();
    ~AboutDlg() override;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    bool OnInitDialog() override;
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnScaleChanged(int dpi) override;

private:
    CLabelStatic background;
    ScaledArt art;
    // The logo drawn for the window's scale, where that is not 100 %.
    UniqueBitmap logo;
};

}  // namespace bexlo
