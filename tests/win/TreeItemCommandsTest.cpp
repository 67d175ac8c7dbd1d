#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backup/WindowsFileSystem.h"
#include "res/resource.h"
#include "tests/win/TestSupport.h"
#include "tests/win/TreeHost.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {
namespace {

using test::FileText;
using test::PumpUntil;
using test::WriteBytes;

constexpr char kMissing[] = "<missing>";

// A tree that also lists files, as a derived tree may, and that answers the shell's questions
// itself: its file operations run without confirmations or undo, what it asks of the person's
// shell is only noted.
class CommandTree : public CTreeFileCtrl, private UserShell {
public:
    struct FileCall {
        UINT function = 0;
        std::wstring from;
        std::wstring to;
        bool listsEnded = false;
        FILEOP_FLAGS flags = 0;
        int autoRefreshDuring = -1;
        bool operator==(const FileCall&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const FileCall& call) {
            return out << call.function << ' ' << test::Narrow(call.from) << " to "
                       << test::Narrow(call.to) << " ended " << call.listsEnded << " flags "
                       << call.flags << " refresh " << call.autoRefreshDuring;
        }
    };
    struct Execution {
        ShellVerb verb;
        std::wstring file;
    };
    std::vector<FileCall> fileCalls;
    std::vector<Execution> executions;

    CommandTree() { SetUserShell(*this); }

