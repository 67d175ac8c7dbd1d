#include "treectrl/CTreeFileCtrl.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>

#include "framework/Dpi.h"
#include "framework/LongPath.h"
#include "framework/SystemFunction.h"
#include "res/resource.h"
#include "treectrl/CheckBoxImages.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

// Paths as the file system compares them: without regard to case.
bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// State image indices of a check-box tree: none, unchecked, checked.
constexpr UINT kNoCheckBox = 0;
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

constexpr wchar_t kClassName[] = L"CTreeFileCtrl::";

// Shows the wait cursor while a listing runs.
class WaitCursor {
public:
    WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Stops a tree from redrawing for the life of the scope.
class NoRedraw {
public:
    NoRedraw(HWND window, bool active) : window_(active ? window : nullptr) {
        if (window_ != nullptr) {
            ::SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
        }
    }
    ~NoRedraw() {
        if (window_ != nullptr) {
            ::SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(window_, nullptr, TRUE);
        }
    }
    NoRedraw(const NoRedraw&) = delete;
    NoRedraw& operator=(const NoRedraw&) = delete;

private:
    HWND window_;
};

// The shell's small-icon image list, shared by every tree; the shell owns it.
HIMAGELIST SystemImageList() {
    static const HIMAGELIST list = [] {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        SHFILEINFOW info{};
        return reinterpret_cast<HIMAGELIST>(
            ::SHGetFileInfoW(temp, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    }();
    return list;
}

int ShellIcon(const std::wstring& path, UINT extraFlags) {
    SHFILEINFOW info{};
    if (::SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                         SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extraFlags) == 0) {
        return 0;
    }
    return info.iIcon;
}

// The title the shell shows for a file name; empty when it gives none. The common dialogs'
// library, which brings the printing libraries with it, is loaded only once a file is shown.
std::wstring ShellTitle(const std::wstring& name) {
    using GetFileTitleFn = short(WINAPI*)(LPCWSTR, LPWSTR, WORD);
    static const UniqueModule library(LoadSystemLibrary(L"comdlg32.dll"));
    static const auto getFileTitle =
        LibraryFunction<GetFileTitleFn>(library.Get(), "GetFileTitleW");
    wchar_t title[MAX_PATH]{};
    if (getFileTitle == nullptr || getFileTitle(name.c_str(), title, MAX_PATH) != 0) {
        return {};
    }
    return title;
}

}  // namespace

CTreeFileCtrl::CTreeFileCtrl() {
    mediaSerials.fill(0xFFFFFFFF);
}

CTreeFileCtrl::~CTreeFileCtrl() {
    KillNotificationThreads();
}

void CTreeFileCtrl::OnAttached() {
    treeProcedure = reinterpret_cast<WNDPROC>(::GetClassLongPtrW(Handle(), GCLP_WNDPROC));
    const HINSTANCE program = ::GetModuleHandleW(nullptr);
    copyRefusedCursor = ::LoadCursorW(program, MAKEINTRESOURCEW(IDC_COPY_NO));
    copyAllowedCursor = ::LoadCursorW(program, MAKEINTRESOURCEW(IDC_COPY_OK));
    moveRefusedCursor = ::LoadCursorW(program, MAKEINTRESOURCEW(IDC_MOVE_NO));
    moveAllowedCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    // A tree created with check boxes makes its check images at its first paint and then resets
    // every item's box. Setting the style again makes them at once on Windows, a first paint into
    // a memory context does under Wine: either way before any item is ticked.
    const LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
    if (style & TVS_CHECKBOXES) {
        ::SetWindowLongPtrW(Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(TVS_CHECKBOXES));
        ::SetWindowLongPtrW(Handle(), GWL_STYLE, style);
        UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        ::SendMessageW(Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc.Get()), 0);
        UseCheckBoxImages(WindowDpi(Handle()));
    }
}

