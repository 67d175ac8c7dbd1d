// The tree's icons and names from the shell.

#include "treectrl/TreeShell.h"

#include <shellapi.h>
#include <shlobj.h>

#include "framework/SystemFunction.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

namespace {

int ShellIcon(const std::wstring& path, UINT extraFlags) {
    SHFILEINFOW info{};
    if (::SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                         SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extraFlags) == 0) {
        return 0;
    }
    return info.iIcon;
}

}  // namespace

// The temporary folder is named by the environment, which the person's programs set: the shell
// is given its name alone and asked nothing about what lies there (a folder's own icon would be
// read from its desktop.ini).
HIMAGELIST SystemImageList() {
    wchar_t temp[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, temp);
    SHFILEINFOW info{};
    return reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(temp, FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                         SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

// The common dialogs' library, which brings the printing libraries with it, is loaded only once a
// file is shown.
std::wstring ShellTitle(const std::wstring& name) {
    using GetFileTitleFn = short(WINAPI*)(LPCWSTR, LPWSTR, WORD);
    static const UniqueModule library(LoadSystemLibrary(L"comdlg32.dll"));
    static const auto getFileTitle =
        LibraryFunction<GetFileTitleFn>(library.Get(), "GetFileTitleW");
    wchar_t title[MAX_PATH]{};
    if (getFileTitle == nullptr || getFileTitle(name.c_str(), title, MAX_PATH) != 0) {
        return {};
    }
    return title;
}

void CTreeFileCtrl::Initialise() {
    TreeView_SetImageList(Handle(), SystemImageList(), TVSIL_NORMAL);
    Refresh();
}

void CTreeFileCtrl::InsertSpecialFolder(int folderId, bool network) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId, &list)) || list == nullptr) {
        return;
    }
    const auto* pidl = reinterpret_cast<LPCWSTR>(list);
    SHFILEINFOW info{};
    auto record = std::make_unique<TreeItemData>();
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info), SHGFI_DISPLAYNAME | SHGFI_PIDL) != 0) {
        record->label = info.szDisplayName;
    }
    record->isNetworkNode = network ? 1 : 0;
    ::CoTaskMemFree(list);
    int image = 0;
    int selectedImage = 0;
    IconsOfSpecialFolder(folderId, image, selectedImage);
    HTREEITEM item =
        InsertTreeItem(TVI_ROOT, std::move(record), false, image, selectedImage, false);
    (network ? networkItem : computerItem) = item;
}

bool CTreeFileCtrl::IconsOfSpecialFolder(int folderId, int& image, int& selectedImage) const {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId, &list)) || list == nullptr) {
        return false;
    }
    const auto* pidl = reinterpret_cast<LPCWSTR>(list);
    SHFILEINFOW info{};
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info),
                         SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
        image = info.iIcon;
    }
    if (::SHGetFileInfoW(pidl, 0, &info, sizeof(info),
                         SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON) != 0) {
        selectedImage = info.iIcon;
    }
    ::CoTaskMemFree(list);
    return true;
}

// Drives get the shell's own icon for them. A folder gets the shell's folder icon by its
// attributes alone: asking about each folder on disk made a level of n folders cost n squared.
int CTreeFileCtrl::IconOfPath(const std::wstring& path) const {
    return ShellIcon(path, IsDrive(path) ? 0 : SHGFI_USEFILEATTRIBUTES);
}

int CTreeFileCtrl::OpenIconOfPath(const std::wstring& path) const {
    return ShellIcon(path, SHGFI_OPENICON | (IsDrive(path) ? 0 : SHGFI_USEFILEATTRIBUTES));
}

std::wstring CTreeFileCtrl::ShellDriveName(const std::wstring& path) const {
    // Taken for the call and let go: a resident tree holds no shell object between listings.
    ComRef<IShellFolder> desktopFolder;
    if (FAILED(::SHGetDesktopFolder(desktopFolder.Put())) || !desktopFolder) {
        return path;
    }
    std::wstring parsed = path;
    LPITEMIDLIST list = nullptr;
    if (FAILED(desktopFolder->ParseDisplayName(nullptr, nullptr, parsed.data(), nullptr, &list,
                                               nullptr)) ||
        list == nullptr) {
        return path;
    }
    SHFILEINFOW info{};
    const bool named = ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof(info),
                                        SHGFI_DISPLAYNAME | SHGFI_PIDL) != 0;
    ::CoTaskMemFree(list);
    return named && info.szDisplayName[0] != L'\0' ? std::wstring(info.szDisplayName) : path;
}

}  // namespace bexlo
