#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winnetwk.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Control.h"
#include "framework/DesktopShell.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "treectrl/ShareList.h"
#include "treectrl/TreeItemData.h"
#include "treectrl/TreeModel.h"
#include "treectrl/TreePath.h"
#include "treectrl/TreeRules.h"
#include "treectrl/TreeWatchers.h"
#include "treectrl/WindowsTreeListing.h"

namespace bexlo {

// A watcher's refresh request; the first parameter is the watcher's index.
inline constexpr UINT kTreeRefreshMessage = WM_USER;

// The timer that scrolls and opens items under a drag; its id is one the platform's tree does not
// use for its own timers.
inline constexpr UINT_PTR kDragTimerId = 0xB1D;
inline constexpr UINT kDragTimerMs = 250;

namespace handle_traits {
struct ImageList {
    using Type = HIMAGELIST;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::ImageList_Destroy(h); }
};
}  // namespace handle_traits
using UniqueImageList = UniqueHandle<handle_traits::ImageList>;

// Receives the tree's diagnostics ("CTreeFileCtrl::<operation>, <message>\n"); none by default.
using TreeTraceHook = std::function<void(const std::wstring&)>;

// A tree of the machine's drives and folders as the shell shows them, filled level by level on
// expansion and kept current by watchers on the expanded drives. The options of what shows are
// the owner's to write.
class CTreeFileCtrl : public Control, public TreeDisplayOptions, private TreeWatchSink {
public:
    CTreeFileCtrl();
    ~CTreeFileCtrl() override;

    // Written by the owner.
    int hideCheckOnce = 0;
    int checkBoxTree = 0;
    int uncheckOnce = 0;
    int reselectAfterRefresh = 0;

    // Configuration, with the defaults the main dialog keeps.
    std::wstring rootFolder;
    int showComputerItem = 1;
    int showNetwork = 0;
    int showSharedOverlay = 1;
    int showRootItem = 0;
    int useShellDriveNames = 1;
    COLORREF compressedColour = RGB(0, 0, 255);
    int colourCompressed = 1;
    COLORREF encryptedColour = RGB(255, 0, 0);
    int colourEncrypted = 1;
    std::array<DWORD, 26> mediaSerials;
    // 0: file labels drop the extension; 1: the full name; 2: the title the shell gives.
    int fileNameMode = 2;
    // The resource type the network enumeration asks for (0: any).
    int networkResourceType = 0;

    // Item commands and dragging; with these defaults only Properties is offered.
    int allowDragDrop = 0;
    int allowRename = 0;
    int allowOpen = 0;
    int allowProperties = 1;
    int allowDelete = 0;

    HTREEITEM computerItem = nullptr;
    HTREEITEM networkItem = nullptr;
    HTREEITEM rootItem = nullptr;
    // The item being dragged and the one under the cursor with the drop highlight.
    HTREEITEM dragItem = nullptr;
    HTREEITEM dropItem = nullptr;
    int hoverTicks = 0;
    UINT_PTR scrollTimerId = 0;

    void SetTraceHook(TreeTraceHook hook) { traceHook = std::move(hook); }
    // The shell that opens items and shows their properties: the desktop's own unless the owner
    // gives another, which outlives the tree.
    void SetUserShell(UserShell& shell) { userShell = &shell; }
    int AutoRefresh() const { return autoRefresh.load(); }
    size_t WatcherCount() const { return watchers.Count(); }
    HANDLE RemovalHandle(const std::wstring& drive) const { return watchers.RemovalHandle(drive); }
    bool RemovalRegistered(const std::wstring& drive) const {
        return watchers.RemovalRegistered(drive);
    }
    size_t RunningWatcherCount() const { return watchers.RunningCount(); }
    void SetShowNetwork(int flag);
    bool Dragging() const { return dragImage.Valid(); }