void CTreeFileCtrl::UseCheckBoxImages(int dpi) {
    UniqueImageList images = MakeCheckBoxImages(dpi);
    if (!images) {
        return;
    }
    // The platform's own list is handed back to whoever sets another: it is ours to free.
    UniqueImageList platformImages(TreeView_SetImageList(Handle(), images.Get(), TVSIL_STATE));
    if (platformImages.Get() == checkBoxImages.Get()) {
        platformImages.Release();
    }
    checkBoxImages = std::move(images);
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

void CTreeFileCtrl::Initialise() {
    TreeView_SetImageList(Handle(), SystemImageList(), TVSIL_NORMAL);
    Refresh();
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

void CTreeFileCtrl::InsertSpecialFolder(int folderId, bool network) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId, &list)) || list == nullptr) {
        return;
    }
    const auto* pidl = reinterpret_cast<LPCWSTR>(list);
    SHFILEINFOW info{};
    auto record = std::make_unique<TreeItemData>();
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info), SHGFI_DISPLAYNAME | SHGFI_PIDL) != 0) {
        record->label = info.szDisplayName;
    }
    record->isNetworkNode = network ? 1 : 0;
    ::CoTaskMemFree(list);
    int image = 0;
    int selectedImage = 0;
    IconsOfSpecialFolder(folderId, image, selectedImage);
    HTREEITEM item =
        InsertTreeItem(TVI_ROOT, std::move(record), false, image, selectedImage, false);
    (network ? networkItem : computerItem) = item;
}

bool CTreeFileCtrl::IconsOfSpecialFolder(int folderId, int& image, int& selectedImage) const {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId, &list)) || list == nullptr) {
        return false;
    }
    const auto* pidl = reinterpret_cast<LPCWSTR>(list);
    SHFILEINFOW info{};
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info),
                         SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
        image = info.iIcon;
    }
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info),
                         SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON) != 0) {
        selectedImage = info.iIcon;
    }
    ::CoTaskMemFree(list);
    return true;
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
        const std::wstring text = record->label;
        InsertRecord(parent, owner, std::move(record), text, shared, image, openImage,
                     I_CHILDRENCALLBACK);
    }
    if (owner != nullptr) {
        owner->button = ChildButton::Shown;
    }
}

// Drives get the shell's own icon for them. A folder gets the shell's folder icon by its
// attributes alone: asking about each folder on disk made a level of n folders cost n squared.
int CTreeFileCtrl::IconOfPath(const std::wstring& path) const {
    return ShellIcon(path, IsDrive(path) ? 0 : SHGFI_USEFILEATTRIBUTES);
}

