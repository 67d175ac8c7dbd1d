#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/win/TestSupport.h"
#include "tests/win/TreeHost.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {
namespace {

// A tree that asks the shell for no icons, to tell the shell's share of the time.
class IconlessTree : public CTreeFileCtrl {
public:
    bool iconless = false;
    int IconOfPath(const std::wstring& path) const override {
        return iconless ? 0 : CTreeFileCtrl::IconOfPath(path);
    }
    int OpenIconOfPath(const std::wstring& path) const override {
        return iconless ? 0 : CTreeFileCtrl::OpenIconOfPath(path);
    }
};

void MakeFolders(const std::wstring& parent, int count) {
    ::CreateDirectoryW(parent.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        ::CreateDirectoryW((parent + L"\\folder" + std::to_wstring(i)).c_str(), nullptr);
    }
}

size_t CountChildren(HWND tree, HTREEITEM item) {
    size_t count = 0;
    for (HTREEITEM child = TreeView_GetChild(tree, item); child != nullptr;
         child = TreeView_GetNextSibling(tree, child)) {
        ++count;
    }
    return count;
}

// Prints how long expanding large folders takes; asserts nothing about speed.
TEST(TreeBenchmark, ExpandingLargeFolders) {
    test::TreeHost<IconlessTree> host;
    ASSERT_TRUE(host.Create(nullptr));
    host.tree.DriveIncludeFlags[static_cast<size_t>('E' - 'A')] = 1;
    for (const wchar_t* kind : {L"icons", L"plain"}) {
        for (int count : {2500, 5000, 10000}) {
            MakeFolders(L"E:\\" + std::wstring(kind) + std::to_wstring(count), count);
        }
    }
    ::CreateDirectoryW(L"E:\\deep", nullptr);
    for (int i = 0; i < 200; ++i) {
        MakeFolders(L"E:\\deep\\branch" + std::to_wstring(i), 50);
    }
    host.tree.Initialise();
    for (bool iconless : {false, true}) {
        host.tree.iconless = iconless;
        for (int count : {2500, 5000, 10000}) {
            const std::wstring folder =
                std::wstring(iconless ? L"E:\\plain" : L"E:\\icons") + std::to_wstring(count);
            HTREEITEM item = host.tree.SetSelectedPath(folder, false);
            ASSERT_NE(item, nullptr);
            const auto start = std::chrono::steady_clock::now();
            host.tree.ExpandItem(item);
            const double seconds = test::SecondsSince(start);
            std::printf("expand %5d subfolders%s: %.3f s, %.0f us per folder (%zu listed)\n", count,
                        iconless ? " without shell icons" : "", seconds, seconds * 1e6 / count,
                        CountChildren(host.tree.Handle(), item));
        }
    }
    host.tree.Refresh();
    HTREEITEM deep = host.tree.SetSelectedPath(L"E:\\deep", false);
    ASSERT_NE(deep, nullptr);
    const auto start = std::chrono::steady_clock::now();
    host.tree.ExpandItem(deep);
    for (HTREEITEM child = TreeView_GetChild(host.tree.Handle(), deep); child != nullptr;
         child = TreeView_GetNextSibling(host.tree.Handle(), child)) {
        host.tree.ExpandItem(child);
    }
    std::printf("expand 200 folders of 50 subfolders each: %.3f s\n", test::SecondsSince(start));
}

}  // namespace
}  // namespace bexlo
