#include "framework/WindowsDataFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <span>

#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

// What Setup gives the folders it makes: the administrators own both; the data folder lets every
// user list it and read the program's own files, and hands to what is made in it later access for
// administrators and the system only.
constexpr wchar_t kParentSecurity[] = L"O:BA";
constexpr wchar_t kDataSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)";

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    const UniqueLocal owned(text);
    return text;
}

std::wstring AccountNameOf(PSID sid) {
    wchar_t name[256]{};
    wchar_t domain[256]{};
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    if (!::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return {};
    }
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

std::wstring WindowsFolderOwner() {
    wchar_t folder[MAX_PATH]{};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const FolderLook look = LookAtFolder(folder);
    return look.state == FolderLook::State::Folder ? look.ownerSid : std::wstring();
}

bool MakeFolder(const std::wstring& folder, const wchar_t* security) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return false;
    }
    const UniqueLocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    return ::CreateDirectoryW(LongPath(folder).c_str(), &attributes) != FALSE;
}

}  // namespace

FolderLook LookAtFolder(const std::wstring& folder) {
    const auto found = [](FolderLook::State state) { return FolderLook{state, {}}; };
    const std::wstring path = LongPath(folder);
    WIN32_FIND_DATAW listed{};
    const UniqueFindHandle find(::FindFirstFileW(path.c_str(), &listed));
    if (!find) {
        const DWORD error = ::GetLastError();
        return found(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? FolderLook::State::Missing
                         : FolderLook::State::Unreadable);
    }
    const UniqueFileHandle handle(::CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_BASIC_INFO basic{};
    if (!handle ||
        !::GetFileInformationByHandleEx(handle.Get(), FileBasicInfo, &basic, sizeof(basic))) {
        return found(FolderLook::State::Unreadable);
    }
    const DWORD attributes = basic.FileAttributes | listed.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return found(FolderLook::State::Link);
    }
    // A file where the folder belongs: no folder can be made there.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return found(FolderLook::State::Missing);
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return found(FolderLook::State::Unreadable);
    }
    const UniqueLocal owned(descriptor);
    if (owner == nullptr) {
        return found(FolderLook::State::Unreadable);
    }
    return {FolderLook::State::Folder, SidText(owner)};
}

std::wstring AccountName(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(sid.c_str(), &binary)) {
        return sid;
    }
    const UniqueLocal owned(binary);
    const std::wstring name = AccountNameOf(binary);
    return name.empty() ? sid : name;
}

FolderVerdict CheckDataFolder(const std::wstring& dataFolder) {
    return JudgeFolders(FoldersDownTo(dataFolder), LookAtFolder, WindowsFolderOwner());
}

FolderVerdict PrepareDataFolder(const std::wstring& dataFolder) {
    const std::vector<std::wstring> folders = FoldersDownTo(dataFolder);
    const std::wstring windowsOwner = WindowsFolderOwner();
    // Program Files itself is the system's to make.
    for (std::size_t depth = 1; depth < folders.size(); ++depth) {
        if (LookAtFolder(folders[depth]).state != FolderLook::State::Missing) {
            continue;
        }
        if (!JudgeFolders(std::span(folders).first(depth), LookAtFolder, windowsOwner).Trusted()) {
            break;
        }
        MakeFolder(folders[depth], depth + 1 == folders.size() ? kDataSecurity : kParentSecurity);
    }
    return JudgeFolders(folders, LookAtFolder, windowsOwner);
}

}  // namespace bexlo
