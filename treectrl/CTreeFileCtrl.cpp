#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

namespace {

// State image indices of a check-box tree: none, unchecked, checked.
constexpr UINT kNoCheckBox = 0;
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

}  // namespace

void CTreeFileCtrl::Initialise() {}

std::wstring CTreeFileCtrl::ItemToPath(HTREEITEM) const {
    return {};
}

bool CTreeFileCtrl::HasChildren(HTREEITEM item) const {
    TVITEMW info{};
    info.mask = TVIF_CHILDREN | TVIF_HANDLE;
    info.hItem = item;
    return TreeView_GetItem(Handle(), &info) && info.cChildren != 0;
}

void CTreeFileCtrl::ExpandItem(HTREEITEM) {}

void CTreeFileCtrl::SetCheck(HTREEITEM item, bool checked) {
    UINT image = checked ? kChecked : kUnchecked;
    if (hideCheckOnce) {
        image = kNoCheckBox;
        hideCheckOnce = 0;
    } else if (uncheckOnce) {
        image = kUnchecked;
        uncheckOnce = 0;
    }
    TreeView_SetItemState(Handle(), item, INDEXTOSTATEIMAGEMASK(image), TVIS_STATEIMAGEMASK);
}

bool CTreeFileCtrl::GetCheck(HTREEITEM item) const {
    const UINT state = TreeView_GetItemState(Handle(), item, TVIS_STATEIMAGEMASK);
    return (state >> 12) == kChecked;
}

void CTreeFileCtrl::ExchangeSelectedPath(const DataExchange& exchange, std::wstring& path) {
    if (exchange.Saving()) {
        if (HTREEITEM item = SelectedItem(); item != nullptr) {
            path = ItemToPath(item);
        }
    }
}

}  // namespace bexlo
