// The item commands of the file tree: its menu, properties, open, rename in place and delete.

#include <windowsx.h>

#include <utility>

#include "res/resource.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

TreeItemFacts CTreeFileCtrl::FactsOf(HTREEITEM item) const {
    TreeItemFacts facts;
    facts.selected = item != nullptr;
    facts.drive = item != nullptr && IsDriveItem(item);
    if (const TreeItemData* record = Record(item); record != nullptr) {
        facts.networkNode = record->isNetworkNode != 0;
        if (record->netResource) {
            facts.networkDisplayType = static_cast<int>(record->netResource->displayType);
        }
    }
    return facts;
}

bool CTreeFileCtrl::CommandEnabled(int command) const {
    const TreeCommandGates gates{allowOpen, allowDelete, allowRename, allowProperties};
    return TreeCommandEnabled(command, gates, FactsOf(SelectedItem()));
}

HWND CTreeFileCtrl::MainWindow() const {
    return ::GetAncestor(Handle(), GA_ROOT);
}

int CTreeFileCtrl::RunShellFileOperation(SHFILEOPSTRUCTW& operation) {
    return ::SHFileOperationW(&operation);
}

bool CTreeFileCtrl::FileOperation(UINT operation, const std::wstring& source,
                                  const std::wstring& target, FILEOP_FLAGS flags, HWND owner) {
    // Each list ends with two zero characters: the string's own and the one added here.
    const std::wstring from = source + L'\0';
    const std::wstring to = target + L'\0';
    SHFILEOPSTRUCTW request{};
    request.hwnd = owner;
    request.wFunc = operation;
    request.pFrom = from.c_str();
    request.pTo = target.empty() ? nullptr : to.c_str();
    request.fFlags = flags;
    // The operation's own changes are no news to the watchers.
    const int previous = autoRefresh.exchange(0);
    const int result = RunShellFileOperation(request);
    autoRefresh.exchange(previous);
    return result == 0 && !request.fAnyOperationsAborted;
}

bool CTreeFileCtrl::AskShell(HTREEITEM item, ShellVerb verb) {
    if (item == nullptr) {
        return false;
    }
    const std::wstring path = ItemToPath(item);
    return !path.empty() && userShell->Ask(verb, path);
}

bool CTreeFileCtrl::ShowProperties(HTREEITEM item) {
    return allowProperties == 1 && AskShell(item, ShellVerb::Properties);
}

bool CTreeFileCtrl::Open(HTREEITEM item) {
    return allowOpen == 1 && AskShell(item, ShellVerb::Open);
}

bool CTreeFileCtrl::Rename(HTREEITEM item) {
    if (allowRename != 1 || !CanRenameOrDelete(FactsOf(item))) {
        return false;
    }
    // In-place editing needs the style; a tree made without it gets it once renaming is asked.
    const LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
    if (!(style & TVS_EDITLABELS)) {
        ::SetWindowLongPtrW(Handle(), GWL_STYLE, style | TVS_EDITLABELS);
    }
    return TreeView_EditLabel(Handle(), item) != nullptr;
}

bool CTreeFileCtrl::Delete(HTREEITEM item) {
    if (allowDelete != 1 || !CanRenameOrDelete(FactsOf(item))) {
        return false;
    }
    const FILEOP_FLAGS flags = ::GetKeyState(VK_SHIFT) < 0 ? 0 : FOF_ALLOWUNDO;
    if (!FileOperation(FO_DELETE, ItemToPath(item), L"", flags, MainWindow())) {
        return false;
    }
    TreeView_DeleteItem(Handle(), item);
    return true;
}

void CTreeFileCtrl::OnCommand(int command) {
    HTREEITEM selected = SelectedItem();
    switch (command) {
        case ID_TREE_OPEN:
            Open(selected);
            break;
        case ID_TREE_DELETE:
            Delete(selected);
            break;
        case ID_TREE_RENAME:
            Rename(selected);
            break;
        case ID_TREE_PROPERTIES:
            ShowProperties(selected);
            break;
        default:
            break;
    }
}

