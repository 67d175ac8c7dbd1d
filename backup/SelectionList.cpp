#include "backup/SelectionList.h"

namespace bexlo {

void SelectionList::Rebuild() {
    // The over-limit box runs a message loop in which timer 4 ticks again.
    if (rebuilding_) {
        return;
    }
    rebuilding_ = true;
    for (const std::wstring& path : entries_) {
        if (HTREEITEM item = tree_.PathToItem(path); item != nullptr) {
            SetSubtreeCheckboxes(FirstChild(item), Checkboxes::Restore);
        }
    }
    entries_.clear();
    bool overLimit = false;
    if (HTREEITEM root = tree_.RootItem(); root != nullptr) {
        overLimit = CollectCheckedItems(FirstChild(root));
    }
    // Only once the walk is over: a tree refresh inside the box's message loop may free the items
    // the walk holds.
    if (overLimit) {
        onOverLimit_();
    }
    rebuilding_ = false;
}

bool SelectionList::CollectCheckedItems(HTREEITEM item) {
    bool overLimit = false;
    for (; item != nullptr; item = NextSibling(item)) {
        if (tree_.GetCheck(item)) {
            entries_.push_back(tree_.ItemToPath(item));
            if (entries_.size() > static_cast<std::size_t>(itemLimit_)) {
                tree_.uncheckOnce = 1;
                tree_.SetCheck(item, true);
                overLimit = true;
            }
            SetSubtreeCheckboxes(FirstChild(item), Checkboxes::Hide);
        }
        if (HTREEITEM child = FirstChild(item); child != nullptr) {
            overLimit = CollectCheckedItems(child) || overLimit;
        }
    }
    return overLimit;
}

void SelectionList::SetSubtreeCheckboxes(HTREEITEM item, Checkboxes mode) {
    for (; item != nullptr; item = NextSibling(item)) {
        if (mode == Checkboxes::Hide) {
            tree_.hideCheckOnce = 1;
            tree_.SetCheck(item, true);
        } else {
            tree_.SetCheck(item, false);
        }
        SetSubtreeCheckboxes(FirstChild(item), mode);
    }
}

void SelectionList::HideTopLevelCheckboxes() {
    HTREEITEM root = tree_.RootItem();
    if (root == nullptr) {
        return;
    }
    tree_.hideCheckOnce = 1;
    tree_.SetCheck(root, false);
    for (HTREEITEM item = FirstChild(root); item != nullptr; item = NextSibling(item)) {
        tree_.hideCheckOnce = 1;
        tree_.SetCheck(item, false);
    }
}

}  // namespace bexlo
