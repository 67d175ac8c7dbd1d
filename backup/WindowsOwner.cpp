// Files written for the person logged on are made theirs: the program runs elevated, and what it
// creates would otherwise be owned by the administrators.

#include <aclapi.h>

#include <optional>
#include <vector>

#include "backup/WindowsFileSystem.h"
#include "backup/WindowsFolders.h"
#include "framework/Handles.h"

namespace bexlo {

namespace {

// The user of the shell's process: the person at the desktop, not the elevated token this program
// runs with.
std::vector<std::uint8_t> PersonLoggedOn() {
    DWORD processId = 0;
    const HWND shell = ::GetShellWindow();
    if (shell == nullptr || ::GetWindowThreadProcessId(shell, &processId) == 0 || processId == 0) {
        ::SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
        return {};
    }
    const UniqueKernelHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    HANDLE opened = nullptr;
    if (!process || !::OpenProcessToken(process.Get(), TOKEN_QUERY, &opened)) {
        return {};
    }
    const UniqueKernelHandle token(opened);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> user(size);
    if (size < sizeof(TOKEN_USER) ||
        !::GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) {
        return {};
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    if (!::IsValidSid(sid)) {
        ::SetLastError(ERROR_INVALID_SID);
        return {};
    }
    std::vector<std::uint8_t> copy(::GetLengthSid(sid));
    if (!::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) {
        return {};
    }
    return copy;
}

// Only the restore privilege lets a process make another the owner; an elevated administrator
// holds it, but not enabled.
bool EnableRestorePrivilege() {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            &opened)) {
        return false;
    }
    const UniqueKernelHandle token(opened);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid)) {
        return false;
    }
    // A token without the privilege is adjusted "successfully": only the last error tells.
    return ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

}  // namespace

bool WindowsFileSystem::GiveToThePerson(const std::wstring& path) {
    if (person_.empty()) {
        person_ = PersonLoggedOn();
        if (person_.empty()) {
            return false;
        }
    }
    if (!restorePrivilege_) {
        restorePrivilege_ = EnableRestorePrivilege();
        if (!restorePrivilege_) {
            return false;
        }
    }
    // Opened by its name in its held folder, so that a link put there since is not followed.
    const std::optional<windows_files::InFolder> in = folders_.ParentOf(path);
    const UniqueFileHandle file =
        in ? windows_files::OpenRelative(in->folder->Get(), in->name, WRITE_OWNER,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         windows_files::NameUse::OpenExisting,
                                         windows_files::EntryKind::File)
           : UniqueFileHandle();
    if (!file) {
        return false;
    }
    // The owner alone: the access list the file inherited from its folder stays as it is.
    const DWORD result = ::SetSecurityInfo(file.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                           person_.data(), nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        ::SetLastError(result);
        return false;
    }
    return true;
}

}  // namespace bexlo
