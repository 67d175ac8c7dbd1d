#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

// The source selection between the source tree's check marks and path.txt: the full paths of the
// checked items in tree order. A checked folder stands for its whole subtree, so the items below
// it lose their check boxes and the list never holds a path together with one of its
// descendants.
class SelectionList {
public:
    enum class Checkboxes { Hide, Restore };

    // `itemLimit` is read at every rebuild; `onOverLimit` tells the user that an item went over
    // it (the item is unchecked again).
    SelectionList(CTreeFileCtrl& tree, const int& itemLimit, std::function<void()> onOverLimit)
        : tree_(tree), itemLimit_(itemLimit), onOverLimit_(std::move(onOverLimit)) {}

    // RebuildSelectionList: gives the subtrees of the listed items their check boxes back, then
    // collects the checked items afresh.
    void Rebuild();
    // Walks `item`, its following siblings and their descendants; true when an item past the
    // limit was found and unchecked.
    bool CollectCheckedItems(HTREEITEM item);
    void SetSubtreeCheckboxes(HTREEITEM item, Checkboxes mode);
    // The root item and the drives right below it carry no check box.
    void HideTopLevelCheckboxes();

    void Clear() { entries_.clear(); }
    const std::vector<std::wstring>& Entries() const { return entries_; }

private:
    HTREEITEM FirstChild(HTREEITEM item) const { return TreeView_GetChild(tree_.Handle(), item); }
    HTREEITEM NextSibling(HTREEITEM item) const {
        return TreeView_GetNextSibling(tree_.Handle(), item);
    }

    CTreeFileCtrl& tree_;
    const int& itemLimit_;
    std::function<void()> onOverLimit_;
    std::vector<std::wstring> entries_;
    bool rebuilding_ = false;
};

}  // namespace bexlo
