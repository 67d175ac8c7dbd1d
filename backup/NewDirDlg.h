#pragma once

#include <string>

#include "framework/Dialog.h"
#include "res/resource.h"

namespace bexlo {

// The "Making New Directory" dialog. Only its texts exist so far: the new-folder buttons do
// nothing yet.
class NewDirDlg : public Dialog {
public:
    NewDirDlg() : Dialog(IDD_NEWDIR) {}

    std::wstring labelText;
    std::wstring okText;
    std::wstring cancelText;
};

}  // namespace bexlo
