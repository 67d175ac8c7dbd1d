// The tree view's messages and notifications, its keys and its drawing.

#include <windowsx.h>

#include "framework/Dpi.h"
#include "res/resource.h"
#include "treectrl/CTreeFileCtrl.h"
#include "treectrl/CheckBoxImages.h"

namespace bexlo {

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
            watchers.OnRefreshRequest(static_cast<int>(wParam));
            return MsgResult::Handled(0);
        case kDpiChangedAfterParent:
            if (checkBoxImages) {
                UseCheckBoxImages(WindowDpi(Handle()));
            }
            return MsgResult::NotHandled();

        case WM_DEVICECHANGE:
            return watchers.OnDeviceChange(wParam, lParam, Handle(), showFiles == 1)
                       ? MsgResult::Handled(TRUE)
                       : MsgResult::NotHandled();
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
