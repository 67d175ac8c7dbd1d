// Dragging a file item onto a folder item of the same tree: the shell copies or moves the file.

#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

namespace {

bool ControlHeld() {
    return ::GetKeyState(VK_CONTROL) < 0;
}

}  // namespace

bool CTreeFileCtrl::CanDrag(HTREEITEM item) const {
    return !IsDriveItem(item) && IsFileItem(item);
}

HTREEITEM CTreeFileCtrl::DropTargetFor(HTREEITEM item) const {
    if (item == nullptr || dragItem == nullptr || IsFileItem(item) || item == dragItem ||
        item == TreeView_GetParent(Handle(), dragItem) || !IsFolderItem(item)) {
        return nullptr;
    }
    for (HTREEITEM above = TreeView_GetParent(Handle(), item); above != nullptr;
         above = TreeView_GetParent(Handle(), above)) {
        if (above == dragItem) {
            return nullptr;
        }
    }
    return item;
}

std::wstring CTreeFileCtrl::ItemText(HTREEITEM item) const {
    wchar_t text[MAX_PATH]{};
    TVITEMW info{};
    info.mask = TVIF_TEXT | TVIF_HANDLE;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = MAX_PATH;
    return TreeView_GetItem(Handle(), &info) ? std::wstring(text) : std::wstring();
}