int CTreeFileCtrl::OpenIconOfPath(const std::wstring& path) const {
    return ShellIcon(path, SHGFI_OPENICON | (IsDrive(path) ? 0 : SHGFI_USEFILEATTRIBUTES));
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

RemovalWatch* CTreeFileCtrl::FindRemovalWatch(const std::wstring& drive) const {
    for (const auto& watch : removalWatches) {
        if (SamePath(watch->Drive(), drive)) {
            return watch.get();
        }
    }
    return nullptr;
}

HANDLE CTreeFileCtrl::RemovalHandle(const std::wstring& drive) const {
    const RemovalWatch* watch = FindRemovalWatch(drive);
    return watch != nullptr ? watch->Handle() : nullptr;
}

bool CTreeFileCtrl::RemovalRegistered(const std::wstring& drive) const {
    const RemovalWatch* watch = FindRemovalWatch(drive);
    return watch != nullptr && watch->Registered();
}

MsgResult CTreeFileCtrl::OnRemovalQuery(WPARAM event, LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    const bool gone = event == DBT_DEVICEREMOVEPENDING || event == DBT_DEVICEREMOVECOMPLETE;
    if ((event != DBT_DEVICEQUERYREMOVE && event != DBT_DEVICEQUERYREMOVEFAILED && !gone) ||
        header == nullptr || header->dbch_devicetype != DBT_DEVTYP_HANDLE) {
        return MsgResult::NotHandled();
    }
    const auto& change = *reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
    for (const auto& watch : removalWatches) {
        if (!watch->Concerns(change)) {
            continue;
        }
        const std::wstring drive = watch->Drive();
        if (gone) {
            // Also after a removal that asked nothing first; the registration goes with it.
            KillNotificationThread(drive);
        } else if (event == DBT_DEVICEQUERYREMOVE) {
            StopWatcher(drive);
            watch->Release();
        } else if (watch->Released()) {
            CreateMonitoringThread(drive);
        }
        return MsgResult::Handled(TRUE);
    }
    return MsgResult::NotHandled();
}

void CTreeFileCtrl::StopWatcher(const std::wstring& path) {
    std::erase_if(watchers, [&](const auto& watcher) { return SamePath(watcher->Path(), path); });
}

void CTreeFileCtrl::CreateMonitoringThread(const std::wstring& path) {
    if (IsDrive(path)) {
        RemovalWatch* watch = FindRemovalWatch(path);
        if (watch == nullptr) {
            removalWatches.push_back(std::make_unique<RemovalWatch>(path, Handle()));
        } else if (watch->Released()) {
            watch->Reopen();
        }
    }
    // One watcher a path: another would hold a second handle open on the drive for nothing.
    const bool watched = std::any_of(watchers.begin(), watchers.end(), [&](const auto& watcher) {
        return SamePath(watcher->Path(), path);
    });
    if (watched) {
        return;
    }
    Trace(L"CreateMonitoringThread", L"Creating monitoring thread for " + path);
    auto watcher = std::make_unique<Watcher>(path, Handle(), autoRefresh, showFiles == 1);
    // Indexes are never reused: a refresh request still queued from a stopped watcher must not
    // reach a newer one.
    const int index = nextWatcherIndex++;
    watchers.push_back(std::move(watcher));
    watchers.back()->Start(index);
}

void CTreeFileCtrl::KillNotificationThreads() {
    // Every watcher is asked first, then each is waited for in turn: any number of them.
    for (const auto& watcher : watchers) {
        watcher->RequestStop();
    }
    for (const auto& watcher : watchers) {
        watcher->Wait();
    }
    watchers.clear();
    removalWatches.clear();
}

void CTreeFileCtrl::KillNotificationThread(const std::wstring& path) {
    Trace(L"KillNotificationThread", L"Killing monitoring thread for " + path);
    StopWatcher(path);
    std::erase_if(removalWatches,
                  [&](const auto& watch) { return SamePath(watch->Drive(), path); });
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

std::wstring CTreeFileCtrl::ShellDriveName(const std::wstring& path) const {
    // Taken for the call and let go: a resident tree holds no shell object between listings.
    ComRef<IShellFolder> desktopFolder;
    if (FAILED(::SHGetDesktopFolder(desktopFolder.Put())) || !desktopFolder) {
        return path;
    }
    std::wstring parsed = path;
    LPITEMIDLIST list = nullptr;
    if (FAILED(desktopFolder->ParseDisplayName(nullptr, nullptr, parsed.data(), nullptr, &list,
                                               nullptr)) ||
        list == nullptr) {
        return path;
    }
    SHFILEINFOW info{};
    const bool named = ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof(info),
                                        SHGFI_DISPLAYNAME | SHGFI_PIDL) != 0;
    ::CoTaskMemFree(list);
    return named && info.szDisplayName[0] != L'\0' ? std::wstring(info.szDisplayName) : path;
}

size_t CTreeFileCtrl::RunningWatcherCount() const {
    return static_cast<size_t>(std::count_if(
        watchers.begin(), watchers.end(), [](const auto& watcher) { return watcher->Running(); }));
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

bool CTreeFileCtrl::OpenItem(HTREEITEM item) {
    if (NextItem(item, TVGN_CHILD) == nullptr) {
        // A folder never shown is listed as one with a button would be: that also finds a folder
        // gone from the disk since its level was listed.
        const TreeItemData* record = Record(item);
        if ((record != nullptr && record->button == ChildButton::Unknown) || HasChildren(item)) {
            return ExpandItem(item);
        }
    }
    TreeView_Expand(Handle(), item, TVE_EXPAND);
    return true;
}

HTREEITEM CTreeFileCtrl::WalkStart(const TreeWalk& walk) const {
    if (walk.network) {
        const TreeItemData* network = Record(networkItem);
        return networkItem != nullptr && model.Holds(network) ? ItemOf(model.ServerLevel(network))
                                                              : nullptr;
    }
    if (walk.fromRootItem && rootItem != nullptr) {
        return rootItem;
    }
    if (walk.fromComputer && computerItem != nullptr) {
        return computerItem;
    }
    return TVI_ROOT;
}

bool CTreeFileCtrl::WalkAllowed(const TreeWalk& walk, bool selecting) const {
    if (walk.outcome == TreeWalk::Outcome::EmptyPath && selecting) {
        Trace(L"SetSelectedPath", L"Cannot select a empty path");
    } else if (walk.outcome == TreeWalk::Outcome::OutsideRoot) {
        if (selecting) {
            Trace(L"SetSelectedPath", L"Could not select the path " + walk.path +
                                          L" as the root has been configued as " + walk.root);
        } else {
            Trace(L"PathToItem", L"Could not find the path " + walk.path +
                                     L" as the root has been configued as " + walk.root);
        }
    }
    return walk.outcome == TreeWalk::Outcome::Walk;
}

HTREEITEM CTreeFileCtrl::SetSelectedPath(const std::wstring& path, bool expand) {
    const TreeWalk walk = PlanTreeWalk(path, rootFolder, showNetwork == 1);
    if (!WalkAllowed(walk, true)) {
        return nullptr;
    }
    NoRedraw noRedraw(Handle(), true);
    if (walk.fromComputer && computerItem != nullptr) {
        OpenItem(computerItem);
    }
    if (walk.network && networkItem != nullptr) {
        OpenItem(networkItem);
    }
    HTREEITEM current = WalkStart(walk);
    if (current == nullptr) {
        return nullptr;
    }
    for (size_t i = 0; i < walk.segments.size(); ++i) {
        HTREEITEM child = FindChildByLabel(current, walk.segments[i]);
        if (child == nullptr) {
            return nullptr;
        }
        HTREEITEM parent = current;
        current = child;
        TreeView_SelectItem(Handle(), current);
        const bool last = i + 1 == walk.segments.size();
        if ((!last || expand) && !OpenItem(current)) {
            // The folder had gone from the disk: its item went with it.
            if (parent != TVI_ROOT) {
                TreeView_SelectItem(Handle(), parent);
            }
            return nullptr;
        }
    }
    return current == TVI_ROOT ? nullptr : current;
}

HTREEITEM CTreeFileCtrl::PathToItem(const std::wstring& path) const {
    const TreeWalk walk = PlanTreeWalk(path, rootFolder, showNetwork == 1);
    if (walk.outcome == TreeWalk::Outcome::Nothing) {
        return rootItem;
    }
    if (!WalkAllowed(walk, false)) {
        return nullptr;
    }
    HTREEITEM start = WalkStart(walk);
    if (start == nullptr) {
        return nullptr;
    }
    const TreeItemData* from = start == TVI_ROOT ? nullptr : Record(start);
    if (from != nullptr && !model.Holds(from)) {
        return nullptr;
    }
    return ItemOf(model.Follow(from, walk));
}

void CTreeFileCtrl::ExchangeSelectedPath(const DataExchange& exchange, std::wstring& path) {
    if (exchange.Saving()) {
        path = GetSelectedPath();
    } else {
        SetSelectedPath(path, false);
    }
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

std::vector<std::wstring> CTreeFileCtrl::CheckedPathsBelow(HTREEITEM parent) const {
    const TreeItemData* record = Record(parent);
    if (!model.Holds(record)) {
        return {};
    }
    return model.TickedPaths(
        record, [this](const TreeItemData& child) { return GetCheck(ItemOf(&child)); });
}

void CTreeFileCtrl::OnChange(int index) {
    if (autoRefresh.load() == 0) {
        return;
    }
    auto found = std::find_if(watchers.begin(), watchers.end(),
                              [index](const auto& watcher) { return watcher->Index() == index; });
    if (found == watchers.end()) {
        return;
    }
    const std::wstring watched = (*found)->Path();
    Trace(L"OnChange", L"Refreshing " + watched + L" due to change");

    NoRedraw noRedraw(Handle(), true);
    const RememberedSelection selection = RememberSelection();
    if (HTREEITEM item = PathToItem(watched); item != nullptr) {
        const std::vector<std::wstring> checked =
            checkBoxTree == 1 ? CheckedPathsBelow(item) : std::vector<std::wstring>{};
        ListFolderChildren(watched, item, true);
        for (const std::wstring& path : checked) {
            if (HTREEITEM again = SetSelectedPath(path, true); again != nullptr) {
                SetCheck(again, true);
            }
        }
    }
    if (reselectAfterRefresh == 1 && !selection.path.empty()) {
        SetSelectedPath(selection.path, selection.expanded);
    }
}

LRESULT CTreeFileCtrl::OnCustomDraw(NMTVCUSTOMDRAW& draw) const {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
        return CDRF_NOTIFYITEMDRAW;
    }
    if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && ::IsWindowVisible(Handle()) &&
        !(draw.nmcd.uItemState & CDIS_SELECTED)) {
        auto item = reinterpret_cast<HTREEITEM>(draw.nmcd.dwItemSpec);
        if (colourCompressed == 1 && IsCompressedItem(item)) {
            draw.clrText = compressedColour;
        } else if (colourEncrypted == 1 && IsEncryptedItem(item)) {
            draw.clrText = encryptedColour;
        }
    }
    return CDRF_DODEFAULT;
}

MsgResult CTreeFileCtrl::OnReflected(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) {
        return MsgResult::NotHandled();
    }
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    switch (header->code) {
        case TVN_DELETEITEMW: {
            // The owner may watch deletions too, so the notification is not swallowed.
            const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            OnItemDeleted(change->itemOld.hItem);
            auto* record = reinterpret_cast<TreeItemData*>(change->itemOld.lParam);
            // A drive's watchers go with its item (a removal, Clear): their open handles would
            // keep the drive from being ejected.
            if (model.Holds(record) && IsDrive(record->path)) {
                KillNotificationThread(record->path);
            }
            model.Forget(record);
            return MsgResult::NotHandled();
        }
        case TVN_GETDISPINFOW: {
            // Only the expand button is asked for: every other field is the item's own.
            auto& info = *reinterpret_cast<NMTVDISPINFOW*>(lParam);
            if (info.item.mask & TVIF_CHILDREN) {
                const auto* record = reinterpret_cast<const TreeItemData*>(info.item.lParam);
                info.item.cChildren = model.Holds(record) && ShowsButton(*record) ? 1 : 0;
            }
            return MsgResult::Handled(0);
        }
        case NM_CUSTOMDRAW:
            return MsgResult::Handled(OnCustomDraw(*reinterpret_cast<NMTVCUSTOMDRAW*>(lParam)));
        case NM_RCLICK:
            OnRightClick();
            // Handled: left to itself the tree would raise a second menu through WM_CONTEXTMENU.
            return MsgResult::Handled(1);
        case NM_DBLCLK:
            OnDoubleClick();
            return MsgResult::NotHandled();
        case TVN_BEGINLABELEDITW:
            return MsgResult::Handled(
                OnBeginLabelEdit(*reinterpret_cast<const NMTVDISPINFOW*>(lParam)));
        case TVN_ENDLABELEDITW:
            OnEndLabelEdit(*reinterpret_cast<const NMTVDISPINFOW*>(lParam));
            return MsgResult::Handled(0);
        case TVN_BEGINDRAGW:
            OnBeginDrag(*reinterpret_cast<const NMTREEVIEWW*>(lParam));
            return MsgResult::Handled(0);
        default:
            return MsgResult::NotHandled();
    }
}

