#include "treectrl/CTreeFileCtrl.h"

#include <cwctype>

#include "treectrl/TreePath.h"
#include "treectrl/TreeShell.h"
#include "treectrl/TreeViewScopes.h"

namespace bexlo {

namespace {

// State image indices of a check-box tree: none, unchecked, checked.
constexpr UINT kNoCheckBox = 0;
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

constexpr wchar_t kClassName[] = L"CTreeFileCtrl::";

}  // namespace

CTreeFileCtrl::CTreeFileCtrl() {
    mediaSerials.fill(0xFFFFFFFF);
}

CTreeFileCtrl::~CTreeFileCtrl() {
    KillNotificationThreads();
}

LRESULT CTreeFileCtrl::TreeMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (treeProcedure == nullptr) {
        return ::SendMessageW(Handle(), message, wParam, lParam);
    }
    return ::CallWindowProcW(treeProcedure, Handle(), message, wParam, lParam);
}

HTREEITEM CTreeFileCtrl::NextItem(HTREEITEM item, UINT relation) const {
    return reinterpret_cast<HTREEITEM>(
        TreeMessage(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

bool CTreeFileCtrl::GetItemInfo(TVITEMW& info) const {
    return TreeMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

void CTreeFileCtrl::Trace(const std::wstring& operation, const std::wstring& message) const {
    if (traceHook) {
        traceHook(kClassName + operation + L", " + message + L"\n");
    }
}

void CTreeFileCtrl::SetShowNetwork(int flag) {
    showNetwork = flag;
    Refresh();
}

const TreeItemData* CTreeFileCtrl::Record(HTREEITEM item) const {
    if (item == nullptr || item == TVI_ROOT) {
        return nullptr;
    }
    TVITEMW info{};
    info.mask = TVIF_PARAM | TVIF_HANDLE;
    info.hItem = item;
    if (!GetItemInfo(info)) {
        return nullptr;
    }
    return reinterpret_cast<const TreeItemData*>(info.lParam);
}

TreeItemData* CTreeFileCtrl::MutableRecord(HTREEITEM item) {
    const TreeItemData* record = Record(item);
    return model.Holds(record) ? const_cast<TreeItemData*>(record) : nullptr;
}

std::wstring CTreeFileCtrl::ItemToPath(HTREEITEM item) const {
    const TreeItemData* record = Record(item);
    return record != nullptr ? record->path : std::wstring();
}

bool CTreeFileCtrl::IsFile(const std::wstring& path) const {
    return model.IsFile(path);
}

bool CTreeFileCtrl::IsFolder(const std::wstring& path) const {
    return model.IsFolder(path);
}

bool CTreeFileCtrl::IsDrive(const std::wstring& path) const {
    return IsDrivePath(path);
}

bool CTreeFileCtrl::IsCompressed(const std::wstring& path) const {
    return model.IsCompressed(path);
}

bool CTreeFileCtrl::IsEncrypted(const std::wstring& path) const {
    return model.IsEncrypted(path);
}

bool CTreeFileCtrl::IsShared(const std::wstring& path) const {
    return shares.IsShared(path);
}

void CTreeFileCtrl::UpOneLevel() {
    if (HTREEITEM parent = NextItem(SelectedItem(), TVGN_PARENT); parent != nullptr) {
        TreeView_SelectItem(Handle(), parent);
    }
}

void CTreeFileCtrl::DeleteAllItems() {
    TreeView_DeleteAllItems(Handle());
    model.Clear();
    computerItem = nullptr;
    networkItem = nullptr;
    rootItem = nullptr;
}

CTreeFileCtrl::RememberedSelection CTreeFileCtrl::RememberSelection() const {
    HTREEITEM selected = SelectedItem();
    return {ItemToPath(selected),
            selected != nullptr &&
                (TreeView_GetItemState(Handle(), selected, TVIS_EXPANDED) & TVIS_EXPANDED) != 0};
}

void CTreeFileCtrl::Refresh() {
    if (Handle() == nullptr) {
        return;
    }
    WaitCursor wait;
    NoRedraw noRedraw(Handle(), true);
    const RememberedSelection selection = RememberSelection();

    shares.Refresh();
    KillNotificationThreads();
    DeleteAllItems();
    if (rootFolder.empty()) {
        if (showComputerItem == 1) {
            InsertSpecialFolder(CSIDL_DRIVES, false);
        } else {
            ListDrives(TVI_ROOT, false);
        }
        if (showNetwork == 1) {
            InsertSpecialFolder(CSIDL_NETWORK, true);
        }
    } else {
        ListFolderChildren(rootFolder, TVI_ROOT, false);
        if (DriveCanBeWatched(rootFolder)) {
            CreateMonitoringThread(rootFolder);
        }
    }
    if (!selection.path.empty()) {
        SetSelectedPath(selection.path, selection.expanded);
    }
}

void CTreeFileCtrl::ListDrives(HTREEITEM parent, bool redraw) {
    WaitCursor wait;
    NoRedraw noRedraw(Handle(), redraw);
    for (const std::wstring& path : model.ListDrives(*this)) {
        auto record = std::make_unique<TreeItemData>();
        record->path = path;
        record->label = path;
        InsertTreeItem(parent, std::move(record), false, IconOfPath(path), OpenIconOfPath(path),
                       true);
    }
}

void CTreeFileCtrl::ListFolderChildren(const std::wstring& path, HTREEITEM parent, bool redraw) {
    WaitCursor wait;
    NoRedraw noRedraw(Handle(), redraw);
    const HTREEITEM firstChild = parent == TVI_ROOT ? RootItem() : NextItem(parent, TVGN_CHILD);
    for (HTREEITEM child = firstChild; child != nullptr;) {
        HTREEITEM next = NextItem(child, TVGN_NEXT);
        TreeMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
        child = next;
    }
    if (showRootItem == 1 && parent == TVI_ROOT) {
        auto record = std::make_unique<TreeItemData>();
        record->path = rootFolder;
        record->label = rootFolder;
        rootItem = InsertTreeItem(parent, std::move(record), false, IconOfPath(rootFolder),
                                  OpenIconOfPath(rootFolder), true);
        TreeView_Expand(Handle(), rootItem, TVE_EXPAND);
        return;
    }

    // Each child's expand button is asked for only when the tree first shows the child.
    std::vector<std::unique_ptr<TreeItemData>> children = model.ListFolder(path, *this);
    if (children.empty()) {
        if (parent != TVI_ROOT) {
            SetHasChildren(parent, false);
        }
        return;
    }
    // Folders take the shell's folder icon by their attributes alone: one icon for the level.
    const int image = IconOfPath(children.front()->path);
    const int openImage = OpenIconOfPath(children.front()->path);
    TreeItemData* owner = parent == TVI_ROOT ? nullptr : MutableRecord(parent);
    for (auto& record : children) {
        const bool shared = showSharedOverlay == 1 && IsShared(record->path);
        // The record itself outlives the move of its owner.
        const std::wstring& text = record->label;
        InsertRecord(parent, owner, std::move(record), text, shared, image, openImage,
                     I_CHILDRENCALLBACK);
    }
    if (owner != nullptr) {
        owner->button = ChildButton::Shown;
    }
}

bool CTreeFileCtrl::ShowsButton(const TreeItemData& record) const {
    if (record.button == ChildButton::Unknown) {
        record.button = HasSubfolders(record.path) ? ChildButton::Shown : ChildButton::Hidden;
    }
    return record.button == ChildButton::Shown;
}

HTREEITEM CTreeFileCtrl::InsertTreeItem(HTREEITEM parent, std::unique_ptr<TreeItemData> record,
                                        bool shared, int image, int selectedImage,
                                        bool askChildren) {
    std::wstring text = record->label;
    const bool drive = IsDrive(record->path);
    if (drive) {
        if (useShellDriveNames == 1) {
            text = ShellDriveName(record->path);
        }
    } else if (fileNameMode != 1 && IsFile(record->path)) {
        const FileLabel file = LabelForFile(record->label, fileNameMode,
                                            fileNameMode == 2 ? ShellTitle(record->label) : L"");
        text = file.text;
        record->extensionHidden = file.extensionHidden;
    } else {
        record->extensionHidden = 0;
    }
    int children = 1;
    record->button = ChildButton::Shown;
    if (askChildren && (drive || record->isNetworkNode != 0)) {
        // Drives and network items answer at once by their own rules.
        record->button = HasSubfolders(record->path) ? ChildButton::Shown : ChildButton::Hidden;
        children = record->button == ChildButton::Shown ? 1 : 0;
    } else if (askChildren) {
        // Anything else answers when the tree first shows it.
        record->button = ChildButton::Unknown;
        children = I_CHILDRENCALLBACK;
    }
    TreeItemData* owner = parent == TVI_ROOT ? nullptr : MutableRecord(parent);
    return InsertRecord(parent, owner, std::move(record), text, shared, image, selectedImage,
                        children);
}

HTREEITEM CTreeFileCtrl::InsertRecord(HTREEITEM parent, TreeItemData* owner,
                                      std::unique_ptr<TreeItemData> record,
                                      const std::wstring& text, bool shared, int image,
                                      int selectedImage, int children) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask =
        TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
    // The tree copies the text.
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.cChildren = children;
    insert.item.lParam = reinterpret_cast<LPARAM>(record.get());
    if (shared) {
        insert.item.state = INDEXTOOVERLAYMASK(1);
        insert.item.stateMask = TVIS_OVERLAYMASK;
    }
    auto* item = reinterpret_cast<HTREEITEM>(
        TreeMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item != nullptr) {
        record->viewItem = item;
        model.Adopt(owner, std::move(record));
    }
    return item;
}

HTREEITEM CTreeFileCtrl::FindChildByLabel(HTREEITEM parent, const std::wstring& name) const {
    if (parent == TVI_ROOT || parent == nullptr) {
        return ItemOf(model.FindChild(nullptr, name));
    }
    const TreeItemData* record = Record(parent);
    return model.Holds(record) ? ItemOf(model.FindChild(record, name)) : nullptr;
}

bool CTreeFileCtrl::DriveCanBeWatched(const std::wstring& path) const {
    return !model.IsRemovableOrCdDrive(path);
}

void CTreeFileCtrl::CreateMonitoringThread(const std::wstring& path) {
    watchers.Watch(path, Handle(), showFiles == 1);
}

void CTreeFileCtrl::KillNotificationThreads() {
    watchers.StopAll();
}

void CTreeFileCtrl::KillNotificationThread(const std::wstring& path) {
    watchers.Stop(path);
}

bool CTreeFileCtrl::GetVolumeSerial(const std::wstring& path, DWORD& serial) const {
    return ::GetVolumeInformationW(path.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr,
                                   0) != FALSE;
}

bool CTreeFileCtrl::IsMediaValid(const std::wstring& path) {
    if (path.empty() || !model.IsRemovableOrCdDrive(path)) {
        return true;
    }
    const int index = std::towupper(path[0]) - L'A';
    DWORD serial = 0;
    const bool valid = GetVolumeSerial(path, serial);
    if (index >= 0 && index < static_cast<int>(mediaSerials.size())) {
        mediaSerials[static_cast<size_t>(index)] = valid ? serial : 0xFFFFFFFF;
    }
    return valid;
}

bool CTreeFileCtrl::ExpandItem(HTREEITEM item) {
    const std::wstring path = ItemToPath(item);
    WaitCursor wait;
    if (!IsMediaValid(path)) {
        TreeView_Expand(Handle(), item, TVE_COLLAPSE);
        SetHasChildren(item, false);
    } else if (IsFolder(path)) {
        if (NextItem(item, TVGN_CHILD) == nullptr) {
            ListFolderChildren(path, item, true);
        }
        if (autoRefresh.load() == 1 && IsDrive(path)) {
            CreateMonitoringThread(path);
        }
    } else if (item == computerItem) {
        ListDrives(item, false);
    } else if (const TreeItemData* record = Record(item);
               item == networkItem || (record != nullptr && record->netResource)) {
        EnumNetwork(item);
    } else {
        // The folder has gone.
        HTREEITEM parent = NextItem(item, TVGN_PARENT);
        TreeMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
        SetHasChildren(parent, false);
        return false;
    }
    return true;
}

void CTreeFileCtrl::CollapseAndReset(HTREEITEM item) {
    // A plain collapse first moves the tree's top row up to `item` when it lay below it: Wine's
    // tree frees the items of a reset before it moves that row, and then reads the freed row.
    TreeView_Expand(Handle(), item, TVE_COLLAPSE);
    TreeView_Expand(Handle(), item, TVE_COLLAPSE | TVE_COLLAPSERESET);
}

void CTreeFileCtrl::SetHasChildren(HTREEITEM item, bool flag) {
    TVITEMW info{};
    info.mask = TVIF_CHILDREN | TVIF_HANDLE;
    info.hItem = item;
    info.cChildren = flag ? 1 : 0;
    TreeMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&info));
    if (const TreeItemData* record = Record(item); record != nullptr) {
        record->button = flag ? ChildButton::Shown : ChildButton::Hidden;
    }
}

bool CTreeFileCtrl::HasChildren(HTREEITEM item) const {
    TVITEMW info{};
    info.mask = TVIF_CHILDREN | TVIF_PARAM | TVIF_HANDLE;
    info.hItem = item;
    if (!GetItemInfo(info)) {
        return false;
    }
    // The tree asks for a callback item's answer; one that hands back the callback value is
    // answered here the same way.
    if (info.cChildren == I_CHILDRENCALLBACK) {
        const auto* record = reinterpret_cast<const TreeItemData*>(info.lParam);
        return record != nullptr && ShowsButton(*record);
    }
    return info.cChildren != 0;
}

void CTreeFileCtrl::SetCheck(HTREEITEM item, bool checked) {
    UINT image = checked ? kChecked : kUnchecked;
    if (hideCheckOnce) {
        image = kNoCheckBox;
        hideCheckOnce = 0;
    } else if (uncheckOnce) {
        image = kUnchecked;
        uncheckOnce = 0;
    }
    TVITEMW info{};
    info.mask = TVIF_STATE | TVIF_HANDLE;
    info.hItem = item;
    info.state = INDEXTOSTATEIMAGEMASK(image);
    info.stateMask = TVIS_STATEIMAGEMASK;
    TreeMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&info));
}

