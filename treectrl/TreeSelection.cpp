// Walking a path down the tree to select or find its item, and the relisting after a change on
// disk that keeps the ticks and the selection.

#include "treectrl/CTreeFileCtrl.h"
#include "treectrl/TreeViewScopes.h"

namespace bexlo {

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

std::vector<std::wstring> CTreeFileCtrl::CheckedPathsBelow(HTREEITEM parent) const {
    const TreeItemData* record = Record(parent);
    if (!model.Holds(record)) {
        return {};
    }
    return model.TickedPaths(
        record, [this](const TreeItemData& child) { return GetCheck(ItemOf(&child)); });
}

void CTreeFileCtrl::FolderChanged(const std::wstring& watched) {
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

}  // namespace bexlo
