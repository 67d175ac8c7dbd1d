#pragma once

#include <string>

#include "framework/Dialog.h"
#include "res/resource.h"

namespace bexlo {

// The progress window a run shows while the main dialog is hidden. Only its texts exist so far:
// no run opens it yet.
class ProgressDlg : public Dialog {
public:
    ProgressDlg() : Dialog(IDD_PROGRESS) {}

    std::wstring statusText;
};

}  // namespace bexlo