namespace {

bool IsContextMenuKey(WPARAM key) {
    return key == VK_APPS || (key == VK_F10 && ::GetKeyState(VK_SHIFT) < 0);
}

void PostCommand(HWND window, int command) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

}  // namespace

bool CTreeFileCtrl::OnKeyDown(WPARAM key) {
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    switch (key) {
        case VK_BACK:
            UpOneLevel();
            return true;
        case VK_ESCAPE:
            if (Dragging()) {
                EndDrag(true);
                return true;
            }
            return false;
        case VK_RETURN:
            PostCommand(Handle(), alt ? ID_TREE_PROPERTIES : ID_TREE_OPEN);
            return true;
        case VK_DELETE:
            PostCommand(Handle(), ID_TREE_DELETE);
            return true;
        case VK_F2:
            PostCommand(Handle(), ID_TREE_RENAME);
            return true;
        case VK_F5:
            return true;
        case VK_LEFT:
        case VK_RIGHT:
            return alt;
        default:
            if (IsContextMenuKey(key)) {
                OnContextMenu(-1);
                return true;
            }
            return false;
    }
}

MsgResult CTreeFileCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kTreeRefreshMessage:
            OnChange(static_cast<int>(wParam));
            return MsgResult::Handled(0);
        case kDpiChangedAfterParent:
            if (checkBoxImages) {
                UseCheckBoxImages(WindowDpi(Handle()));
            }
            return MsgResult::NotHandled();

        case WM_DEVICECHANGE:
            return OnRemovalQuery(wParam, lParam);
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return OnKeyDown(wParam) ? MsgResult::Handled(0) : MsgResult::NotHandled();
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The menu opened on the key going down; the platform would open it again on release.
            return IsContextMenuKey(wParam) ? MsgResult::Handled(0) : MsgResult::NotHandled();
        case WM_GETDLGCODE: {
            // Enter, and Escape during a drag, are the tree's own keys, not the dialog's.
            const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
            LRESULT code = CallDefault(message, wParam, lParam);
            if (keyMessage != nullptr && keyMessage->message == WM_KEYDOWN &&
                (keyMessage->wParam == VK_RETURN ||
                 (keyMessage->wParam == VK_ESCAPE && Dragging()))) {
                code |= DLGC_WANTMESSAGE;
            }
            return MsgResult::Handled(code);
        }
        case WM_CONTEXTMENU:
            OnContextMenu(lParam);
            return MsgResult::Handled(0);
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
            return MsgResult::Handled(0);
        case WM_COMMAND:
            // Menu entries and posted commands; notifications of the label edit box pass.
            if (lParam == 0 && HIWORD(wParam) == 0) {
                OnCommand(LOWORD(wParam));
                return MsgResult::Handled(0);
            }
            return MsgResult::NotHandled();
        case WM_RBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            // The click notifications that follow carry no point, and the cursor may have moved
            // on by the time the click was taken from the queue.
            clickPoint = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            return MsgResult::NotHandled();
        case WM_MOUSEMOVE:
            if (Dragging()) {
                OnDragMove({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            }
            return MsgResult::NotHandled();
        case WM_LBUTTONUP:
            if (Dragging()) {
                RECT client{};
                ::GetClientRect(Handle(), &client);
                EndDrag(!::PtInRect(&client, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
                return MsgResult::Handled(0);
            }
            return MsgResult::NotHandled();
        case WM_CAPTURECHANGED:
            if (Dragging() && reinterpret_cast<HWND>(lParam) != Handle()) {
                EndDrag(true);
            }
            return MsgResult::NotHandled();
        case WM_TIMER:
            if (scrollTimerId != 0 && wParam == scrollTimerId) {
                OnDragTimer();
                return MsgResult::Handled(0);
            }
            return MsgResult::NotHandled();
        case WM_DESTROY:
            if (Dragging()) {
                EndDrag(true);
            }
            KillNotificationThreads();
            DeleteAllItems();
            if (checkBoxImages) {
                TreeView_SetImageList(Handle(), nullptr, TVSIL_STATE);
            }
            return MsgResult::NotHandled();
        default:
            return MsgResult::NotHandled();
    }
}

}  // namespace bexlo
