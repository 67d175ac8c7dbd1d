#include "framework/DataFolder.h"

#include <optional>

#include "framework/LongPath.h"

#if defined(_WIN32)
#include <windows.h>

#include "framework/Handles.h"
#endif

namespace bexlo {

namespace {

constexpr std::wstring_view kBelowProgramFiles = L"Travenor\\BXL";
// Room for the folder below it and the longest name kept there ("RunLog unreadable " and a time)
// within the platform's 259 characters.
constexpr std::size_t kLongestProgramFiles = 200;

constexpr std::wstring_view kAdministrators = L"S-1-5-32-544";
constexpr std::wstring_view kSystem = L"S-1-5-18";
constexpr std::wstring_view kTrustedInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool TrustedOwner(std::wstring_view sid, std::wstring_view windowsFolderOwner) {
    return !sid.empty() && (sid == kAdministrators || sid == kSystem || sid == kTrustedInstaller ||
                            sid == windowsFolderOwner);
}

bool UsableSegment(std::wstring_view segment) {
    if (segment.empty() || segment == L"." || segment == L"..") {
        return false;
    }
    for (const wchar_t c : segment) {
        if (c < 0x20 || std::wstring_view(L"/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

// "X:\folder[\folder...]" with a trailing separator dropped; nothing for anything else (a
// relative path, a share, a drive root, a path that climbs).
std::optional<std::wstring> FolderOfADrive(std::wstring_view path) {
    while (path.size() > 3 && path.back() == L'\\') {
        path.remove_suffix(1);
    }
    const bool driveRoot =
        path.size() > 3 &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && path[2] == L'\\';
    if (!driveRoot || path.size() > kLongestProgramFiles) {
        return std::nullopt;
    }
    for (std::wstring_view rest = path.substr(3); !rest.empty();) {
        const std::size_t slash = rest.find(L'\\');
        if (!UsableSegment(rest.substr(0, slash))) {
            return std::nullopt;
        }
        rest = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash + 1);
    }
    return std::wstring(path);
}

#if defined(_WIN32)

// The 64-bit Program Files folder as the registry names it; empty when it cannot be read.
std::wstring ProgramFilesFolder() {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS) {
        return {};
    }
    const UniqueRegKey key(raw);
    wchar_t value[MAX_PATH + 1]{};
    DWORD type = 0;
    DWORD size = MAX_PATH * sizeof(wchar_t);
    // Either kind of text: one that holds a variable to expand names no folder of a drive.
    if (::RegQueryValueExW(key.Get(), L"ProgramFilesDir", nullptr, &type,
                           reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    // The stored text need not end in a terminator.
    return std::wstring(value, wcsnlen(value, size / sizeof(wchar_t)));
}

#else

// The host build has no registry.
std::wstring ProgramFilesFolder() {
    return L"C:\\Program Files";
}

#endif

}  // namespace

std::wstring DataFolderIn(std::wstring_view programFiles) {
    const std::optional<std::wstring> folder = FolderOfADrive(programFiles);
    return folder ? JoinPath(*folder, std::wstring(kBelowProgramFiles)) : kFixedDataFolder;
}

const std::wstring& DataFolder() {
    static const std::wstring folder = DataFolderIn(ProgramFilesFolder());
    return folder;
}

std::wstring DataFile(std::wstring_view name) {
    return JoinPath(DataFolder(), std::wstring(name));
}

std::vector<std::wstring> FoldersDownTo(const std::wstring& dataFolder) {
    std::vector<std::wstring> folders{dataFolder};
    for (std::size_t levels = 0; levels < 2; ++levels) {
        const std::wstring& inner = folders.front();
        const std::size_t slash = inner.rfind(L'\\');
        if (slash == std::wstring::npos || slash < 3) {
            break;
        }
        folders.insert(folders.begin(), inner.substr(0, slash));
    }
    return folders;
}

FolderVerdict JudgeFolders(std::span<const std::wstring> folders,
                           const std::function<FolderLook(const std::wstring&)>& look,
                           std::wstring_view windowsFolderOwner) {
    for (const std::wstring& folder : folders) {
        const FolderLook found = look(folder);
        switch (found.state) {
            case FolderLook::State::Missing:
                return {FolderVerdict::Why::Missing, folder, {}};
            case FolderLook::State::Link:
                return {FolderVerdict::Why::Link, folder, {}};
            case FolderLook::State::Unreadable:
                return {FolderVerdict::Why::Unreadable, folder, {}};
            case FolderLook::State::Folder:
                if (!TrustedOwner(found.ownerSid, windowsFolderOwner)) {
                    return {FolderVerdict::Why::Owner, folder, found.ownerSid};
                }
                break;
        }
    }
    return {};
}

}  // namespace bexlo
