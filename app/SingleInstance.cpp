#include "app/SingleInstance.h"

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
    CopyRights rights;
    HWND found = nullptr;
};

BOOL CALLBACK Consider(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    // The dialog class by its atom's name; the caption as the window holds it, without asking
    // the window (which may be hung, or another program's). Its process is asked about only
    // when these two leave the window in the running.
    WindowFacts facts{Text(window, ReadClass), Text(window, ReadCaption), true, true};
    if (!IsProgramWindow(facts, search.caption, search.rights)) {
        return TRUE;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    facts.sameProgram =
        processId != 0 && SameFile(ProcessProgramFile(processId), search.programFile);
    facts.withRights = process && HasAdministratorRights(process.Get());
    if (!IsProgramWindow(facts, search.caption, search.rights)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
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

bool HasAdministratorRights(HANDLE process) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) {
        return false;
    }
    UniqueKernelHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    // Eight-byte pieces keep the groups' pointers aligned.
    std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    if (size == 0 || !::GetTokenInformation(token.Get(), TokenGroups, buffer.data(), size, &size)) {
        return false;
    }
    const auto& groups = *reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        if (::IsWellKnownSid(groups.Groups[i].Sid, WinBuiltinAdministratorsSid)) {
            return GroupGivesRights(groups.Groups[i].Attributes);
        }
    }
    return false;
}

HWND FindProgramWindow(const std::wstring& caption, const std::wstring& programFile,
                       CopyRights rights) {
    Search search{caption, programFile, rights};
    ::EnumWindows(&Consider, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace bexlo