    void ListFolderChildren(const std::wstring& path, HTREEITEM parent, bool redraw) override {
        CTreeFileCtrl::ListFolderChildren(path, parent, redraw);
        if (parent == TVI_ROOT) {
            return;
        }
        WIN32_FIND_DATAW entry;
        UniqueFindHandle find(::FindFirstFileW(JoinPath(path, L"*.*").c_str(), &entry));
        bool any = false;
        for (bool more = find.Valid(); more; more = ::FindNextFileW(find.Get(), &entry)) {
            if (CanDisplayFile(*this, {entry.cFileName, entry.dwFileAttributes})) {
                auto record = std::make_unique<TreeItemData>();
                record->path = JoinPath(path, entry.cFileName);
                record->label = entry.cFileName;
                const std::wstring file = record->path;
                InsertTreeItem(parent, std::move(record), false, IconOfPath(file),
                               OpenIconOfPath(file), true);
                any = true;
            }
        }
        if (any) {
            SetHasChildren(parent, true);
        }
    }

protected:
    int RunShellFileOperation(SHFILEOPSTRUCTW& operation) override {
        FileCall call;
        call.function = operation.wFunc;
        call.from = operation.pFrom;
        call.listsEnded = operation.pFrom[call.from.size() + 1] == L'\0';
        if (operation.pTo != nullptr) {
            call.to = operation.pTo;
            call.listsEnded = call.listsEnded && operation.pTo[call.to.size() + 1] == L'\0';
        }
        call.flags = operation.fFlags;
        call.autoRefreshDuring = AutoRefresh();
        fileCalls.push_back(call);
        SHFILEOPSTRUCTW quiet = operation;
        quiet.fFlags = static_cast<FILEOP_FLAGS>((operation.fFlags & ~FOF_ALLOWUNDO) |
                                                 FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT);
        const int result = CTreeFileCtrl::RunShellFileOperation(quiet);
        operation.fAnyOperationsAborted = quiet.fAnyOperationsAborted;
        return result;
    }

private:
    bool Ask(ShellVerb verb, const std::wstring& path) override {
        executions.push_back({verb, path});
        return true;
    }
};

// Runs `act` with `key` held down for this thread's key-state queries.
void WithKeyHeld(BYTE key, const std::function<void()>& act) {
    BYTE saved[256]{};
    BYTE state[256]{};
    ::GetKeyboardState(saved);
    ::GetKeyboardState(state);
    state[key] |= 0x80;
    ::SetKeyboardState(state);
    act();
    ::SetKeyboardState(saved);
}

class TreeItemCommands : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(L"E:\\t");
        ::CreateDirectoryW(L"E:\\t", nullptr);
        host = std::make_unique<test::TreeHost<CommandTree>>();
        ASSERT_TRUE(host->Create(nullptr));
        ::SetWindowPos(host->Handle(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        tree().DriveIncludeFlags.fill(0);
        tree().DriveIncludeFlags[static_cast<size_t>('E' - 'A')] = 1;
        tree().fileNameMode = 1;
        tree().Initialise();
    }
    void TearDown() override {
        host.reset();
        test::RemoveTree(L"E:\\t");
    }

    CommandTree& tree() { return host->tree; }
    HWND window() { return tree().Handle(); }

    // The item of `path`, its folder listed (files too) and the item in view. The drive's watcher
    // goes: the items a test holds stay as they are, whenever the watcher would wake.
    HTREEITEM Show(const std::wstring& path) {
        const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
        tree().SetSelectedPath(folder, true);
        tree().KillNotificationThreads();
        TreeView_Expand(window(), tree().PathToItem(folder), TVE_EXPAND);
        HTREEITEM item = tree().PathToItem(path);
        if (item != nullptr) {
            TreeView_EnsureVisible(window(), item);
        }
        return item;
    }

    std::wstring Text(HTREEITEM item) { return tree().ItemText(item); }

    POINT Centre(HTREEITEM item) {
        RECT rect{};
        TreeView_GetItemRect(window(), item, &rect, TRUE);
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

    // A right click at `client`, as the mouse makes it; the menu is read and closed.
    test::MenuSeen RightClick(POINT client) {
        return test::ReadMenus([&] {
            ::PostMessageW(window(), WM_RBUTTONUP, 0, MAKELPARAM(client.x, client.y));
            ::SendMessageW(window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(client.x, client.y));
        });
    }

    void Key(UINT message, WPARAM key) {
        ::SendMessageW(window(), message, key, 0);
        // What the key posted has been done.
        EXPECT_TRUE(test::PumpPosted()) << "waited for the posted messages";
    }

    // A new file in a new folder below E:\t, listed and selected.
    HTREEITEM SelectNewFile(const std::wstring& folder, const std::wstring& name) {
        ::CreateDirectoryW((L"E:\\t\\" + folder).c_str(), nullptr);
        const std::wstring path = L"E:\\t\\" + folder + L"\\" + name;
        WriteBytes(path, "bytes");
        HTREEITEM item = Show(path);
        TreeView_SelectItem(window(), item);
        return item;
    }

    void BeginDrag(HTREEITEM item) {
        NMTREEVIEWW drag{};
        drag.hdr.hwndFrom = window();
        drag.hdr.idFrom = IDC_SOURCE_TREE;
        drag.hdr.code = TVN_BEGINDRAGW;
        drag.itemNew.hItem = item;
        drag.ptDrag = Centre(item);
        ::SendMessageW(host->Handle(), WM_NOTIFY, IDC_SOURCE_TREE, reinterpret_cast<LPARAM>(&drag));
    }
    void MoveTo(POINT client) {
        ::SendMessageW(window(), WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    }
    void Release(POINT client) {
        ::SendMessageW(window(), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    }

    std::unique_ptr<test::TreeHost<CommandTree>> host;
};

// The host tests hold which entries each item allows; here, that a right click shows them.
TEST_F(TreeItemCommands, ARightClickSelectsTheItemOrClearsTheSelectionAndShowsTheMenu) {
    HTREEITEM file = SelectNewFile(L"docs", L"a.txt");
    ASSERT_NE(file, nullptr);
    TreeView_SelectItem(window(), nullptr);
    test::MenuSeen seen = RightClick(Centre(file));
    ASSERT_EQ(seen.opened, 1) << "one menu for one right click";
    EXPECT_EQ(tree().SelectedItem(), file);
    EXPECT_EQ(seen.enabled, (std::map<UINT, bool>{{ID_TREE_PROPERTIES, true}}));

    RECT client{};
    ::GetClientRect(window(), &client);
    seen = RightClick({client.right / 2, client.bottom - 4});
    EXPECT_EQ(seen.opened, 1);
    EXPECT_EQ(tree().SelectedItem(), nullptr);
    EXPECT_EQ(seen.enabled, (std::map<UINT, bool>{{ID_TREE_PROPERTIES, false}}));

    // The keyboard's menu opens over the middle of the selected item.
    TreeView_SelectItem(window(), file);
    POINT centre = Centre(file);
    ::ClientToScreen(window(), &centre);
    seen = test::ReadMenus([&] {
        WithKeyHeld(VK_SHIFT, [&] {
            ::SendMessageW(window(), WM_SYSKEYDOWN, VK_F10, 0);
            ::SendMessageW(window(), WM_SYSKEYUP, VK_F10, 0);
        });
    });
    ASSERT_EQ(seen.opened, 1);
    EXPECT_NEAR(seen.rect.left, centre.x, 2);
    EXPECT_NEAR(seen.rect.top, centre.y, 2);
}

TEST_F(TreeItemCommands, KeysPostCommandsThatDoNothingWhileSwitchedOff) {
    ASSERT_NE(SelectNewFile(L"keep", L"k.txt"), nullptr);
    Key(WM_KEYDOWN, VK_RETURN);
    Key(WM_KEYDOWN, VK_DELETE);
    Key(WM_KEYDOWN, VK_F2);
    EXPECT_TRUE(tree().fileCalls.empty());
    EXPECT_TRUE(tree().executions.empty());
    EXPECT_EQ(TreeView_GetEditControl(window()), nullptr);
    EXPECT_EQ(FileText(L"E:\\t\\keep\\k.txt"), "bytes");

    WithKeyHeld(VK_MENU, [&] { Key(WM_SYSKEYDOWN, VK_RETURN); });
    ASSERT_EQ(tree().executions.size(), 1u) << "Properties is on by default";
    EXPECT_EQ(tree().executions[0].verb, ShellVerb::Properties);
    EXPECT_EQ(tree().executions[0].file, L"E:\\t\\keep\\k.txt");

    tree().allowOpen = 1;
    Key(WM_KEYDOWN, VK_RETURN);
    ASSERT_EQ(tree().executions.size(), 2u);
    EXPECT_EQ(tree().executions[1].verb, ShellVerb::Open) << "open runs the default action";
    // A double click opens the selected item when it has no children to show.
    HTREEITEM file = tree().SelectedItem();
    POINT centre = Centre(file);
    ::PostMessageW(window(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    ASSERT_TRUE(PumpUntil([&] { return tree().executions.size() == 3u; }))
        << "waited for the double click to open the file";
    EXPECT_EQ(tree().executions[2].file, L"E:\\t\\keep\\k.txt");
    // Enter reaches the tree in a dialog instead of pressing the dialog's default button.
    MSG enter{window(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(
        ::SendMessageW(window(), WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) &
        DLGC_WANTMESSAGE);
}

TEST_F(TreeItemCommands, RenamingRenamesOnDiskKeepsAHiddenExtensionAndRefusesNamesThatMove) {
    test::MakeFolders({L"E:\\t\\Old", L"E:\\t\\other"});
    WriteBytes(L"E:\\t\\Old\\inside.txt", "inside");
    WriteBytes(L"E:\\t\\Report.txt", "numbers");
    tree().fileNameMode = 0;
    HTREEITEM folder = Show(L"E:\\t\\Old");
    ASSERT_NE(folder, nullptr);
    TreeView_SelectItem(window(), folder);
    EXPECT_FALSE(tree().Rename(folder)) << "renaming is off by default";

    tree().allowRename = 1;
    auto renameTo = [&](HTREEITEM item, const wchar_t* text) {
        TreeView_SelectItem(window(), item);
        Key(WM_KEYDOWN, VK_F2);
        HWND edit = TreeView_GetEditControl(window());
        ASSERT_NE(edit, nullptr) << text;
        ::SetWindowTextW(edit, text);
        TreeView_EndEditLabelNow(window(), FALSE);
    };
    // The host tests hold which names are refused; one that would move the item never reaches
    // the shell.
    renameTo(folder, L"other\\Old");
    EXPECT_EQ(Text(folder), L"Old");
    EXPECT_TRUE(tree().fileCalls.empty());

    renameTo(folder, L"New");
    const CommandTree::FileCall rename{FO_RENAME, L"E:\\t\\Old", L"E:\\t\\New",
                                       true,      FOF_ALLOWUNDO, 0};
    EXPECT_EQ(tree().fileCalls, std::vector{rename});
    EXPECT_EQ(tree().AutoRefresh(), 1) << "refreshing comes back after the operation";
    EXPECT_EQ(FileText(L"E:\\t\\New\\inside.txt"), "inside");
    EXPECT_EQ(tree().PathToItem(L"E:\\t\\New"), folder);

    // A name the shell refuses leaves the item as it was.
    renameTo(folder, L"other");
    EXPECT_EQ(tree().ItemToPath(folder), L"E:\\t\\New");

    HTREEITEM file = Show(L"E:\\t\\Report.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Text(file), L"Report");
    renameTo(file, L"Summary");
    EXPECT_EQ(FileText(L"E:\\t\\Summary.txt"), "numbers");
    EXPECT_EQ(tree().ItemToPath(file), L"E:\\t\\Summary.txt");
    EXPECT_EQ(Text(file), L"Summary");
}

TEST_F(TreeItemCommands, DeleteRemovesTheFileAndItsItemButNeverADrive) {
    ::CreateDirectoryW(L"E:\\t\\bin", nullptr);
    WriteBytes(L"E:\\t\\bin\\gone.txt", "gone");
    WriteBytes(L"E:\\t\\bin\\stays.txt", "stays");
    HTREEITEM file = Show(L"E:\\t\\bin\\gone.txt");
    ASSERT_NE(file, nullptr);
    TreeView_SelectItem(window(), file);
    tree().allowDelete = 1;
    Key(WM_KEYDOWN, VK_DELETE);

    const CommandTree::FileCall remove{FO_DELETE, L"E:\\t\\bin\\gone.txt", L"",
                                       true,      FOF_ALLOWUNDO,           0};
    EXPECT_EQ(tree().fileCalls, std::vector{remove});
    EXPECT_EQ(FileText(L"E:\\t\\bin\\gone.txt"), kMissing);
    EXPECT_EQ(tree().PathToItem(L"E:\\t\\bin\\gone.txt"), nullptr);
    EXPECT_EQ(FileText(L"E:\\t\\bin\\stays.txt"), "stays");

    EXPECT_FALSE(tree().Delete(tree().PathToItem(L"E:\\")));
    EXPECT_EQ(tree().fileCalls.size(), 1u);
}

// A drop onto the file's own folder is refused; onto another folder it moves the file, over one
// of the same name there, or copies it with Control held.
TEST_F(TreeItemCommands, ADropMovesOrCopiesTheFileAndOntoItsOwnFolderIsRefused) {
    test::MakeFolders({L"E:\\t\\src", L"E:\\t\\dst"});
    WriteBytes(L"E:\\t\\src\\c.txt", "copied");
    WriteBytes(L"E:\\t\\src\\f.txt", "new");
    WriteBytes(L"E:\\t\\dst\\f.txt", "old");
    HTREEITEM file = Show(L"E:\\t\\src\\f.txt");
    HTREEITEM shown = Show(L"E:\\t\\dst\\f.txt");
    HTREEITEM own = tree().PathToItem(L"E:\\t\\src");
    HTREEITEM target = tree().PathToItem(L"E:\\t\\dst");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(shown, nullptr);
    BeginDrag(file);
    EXPECT_FALSE(tree().Dragging()) << "dragging is off by default";
    tree().allowDragDrop = 1;
    BeginDrag(own);
    EXPECT_FALSE(tree().Dragging()) << "only files are dragged";

    BeginDrag(file);
    ASSERT_TRUE(tree().Dragging());
    MoveTo(Centre(own));
    EXPECT_EQ(::GetCursor(),
              ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_MOVE_NO)));
    Release(Centre(own));
    EXPECT_FALSE(tree().Dragging());
    EXPECT_NE(::GetCapture(), window());
    EXPECT_TRUE(tree().fileCalls.empty());

    BeginDrag(file);
    MoveTo(Centre(target));
    Release(Centre(target));
    const FILEOP_FLAGS flags = FOF_SILENT | FOF_NOCONFIRMMKDIR | FOF_ALLOWUNDO;
    const CommandTree::FileCall move{FO_MOVE, L"E:\\t\\src\\f.txt", L"E:\\t\\dst", true, flags, 0};
    EXPECT_EQ(tree().fileCalls, std::vector{move});
    EXPECT_EQ(FileText(L"E:\\t\\dst\\f.txt"), "new");
    EXPECT_EQ(FileText(L"E:\\t\\src\\f.txt"), kMissing);
    EXPECT_EQ(tree().PathToItem(L"E:\\t\\src\\f.txt"), nullptr);
    EXPECT_EQ(tree().PathToItem(L"E:\\t\\dst\\f.txt"), shown) << "the target is left as it was";

    HTREEITEM copied = tree().PathToItem(L"E:\\t\\src\\c.txt");
    BeginDrag(copied);
    WithKeyHeld(VK_CONTROL, [&] {
        MoveTo(Centre(target));
        Release(Centre(target));
    });
    ASSERT_EQ(tree().fileCalls.size(), 2u);
    EXPECT_EQ(tree().fileCalls[1].function, static_cast<UINT>(FO_COPY));
    EXPECT_EQ(FileText(L"E:\\t\\dst\\c.txt"), "copied");
    EXPECT_EQ(tree().PathToItem(L"E:\\t\\src\\c.txt"), copied);
    EXPECT_EQ(TreeView_GetChild(window(), target), nullptr) << "listed again when next opened";
}

TEST_F(TreeItemCommands, TheNetworkItemFollowsTheComputerAndNeverHangs) {
    tree().SetShowNetwork(1);
    HTREEITEM network = tree().networkItem;
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(TreeView_GetNextSibling(window(), tree().computerItem), network);
    // Whatever this machine's network answers, the expansion returns.
    const ULONGLONG start = ::GetTickCount64();
    tree().ExpandItem(network);
    EXPECT_LT(::GetTickCount64() - start, 60000u);
    for (HTREEITEM child = TreeView_GetChild(window(), network); child != nullptr;
         child = TreeView_GetNextSibling(window(), child)) {
        EXPECT_EQ(tree().Record(child)->isNetworkNode, 1);
    }
    TreeView_SelectItem(window(), network);
    EXPECT_FALSE(tree().CommandEnabled(ID_TREE_PROPERTIES));
}

}  // namespace
}  // namespace bexlo
