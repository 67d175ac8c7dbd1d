#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>

#include "framework/Control.h"
#include "framework/Dialog.h"

namespace bexlo {

inline constexpr int kDriveSlots = 27;

// The shell-style tree of drives and folders. This version keeps the check-box rules and the
// owner's flags but lists nothing yet: Initialise leaves the tree empty.
class CTreeFileCtrl : public Control {
public:
    // One-shot: the next SetCheck removes the item's check box.
    int hideCheckOnce = 0;
    // 1 on the tree that shows check boxes.
    int checkBoxTree = 0;
    // One-shot: the next SetCheck shows an empty check box whatever is asked.
    int uncheckOnce = 0;
    // 1: a change refresh selects the previously selected path again.
    int reselectAfterRefresh = 0;
    // A drive is listed only when its entry is exactly 1.
    std::array<int, kDriveSlots> DriveIncludeFlags{};

    void Initialise();

    HTREEITEM RootItem() const { return TreeView_GetRoot(Handle()); }
    HTREEITEM SelectedItem() const { return TreeView_GetSelection(Handle()); }
    std::wstring ItemToPath(HTREEITEM item) const;
    bool HasChildren(HTREEITEM item) const;
    void ExpandItem(HTREEITEM item);

    void SetCheck(HTREEITEM item, bool checked);
    bool GetCheck(HTREEITEM item) const;

    // Loading selects `path` in the tree; saving takes the selected item's path.
    void ExchangeSelectedPath(const DataExchange& exchange, std::wstring& path);
};

}  // namespace bexlo