    virtual std::wstring ItemToPath(HTREEITEM item) const;
    virtual HTREEITEM PathToItem(const std::wstring& path) const;
    virtual bool IsFile(const std::wstring& path) const;
    virtual bool IsFolder(const std::wstring& path) const;
    virtual bool IsDrive(const std::wstring& path) const;
    virtual bool IsCompressed(const std::wstring& path) const;
    virtual bool IsEncrypted(const std::wstring& path) const;
    virtual bool IsShared(const std::wstring& path) const;
    // The item commands; each does nothing unless its switch is on.
    virtual bool Rename(HTREEITEM item);
    virtual bool ShowProperties(HTREEITEM item);
    virtual bool Delete(HTREEITEM item);
    virtual bool Open(HTREEITEM item);
    virtual void Initialise();
    virtual void UpOneLevel();
    virtual void Refresh();
    virtual void ListFolderChildren(const std::wstring& path, HTREEITEM parent, bool redraw);
    virtual void ListDrives(HTREEITEM parent, bool redraw);
    virtual int IconOfPath(const std::wstring& path) const;
    virtual int OpenIconOfPath(const std::wstring& path) const;
    bool HasSubfolders(const std::wstring& path) const { return model.HasSubfolders(path, *this); }
    virtual HTREEITEM InsertTreeItem(HTREEITEM parent, std::unique_ptr<TreeItemData> record,
                                     bool shared, int image, int selectedImage, bool askChildren);
    virtual HTREEITEM FindChildByLabel(HTREEITEM parent, const std::wstring& name) const;
    virtual bool CanDrag(HTREEITEM item) const;
    // The folder a drop onto `item` goes to, or none.
    virtual HTREEITEM DropTargetFor(HTREEITEM item) const;
    // Some child of `parent` shows `text`, in any case.
    virtual bool HasChildLabel(HTREEITEM parent, const std::wstring& text) const;
    virtual bool CanDisplayNetworkItem(const NetworkRecord&) const { return true; }
    virtual bool DriveCanBeWatched(const std::wstring& path) const;
    virtual void CreateMonitoringThread(const std::wstring& path);
    virtual void KillNotificationThreads();
    virtual void KillNotificationThread(const std::wstring& path);
    virtual bool GetVolumeSerial(const std::wstring& path, DWORD& serial) const;
    virtual bool IsMediaValid(const std::wstring& path);
    // Lists the network resources below the network item or a network container; 1 when the
    // enumeration gave entries.
    virtual int EnumNetwork(HTREEITEM item);
    virtual std::wstring ShellDriveName(const std::wstring& path) const;

    // Collapses `item` and deletes the items below it, to be listed again when it next opens.
    void CollapseAndReset(HTREEITEM item);
    HTREEITEM RootItem() const { return TreeView_GetRoot(Handle()); }
    HTREEITEM SelectedItem() const { return TreeView_GetSelection(Handle()); }
    const TreeItemData* Record(HTREEITEM item) const;
    // The text the item shows.
    std::wstring ItemText(HTREEITEM item) const;
    bool IsFileItem(HTREEITEM item) const { return IsFile(ItemToPath(item)); }
    bool IsFolderItem(HTREEITEM item) const { return IsFolder(ItemToPath(item)); }
    bool IsDriveItem(HTREEITEM item) const { return IsDrive(ItemToPath(item)); }
    bool IsCompressedItem(HTREEITEM item) const { return IsCompressed(ItemToPath(item)); }
    bool IsEncryptedItem(HTREEITEM item) const { return IsEncrypted(ItemToPath(item)); }

    // Fills an item being expanded; false when the item turned out to be gone and was deleted.
    bool ExpandItem(HTREEITEM item);
    void SetHasChildren(HTREEITEM item, bool flag);
    bool HasChildren(HTREEITEM item) const;
    void SetCheck(HTREEITEM item, bool checked);
    bool GetCheck(HTREEITEM item) const;

    std::wstring GetSelectedPath() const { return ItemToPath(SelectedItem()); }
    HTREEITEM SetSelectedPath(const std::wstring& path, bool expand);
    // Loading selects `path` in the tree; saving takes the selected item's path.
    void ExchangeSelectedPath(const DataExchange& exchange, std::wstring& path);

    // Adds the item of a drive the owner found, under the root item (no check box on a check-box
    // tree); false when there is no root item.
    bool AddDriveItem(const std::wstring& drivePath);
    // Removes the drive items whose letters are not in `present` (bit 0 = A).
    void RemoveDriveItemsNotIn(DWORD present);
    // Shows below the root item the drives of `present` that the include flags list, and no
    // others: a drive whose side changed leaves the tree it no longer belongs to, so that an
    // enclosure drive never stays tickable as a source of its own backup.
    void ShowDrivesPresent(DWORD present);

    // Adds the item of one network resource record under `parent`.
    HTREEITEM AddNetworkEntry(HTREEITEM parent, const NETRESOURCEW& entry);
    // Whether the item menu offers `command` for the selected item.
    bool CommandEnabled(int command) const;

    MsgResult OnReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    // Relists the changed folder's level, keeping its ticks and, when asked, the selection.
    void FolderChanged(const std::wstring& path) override;
    void TraceWatch(const std::wstring& operation, const std::wstring& message) const override {
        Trace(operation, message);
    }

protected:
    // The shell's file operation of the item commands and of a drop. It may show the shell's own
    // windows (confirmations); a derived tree can watch or replace it.
    virtual int RunShellFileOperation(SHFILEOPSTRUCTW& operation);

