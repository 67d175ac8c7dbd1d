#include "backup/NewDirDlg.h"

#include <algorithm>

#include "controls/FolderName.h"
#include "framework/LongPath.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

void NewDirDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_NEWDIR_NAME, nameEdit);
}

bool NewDirDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    ::SetDlgItemTextW(Handle(), IDC_NEWDIR_LABEL, labelText.c_str());
    ::SetDlgItemTextW(Handle(), IDCANCEL, cancelText.c_str());
    ::SetDlgItemTextW(Handle(), IDC_NEWDIR_OK, okText.c_str());
    nameEdit.SetReadOnly(0);
    // A parent with no room left still takes one character, which the creation then refuses:
    // a limit of 0 would mean no limit at all.
    const int room = kPathRoom - static_cast<int>(parentPath.size());
    ::SendMessageW(nameEdit.Handle(), EM_LIMITTEXT, std::max(room, 1), 0);
    return true;
}

// A pasted name never met the typing filter, so the whole name is checked again here.
void NewDirDlg::OnOK() {
    newName.clear();
    wchar_t text[kMaxName + 1]{};
    ::GetWindowTextW(nameEdit.Handle(), text, static_cast<int>(std::size(text)));
    if (!IsAcceptableFolderName(text)) {
        nameEdit.beep();
        ::SetFocus(nameEdit.Handle());
        ::SendMessageW(nameEdit.Handle(), EM_SETSEL, 0, -1);
        return;
    }
    newName = text;
    EndDialog(IDOK);
}

void NewDirDlg::OnCancel() {
    newName.clear();
    EndDialog(IDCANCEL);
}

MsgResult NewDirDlg::OnCommand(WORD id, WORD code, HWND) {
    if (id == IDC_NEWDIR_OK && code == BN_CLICKED) {
        OnOK();
        return MsgResult::Handled();
    }
    return MsgResult::NotHandled();
}

void MakeFolderBelow(HWND owner, NewDirDlg& dialog, CTreeFileCtrl& tree, const std::wstring& parent,
                     const MessageTexts& texts, const std::function<bool()>& keyAnswers) {
    if (parent.empty()) {
        return;
    }
    dialog.parentPath = parent;
    dialog.DoModal(owner);
    if (dialog.newName.empty()) {
        return;
    }
    const std::wstring path = JoinFolderPath(parent, dialog.newName);
    if (keyAnswers && !keyAnswers()) {
        return;
    }
    if (::CreateDirectoryW(LongPath(path).c_str(), nullptr)) {
        if (HTREEITEM item = tree.PathToItem(parent); item != nullptr) {
            tree.SetHasChildren(item, true);
            TreeView_Expand(tree.Handle(), item, TVE_EXPAND);
        }
        return;
    }
    const bool taken = tree.IsFolder(path);
    const std::wstring& text = texts[taken ? Msg::DirExist : Msg::MkdirFail];
    ::MessageBoxW(owner, text.c_str(), taken ? L"Error Naming File" : L"Bulid Folder Fail",
                  MB_OK | MB_ICONWARNING);
}

}  // namespace bexlo