bool CTreeFileCtrl::HasChildLabel(HTREEITEM parent, const std::wstring& text) const {
    for (HTREEITEM child = TreeView_GetChild(Handle(), parent); child != nullptr;
         child = TreeView_GetNextSibling(Handle(), child)) {
        if (::lstrcmpiW(ItemText(child).c_str(), text.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

void CTreeFileCtrl::OnBeginDrag(const NMTREEVIEWW& drag) {
    HTREEITEM item = drag.itemNew.hItem;
    if (allowDragDrop != 1 || !CanDrag(item)) {
        return;
    }
    UniqueImageList image(TreeView_CreateDragImage(Handle(), item));
    if (!image) {
        return;
    }
    dragImage = std::move(image);
    dragItem = item;
    dropItem = nullptr;
    hoverTicks = 0;

    // The image is grabbed where the item was: its icon starts one indent per level in.
    POINT hotSpot{8, 8};
    TVHITTESTINFO hit{};
    hit.pt = drag.ptDrag;
    RECT rect{};
    if (HTREEITEM hitItem = TreeView_HitTest(Handle(), &hit);
        hitItem != nullptr && TreeView_GetItemRect(Handle(), hitItem, &rect, FALSE)) {
        int depth = 0;
        for (HTREEITEM up = hitItem; up != nullptr; up = TreeView_GetParent(Handle(), up)) {
            ++depth;
        }
        if (!(::GetWindowLongPtrW(Handle(), GWL_STYLE) & TVS_LINESATROOT)) {
            --depth;
        }
        const int indent = static_cast<int>(TreeView_GetIndent(Handle()));
        hotSpot.x = drag.ptDrag.x + ::GetScrollPos(Handle(), SB_HORZ) - indent * depth;
        hotSpot.y = drag.ptDrag.y - rect.top;
    }
    ::ImageList_BeginDrag(dragImage.Get(), 0, hotSpot.x, hotSpot.y);
    POINT screen = drag.ptDrag;
    ::ClientToScreen(Handle(), &screen);
    ::ImageList_DragEnter(nullptr, screen.x, screen.y);
    ::SetCapture(Handle());
    scrollTimerId = ::SetTimer(Handle(), kDragTimerId, kDragTimerMs, nullptr);
}

void CTreeFileCtrl::HighlightDropItem(HTREEITEM item) {
    ::ImageList_DragShowNolock(FALSE);
    TreeView_SelectDropTarget(Handle(), item);
    dropItem = item;
    ::ImageList_DragShowNolock(TRUE);
}

void CTreeFileCtrl::OnDragMove(POINT client) {
    POINT screen = client;
    ::ClientToScreen(Handle(), &screen);
    ::ImageList_DragMove(screen.x, screen.y);
    RECT rect{};
    ::GetClientRect(Handle(), &rect);
    HTREEITEM hit = nullptr;
    if (::PtInRect(&rect, client)) {
        TVHITTESTINFO test{};
        test.pt = client;
        hit = TreeView_HitTest(Handle(), &test);
        if (hit != dropItem) {
            // Hovering starts again over each new item.
            hoverTicks = 0;
            HighlightDropItem(hit);
        }
    }
    const bool valid = hit != nullptr && DropTargetFor(hit) != nullptr;
    if (ControlHeld()) {
        ::SetCursor(valid ? copyAllowedCursor : copyRefusedCursor);
    } else {
        ::SetCursor(valid ? moveAllowedCursor : moveRefusedCursor);
    }
}

void CTreeFileCtrl::EndDrag(bool cancelled) {
    // Moving the image out ends the drag at once, also for the capture change that follows.
    UniqueImageList image = std::move(dragImage);
    ::KillTimer(Handle(), scrollTimerId);
    scrollTimerId = 0;
    ::ImageList_DragLeave(nullptr);
    ::ImageList_EndDrag();
    ::ReleaseCapture();
    image.Reset();

    TreeView_SelectDropTarget(Handle(), nullptr);
    HTREEITEM source = dragItem;
    HTREEITEM target = DropTargetFor(dropItem);
    dragItem = nullptr;
    dropItem = nullptr;
    if (target == nullptr || cancelled) {
        return;
    }
    const bool copy = ControlHeld();
    const FILEOP_FLAGS flags =
        FOF_SILENT | FOF_NOCONFIRMMKDIR | (::GetKeyState(VK_SHIFT) < 0 ? 0 : FOF_ALLOWUNDO);
    if (!FileOperation(copy ? FO_COPY : FO_MOVE, ItemToPath(source), ItemToPath(target), flags,
                       Handle())) {
        return;
    }
    if (!HasChildLabel(target, ItemText(source))) {
        // Listed again on its next expansion, with the new file.
        CollapseAndReset(target);
        TreeView_SelectItem(Handle(), target);
        SetHasChildren(target, true);
    }
    if (!copy) {
        HTREEITEM parent = TreeView_GetParent(Handle(), source);
        TreeView_DeleteItem(Handle(), source);
        if (parent != nullptr && TreeView_GetChild(Handle(), parent) == nullptr) {
            SetHasChildren(parent, false);
        }
    }
}

void CTreeFileCtrl::OnDragTimer() {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::ImageList_DragMove(cursor.x, cursor.y);
    ::ScreenToClient(Handle(), &cursor);
    RECT rect{};
    ::GetClientRect(Handle(), &rect);
    HTREEITEM firstVisible = TreeView_GetFirstVisible(Handle());
    switch (AutoScrollFor(cursor.y, rect.bottom, TreeView_GetItemHeight(Handle()),
                          firstVisible == RootItem())) {
        case AutoScroll::Up: {
            ::ImageList_DragShowNolock(FALSE);
            ::SendMessageW(Handle(), WM_VSCROLL, SB_LINEUP, 0);
            HTREEITEM item = TreeView_GetFirstVisible(Handle());
            TreeView_EnsureVisible(Handle(), item);
            TreeView_SelectDropTarget(Handle(), item);
            dropItem = item;
            ::ImageList_DragShowNolock(TRUE);
            break;
        }
        case AutoScroll::Down: {
            ::ImageList_DragShowNolock(FALSE);
            ::SendMessageW(Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
            HTREEITEM item = TreeView_GetFirstVisible(Handle());
            const UINT visible = TreeView_GetVisibleCount(Handle());
            for (UINT step = 1; step < visible; ++step) {
                HTREEITEM next = TreeView_GetNextVisible(Handle(), item);
                if (next == nullptr) {
                    break;
                }
                item = next;
            }
            TreeView_SelectDropTarget(Handle(), item);
            TreeView_EnsureVisible(Handle(), item);
            dropItem = item;
            ::ImageList_DragShowNolock(TRUE);
            break;
        }
        case AutoScroll::None:
            break;
    }
    if (dropItem == nullptr) {
        return;
    }
    if (hoverTicks >= 3) {
        hoverTicks = 0;
        ::ImageList_DragShowNolock(FALSE);
        if (OpenItem(dropItem)) {
            TreeView_Expand(Handle(), dropItem, TVE_EXPAND);
        }
        ::ImageList_DragShowNolock(TRUE);
    }
    if (dropItem != nullptr && HasChildren(dropItem) &&
        !(TreeView_GetItemState(Handle(), dropItem, TVIS_EXPANDED) & TVIS_EXPANDED)) {
        ++hoverTicks;
    }
}

void CTreeFileCtrl::OnItemDeleted(HTREEITEM item) {
    if (item == dropItem) {
        dropItem = nullptr;
    }
    if (item == dragItem) {
        if (Dragging()) {
            EndDrag(true);
        }
        dragItem = nullptr;
    }
}

}  // namespace bexlo
