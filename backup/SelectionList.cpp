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
    if (HTREEITEM root = tree_.RootItem(); root != nullptr) {
        CollectCheckedItems(FirstChild(root));
    }
    rebuilding_ = false;
}

void SelectionList::CollectCheckedItems(HTREEITEM item) {
    for (; item != nullptr; item = NextSibling(item)) {
        if (tree_.GetCheck(item)) {
            entries_.push_back(tree_.ItemToPath(item));
            if (entries_.size() > static_cast<std::size_t>(itemLimit_)) {
                tree_.uncheckOnce = 1;
                tree_.SetCheck(item, true);
                onOverLimit_();
            }
            SetSubtreeCheckboxes(FirstChild(item), Checkboxes::Hide);
        }
        if (HTREEITEM child = FirstChild(item); child != nullptr) {
            CollectCheckedItems(child);
        }
    }
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

}  // namespace bexlo