void CTreeFileCtrl::ShowItemMenu(POINT screen) {
    UniqueMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TREE_MENU)));
    HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
    if (popup != nullptr) {
        ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, screen.x, screen.y, 0, Handle(), nullptr);
    }
}

void CTreeFileCtrl::OnRightClick() {
    TVHITTESTINFO hit{};
    hit.pt = clickPoint;
    TreeView_SelectItem(Handle(), TreeView_HitTest(Handle(), &hit));
    POINT screen = clickPoint;
    ::ClientToScreen(Handle(), &screen);
    ShowItemMenu(screen);
}

void CTreeFileCtrl::OnContextMenu(LPARAM point) {
    POINT screen{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (point == -1) {
        // From the keyboard: the middle of the selected item.
        RECT rect{};
        HTREEITEM selected = SelectedItem();
        if (selected != nullptr && TreeView_GetItemRect(Handle(), selected, &rect, TRUE)) {
            screen = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        } else {
            screen = {0, 0};
        }
        ::ClientToScreen(Handle(), &screen);
    }
    ShowItemMenu(screen);
}

void CTreeFileCtrl::OnInitMenuPopup(HMENU menu) const {
    const int count = ::GetMenuItemCount(menu);
    for (int index = 0; index < count; ++index) {
        const UINT id = ::GetMenuItemID(menu, index);
        if (id == ID_TREE_OPEN || id == ID_TREE_DELETE || id == ID_TREE_RENAME ||
            id == ID_TREE_PROPERTIES) {
            ::EnableMenuItem(
                menu, static_cast<UINT>(index),
                MF_BYPOSITION | (CommandEnabled(static_cast<int>(id)) ? MF_ENABLED : MF_GRAYED));
        }
    }
}

void CTreeFileCtrl::OnDoubleClick() {
    TVHITTESTINFO hit{};
    hit.pt = clickPoint;
    HTREEITEM item = TreeView_HitTest(Handle(), &hit);
    if (item != nullptr && item == SelectedItem() && !HasChildren(item)) {
        ::PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(ID_TREE_OPEN, 0), 0);
    }
}

LRESULT CTreeFileCtrl::OnBeginLabelEdit(const NMTVDISPINFOW& info) {
    const bool allowed = allowRename == 1 && CanRenameOrDelete(FactsOf(info.item.hItem));
    editedItem = allowed ? info.item.hItem : nullptr;
    return allowed ? FALSE : TRUE;
}

// The tree never takes the edited text itself: the item changes only when the file did.
void CTreeFileCtrl::OnEndLabelEdit(const NMTVDISPINFOW& info) {
    HTREEITEM item = info.item.hItem;
    if (item == nullptr || item != std::exchange(editedItem, nullptr)) {
        return;
    }
    TreeItemData* record = MutableRecord(item);
    if (info.item.pszText == nullptr || record == nullptr) {
        return;
    }
    const std::wstring typed = info.item.pszText;
    // A separator or a drive colon in the name would move the file elsewhere.
    if (!IsValidFileName(typed)) {
        return;
    }
    HTREEITEM parent = TreeView_GetParent(Handle(), item);
    const std::wstring parentPath = parent != nullptr ? ItemToPath(parent) : rootFolder;
    if (parentPath.empty()) {
        return;
    }
    const std::wstring source = record->path;
    const RenamePlan plan = PlanRename(source, parentPath, typed, record->extensionHidden == 1);
    if (!FileOperation(FO_RENAME, source, plan.target, FOF_ALLOWUNDO, MainWindow())) {
        return;
    }
    TVITEMW change{};
    change.mask = TVIF_TEXT | TVIF_HANDLE;
    change.hItem = item;
    std::wstring text = typed;
    change.pszText = text.data();
    record->path = plan.target;
    record->label = plan.label;
    if (record->extensionHidden == 0) {
        change.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        change.iImage = IconOfPath(plan.target);
        change.iSelectedImage = OpenIconOfPath(plan.target);
    }
    TreeView_SetItem(Handle(), &change);
}

}  // namespace bexlo
