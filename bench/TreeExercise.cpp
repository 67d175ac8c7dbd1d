// Opens the main dialog's trees four levels deep and closes them again, from outside the
// program, with the tree's own expand messages: an expansion reaches the program as a click's
// does, a collapse sent so tells it nothing. bench/idle-bench.sh then measures what the program
// holds. Exits 1 when it finds no dialog.

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "res/resource.h"

namespace {

HTREEITEM Next(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// Expands `item` and its descendants down to `depth` levels, noting each expanded item.
void ExpandDown(HWND tree, HTREEITEM item, int depth, std::vector<HTREEITEM>& expanded) {
    if (depth == 0) {
        return;
    }
    if (::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item)) != 0) {
        expanded.push_back(item);
    }
    for (HTREEITEM child = Next(tree, item, TVGN_CHILD); child != nullptr;
         child = Next(tree, child, TVGN_NEXT)) {
        ExpandDown(tree, child, depth - 1, expanded);
    }
}

}  // namespace

int wmain() {
    HWND dialog = ::FindWindowW(nullptr, L"Bexlo");
    if (dialog == nullptr) {
        return 1;
    }
    for (int id : {IDC_SOURCE_TREE, IDC_TARGET_TREE}) {
        HWND tree = ::GetDlgItem(dialog, id);
        std::vector<HTREEITEM> expanded;
        for (HTREEITEM root = Next(tree, nullptr, TVGN_ROOT); root != nullptr;
             root = Next(tree, root, TVGN_NEXT)) {
            ExpandDown(tree, root, 4, expanded);
        }
        for (auto item = expanded.rbegin(); item != expanded.rend(); ++item) {
            ::SendMessageW(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(*item));
        }
    }
    return 0;
}
