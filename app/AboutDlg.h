#pragma once

#include "controls/CLabelStatic.h"
#include "framework/Dialog.h"

namespace bexlo {

// "About BXL": four lines of text standing on the background bitmap, beside the logo.
class AboutDlg : public Dialog {
public:
    AboutDlg();
    ~AboutDlg() override;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CLabelStatic background;
};

}  // namespace bexlo
