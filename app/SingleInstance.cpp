#include "app/SingleInstance.h"

#include <aclapi.h>
#include <sddl.h>

#include <optional>
#include <vector>

#include "backup/WindowsFileSystem.h"

namespace bexlo {

namespace {

std::wstring Text(HWND window, int (*read)(HWND, LPWSTR, int)) {
    wchar_t text[256]{};
    const int length = read(window, text, 256);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

int ReadClass(HWND window, LPWSTR text, int size) {
    return ::GetClassNameW(window, text, size);
}

int ReadCaption(HWND window, LPWSTR text, int size) {
    return ::GetWindowTextW(window, text, size);
}

struct Search {
    const std::wstring& caption;
    const std::wstring& programFile;
    HWND found = nullptr;
};

BOOL CALLBACK Consider(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    // The dialog class by its atom's name; the caption as the window holds it, without asking
    // the window (which may be hung, or another program's).
    if (Text(window, ReadClass) != L"#32770" || Text(window, ReadCaption) != search.caption) {
        return TRUE;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId == 0 || !SameFile(ProcessProgramFile(processId), search.programFile)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

// The owner this process gives the objects it creates.
std::vector<BYTE> DefaultOwner() {
    UniqueKernelHandle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return {};
    }
    token.Reset(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenOwner, nullptr, 0, &size);
    std::vector<BYTE> owner(size);
    if (size == 0 || !::GetTokenInformation(token.Get(), TokenOwner, owner.data(), size, &size)) {
        return {};
    }
    return owner;
}

// Whether an object that existed before was made by an administrator, the system or a process
// like this one: a guard made first by another user's program could be held against us forever.
bool MadeByUs(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::vector<BYTE> ours = DefaultOwner();
    const bool trusted =
        owner != nullptr &&
        (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
         ::IsWellKnownSid(owner, WinLocalSystemSid) ||
         (!ours.empty() &&
          ::EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(ours.data())->Owner)));
    ::LocalFree(descriptor);
    return trusted;
}

}  // namespace

bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    WindowsFileSystem files;
    const std::optional<FileId> first = files.Identity(a);
    const std::optional<FileId> second = first ? files.Identity(b) : std::nullopt;
    if (first && second) {
        return *first == *second;
    }
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring ProcessProgramFile(DWORD processId) {
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return {};
    }
    wchar_t path[MAX_PATH]{};
    DWORD length = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.Get(), 0, path, &length)) {
        return {};
    }
    return std::wstring(path, length);
}

HWND FindProgramWindow(const std::wstring& caption, const std::wstring& programFile) {
    Search search{caption, programFile};
    ::EnumWindows(&Consider, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

UniqueKernelHandle OpenMachineGuard() {
    // Full access for the system and the administrators, nothing for anyone else.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    UniqueKernelHandle guard(::CreateMutexW(&attributes, FALSE, kMachineGuardName));
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    ::LocalFree(descriptor);
    if (guard && existed && !MadeByUs(guard.Get())) {
        guard.Reset();
    }
    return guard;
}

}  // namespace bexlo
