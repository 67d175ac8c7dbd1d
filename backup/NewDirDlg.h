#pragma once

#include <functional>
#include <string>

#include "controls/CDirNameEdit.h"
#include "framework/Dialog.h"
#include "framework/MessageTexts.h"
#include "res/resource.h"

namespace bexlo {

class CTreeFileCtrl;

// "Making New Directory": asks for the name of a folder to make below `parentPath`.
class NewDirDlg : public Dialog {
public:
    // Names longer than this (with the parent's path) would leave too little room in a path.
    static constexpr int kPathRoom = 246;
    static constexpr std::size_t kMaxName = 259;

    NewDirDlg() : Dialog(IDD_NEWDIR) {}

    std::wstring parentPath;
    std::wstring labelText;
    std::wstring okText;
    std::wstring cancelText;
    // The accepted name; empty when the dialog was cancelled.
    std::wstring newName;
    CDirNameEdit nameEdit;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    MsgResult OnCommand(WORD id, WORD code, HWND control) override;
};

// A folder below the item selected in a tree, named by the user in `dialog`. `keyAnswers` runs
// once the name is known, just before the folder is made; a false ends it there. Failures are
// shown in message boxes owned by `owner`.
void MakeFolderBelow(HWND owner, NewDirDlg& dialog, CTreeFileCtrl& tree, const std::wstring& parent,
                     const MessageTexts& texts, const std::function<bool()>& keyAnswers);

}  // namespace bexlo