bool CTreeFileCtrl::GetCheck(HTREEITEM item) const {
    const auto state = static_cast<UINT>(
        TreeMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return (state >> 12) == kChecked;
}

bool CTreeFileCtrl::AddDriveItem(const std::wstring& drivePath) {
    HTREEITEM root = RootItem();
    if (root == nullptr) {
        return false;
    }
    auto record = std::make_unique<TreeItemData>();
    record->path = drivePath;
    record->label = drivePath;
    HTREEITEM item = InsertTreeItem(root, std::move(record), false, IconOfPath(drivePath),
                                    OpenIconOfPath(drivePath), true);
    if (item != nullptr && checkBoxTree == 1) {
        hideCheckOnce = 1;
        SetCheck(item, false);
    }
    return item != nullptr;
}

void CTreeFileCtrl::RemoveDriveItemsNotIn(DWORD present) {
    const TreeItemData* root = MutableRecord(RootItem());
    for (TreeItemData* child = root != nullptr ? model.FirstChild(root) : nullptr;
         child != nullptr;) {
        TreeItemData* next = TreeModel::NextSibling(child);
        if (IsDrive(child->path)) {
            const int bit = std::towupper(child->path[0]) - L'A';
            if (bit < 0 || bit >= 32 || !(present & (1u << bit))) {
                TreeMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(ItemOf(child)));
            }
        }
        child = next;
    }
}

void CTreeFileCtrl::ShowDrivesPresent(DWORD present) {
    const std::uint32_t shown = present & IncludedDrives(*this);
    RemoveDriveItemsNotIn(shown);
    for (int letter = 0; letter < kLetters; ++letter) {
        const std::wstring path{static_cast<wchar_t>(L'A' + letter), L':', L'\\'};
        if ((shown & (1u << letter)) && PathToItem(path) == nullptr) {
            AddDriveItem(path);
        }
    }
}

}  // namespace bexlo