    // The tree's own file operations switch refreshing off without a refresh.
    std::atomic<int> autoRefresh{1};

private:
    // The selected path and whether its item was open, to select it again after a relisting.
    struct RememberedSelection {
        std::wstring path;
        bool expanded = false;
    };
    RememberedSelection RememberSelection() const;
    // The item messages go to the platform's tree procedure itself, past the subclass chain:
    // a level of thousands of items takes as many messages, and each trip through the chain
    // costs the platform a window-property lookup (under Wine a round trip to its server).
    // The subclass handles none of them.
    LRESULT TreeMessage(UINT message, WPARAM wParam, LPARAM lParam) const;
    HTREEITEM NextItem(HTREEITEM item, UINT relation) const;
    bool GetItemInfo(TVITEMW& info) const;
    void Trace(const std::wstring& operation, const std::wstring& message) const;
    void DeleteAllItems();
    bool OpenItem(HTREEITEM item);
    // Where a walk begins; none for a network path while no listed level holds servers.
    HTREEITEM WalkStart(const TreeWalk& walk) const;
    // Traces a walk that cannot go ahead; true when it can.
    bool WalkAllowed(const TreeWalk& walk, bool selecting) const;
    std::vector<std::wstring> CheckedPathsBelow(HTREEITEM parent) const;
    static HTREEITEM ItemOf(const TreeItemData* record) {
        return record != nullptr ? static_cast<HTREEITEM>(record->viewItem) : nullptr;
    }
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW& draw) const;
    bool OnKeyDown(WPARAM key);
    TreeItemData* MutableRecord(HTREEITEM item);
    // Whether a callback item shows its expand button: one search the first time, then the
    // answer its record keeps.
    bool ShowsButton(const TreeItemData& record) const;
    // `owner` is the record of `parent`, null at the top level.
    HTREEITEM InsertRecord(HTREEITEM parent, TreeItemData* owner,
                           std::unique_ptr<TreeItemData> record, const std::wstring& text,
                           bool shared, int image, int selectedImage, int children);
    void InsertSpecialFolder(int folderId, bool network);
    bool IconsOfSpecialFolder(int folderId, int& image, int& selectedImage) const;

    // Item commands and the item menu.
    TreeItemFacts FactsOf(HTREEITEM item) const;
    HWND MainWindow() const;
    // A file operation with refreshing off for its length; true when it was done in full.
    bool FileOperation(UINT operation, const std::wstring& source, const std::wstring& target,
                       FILEOP_FLAGS flags, HWND owner);
    bool AskShell(HTREEITEM item, ShellVerb verb);
    void ShowItemMenu(POINT screen);
    void OnRightClick();
    void OnContextMenu(LPARAM point);
    void OnInitMenuPopup(HMENU menu) const;
    void OnCommand(int command);
    void OnDoubleClick();
    LRESULT OnBeginLabelEdit(const NMTVDISPINFOW& info);
    void OnEndLabelEdit(const NMTVDISPINFOW& info);

    // Dragging.
    void OnBeginDrag(const NMTREEVIEWW& drag);
    void OnDragMove(POINT client);
    void EndDrag(bool cancelled);
    void OnDragTimer();
    void HighlightDropItem(HTREEITEM item);
    void OnItemDeleted(HTREEITEM item);

    // Ties the check boxes to the tree's scale: the platform's own come at one size only.
    void UseCheckBoxImages(int dpi);

    WNDPROC treeProcedure = nullptr;
    // The check boxes the tree shows; the tree lets go of them before it goes.
    UniqueImageList checkBoxImages;
    TreeWatchers watchers{autoRefresh, *this};
    WindowsTreeListing listing;
    // Every item's record, keyed by the pointer the item carries.
    TreeModel model{listing};
    TreeTraceHook traceHook;
    DesktopShell desktopShell;
    UserShell* userShell = &desktopShell;
    ShareList shares;
    UniqueImageList dragImage;
    // The item whose label is being edited. The platform may report the end of an edit twice;
    // only the first report renames.
    HTREEITEM editedItem = nullptr;
    // Where the last right press or double click was, in client coordinates.
    POINT clickPoint{};
    // Borrowed: cursors loaded from resources are the system's to free.
    HCURSOR copyAllowedCursor = nullptr;
    HCURSOR copyRefusedCursor = nullptr;
    HCURSOR moveAllowedCursor = nullptr;
    HCURSOR moveRefusedCursor = nullptr;
};

}  // namespace bexlo
