#include "backup/WindowsFolders.h"

#include <winternl.h>

#include <algorithm>
#include <vector>

#include "backup/WindowsFileSupport.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo::windows_files {

namespace {

// The kernel's own calls, which take a folder's handle for the name they are given.
struct Kernel {
    using CreateCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    using SetCall = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
    using ErrorCall = ULONG(NTAPI*)(LONG);

    Kernel() {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        create = reinterpret_cast<CreateCall>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
        set = reinterpret_cast<SetCall>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSetInformationFile")));
        error = reinterpret_cast<ErrorCall>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }

    // The status as the platform's error code, for LastError.
    void Fail(LONG status) const {
        ::SetLastError(error != nullptr ? error(status) : ERROR_ACCESS_DENIED);
    }

    CreateCall create = nullptr;
    SetCall set = nullptr;
    ErrorCall error = nullptr;
};

const Kernel& Calls() {
    static const Kernel kernel;
    return kernel;
}

constexpr ULONG kOpen = 1;
constexpr ULONG kCreate = 2;
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSequentialOnly = 0x4;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kOpenForBackup = 0x4000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kCaseInsensitive = 0x40;
constexpr int kFileRenameInformation = 10;
// What a kernel that takes no folder's handle for a rename answers.
constexpr LONG kInvalidParameter = static_cast<LONG>(0xC000000D);
constexpr LONG kNotImplemented = static_cast<LONG>(0xC0000002);
constexpr LONG kNotSupported = static_cast<LONG>(0xC00000BB);

// A junction or a symbolic link as its own handle shows it; Wine's links come without a tag.
bool IsLink(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
        return true;
    }
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag.ReparseTag == 0 || IsReparseTagNameSurrogate(tag.ReparseTag));
}

// A link as a search shows it: Wine opens a folder link as what it leads to, and only its
// listings name it.
bool ListedAsLink(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileW(LongPath(path).c_str(), &found));
    return find && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (found.dwReserved0 == 0 || IsReparseTagNameSurrogate(found.dwReserved0));
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

SharedHandle Share(UniqueFileHandle handle) {
    return std::make_shared<UniqueFileHandle>(std::move(handle));
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// Others may read and write in a held folder, never rename or remove it.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

UniqueFileHandle OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                              DWORD share, NameUse use, EntryKind kind) {
    const Kernel& kernel = Calls();
    if (kernel.create == nullptr || name.empty() || name == L"." || name == L".." ||
        name.find_first_of(L"\\/") != std::wstring::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return {};
    }
    UNICODE_STRING text{};
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(std::min<std::size_t>(name.size() * sizeof(wchar_t), 0xFFFE));
    text.MaximumLength = text.Length;
    // A name that leads to a pipe or a network path cannot act as this program there.
    SECURITY_QUALITY_OF_SERVICE quality{sizeof(quality), SecurityIdentification,
                                        SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &text;
    attributes.Attributes = kCaseInsensitive;
    attributes.SecurityQualityOfService = &quality;
    const ULONG kindOption = kind == EntryKind::Folder ? kDirectoryFile
                             : kind == EntryKind::File ? kNonDirectoryFile | kSequentialOnly
                                                       : 0;
    HANDLE opened = nullptr;
    IO_STATUS_BLOCK status{};
    const LONG result =
        kernel.create(&opened, access | SYNCHRONIZE, &attributes, &status, nullptr,
                      FILE_ATTRIBUTE_NORMAL, share, use == NameUse::CreateNew ? kCreate : kOpen,
                      kindOption | kSynchronousIo | kOpenReparsePoint | kOpenForBackup, nullptr, 0);
    if (result < 0) {
        kernel.Fail(result);
        return {};
    }
    UniqueFileHandle handle(opened);
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    return handle;
}

bool RenameRelative(HANDLE file, HANDLE folder, const std::wstring& name,
                    const std::wstring& fullPath, bool replace) {
    const Kernel& kernel = Calls();
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK status{};
    const LONG result = kernel.set != nullptr
                            ? kernel.set(file, &status, buffer.data(),
                                         static_cast<ULONG>(buffer.size()), kFileRenameInformation)
                            : kNotImplemented;
    if (result >= 0) {
        return true;
    }
    if (result != kInvalidParameter && result != kNotImplemented && result != kNotSupported) {
        kernel.Fail(result);
        return false;
    }
    // Refused as such (Wine takes no folder's handle for a rename): the rename goes by the full
    // path, once the folder it names is found to be the held one on a handle of its own.
    const std::wstring plain = PlainPath(fullPath);
    const std::wstring parent = plain.substr(0, plain.rfind(L'\\'));
    const UniqueFileHandle named(::CreateFileW(
        LongPath(parent.size() == 2 ? parent + L'\\' : parent).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::uint64_t index = named ? FileIndexOf(named.Get()) : 0;
    if (index == 0 || index != FileIndexOf(folder) || IsLink(named.Get()) || ListedAsLink(parent)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::wstring to = NativePath(fullPath);
    std::vector<std::uint8_t> byPath(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* renameByPath = reinterpret_cast<FILE_RENAME_INFO*>(byPath.data());
    renameByPath->ReplaceIfExists = replace ? TRUE : FALSE;
    renameByPath->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), renameByPath->FileName);
    return ::SetFileInformationByHandle(file, FileRenameInfo, renameByPath,
                                        static_cast<DWORD>(byPath.size())) != FALSE;
}

void AllowChangesByHandle(HANDLE file) {
    constexpr DWORD kBlocking =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        (basic.FileAttributes & kBlocking) == 0) {
        return;
    }
    constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_DIRECTORY;
    FILE_BASIC_INFO cleared{};
    cleared.FileAttributes = basic.FileAttributes & kSettable;
    if (cleared.FileAttributes == 0) {
        cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    ::SetFileInformationByHandle(file, FileBasicInfo, &cleared, sizeof(cleared));
}

bool DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof(disposition)) != FALSE;
}

void HeldFolders::SetRoots(const std::vector<std::wstring>& roots) {
    const std::lock_guard lock(mutex_);
    held_.clear();
    roots_.clear();
    for (const std::wstring& root : roots) {
        const std::wstring plain = WithoutTrailingSlash(PlainPath(root));
        UniqueFileHandle handle(::CreateFileW(LongPath(plain).c_str(), kFolderAccess, kFolderShare,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                              nullptr));
        if (handle) {
            roots_.push_back({FoldCase(plain), Share(std::move(handle))});
        }
    }
}

std::optional<InFolder> HeldFolders::ParentOf(const std::wstring& path) {
    const std::wstring plain = WithoutTrailingSlash(PlainPath(path));
    const std::size_t root = RootLength(plain);
    const std::size_t slash = plain.rfind(L'\\');
    if (root == 0 || slash == std::wstring::npos || slash + 1 < root || slash + 1 == plain.size()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    SharedHandle folder =
        Folder(slash + 1 == root ? plain.substr(0, root) : plain.substr(0, slash));
    if (!folder) {
        return std::nullopt;
    }
    return InFolder{std::move(folder), plain.substr(slash + 1)};
}

void HeldFolders::Release(const std::wstring& folder) {
    const std::wstring key = FoldCase(WithoutTrailingSlash(PlainPath(folder)));
    const std::lock_guard lock(mutex_);
    std::erase_if(held_, [&](const Held& held) {
        return held.key == key || (held.key.size() > key.size() && held.key.starts_with(key) &&
                                   held.key[key.size()] == L'\\');
    });
}

SharedHandle HeldFolders::Find(const std::wstring& key) {
    const auto found =
        std::find_if(held_.begin(), held_.end(), [&](const Held& held) { return held.key == key; });
    if (found == held_.end()) {
        return nullptr;
    }
    Held used = std::move(*found);
    held_.erase(found);
    held_.push_back(std::move(used));
    return held_.back().handle;
}

void HeldFolders::Keep(std::wstring key, const SharedHandle& handle) {
    if (held_.size() >= kHeld) {
        held_.pop_front();
    }
    held_.push_back({std::move(key), handle});
}

// `plain` ends without a backslash, but for a drive's root.
SharedHandle HeldFolders::Folder(const std::wstring& plain) {
    const std::size_t rootLength = RootLength(plain);
    const std::wstring key = FoldCase(WithoutTrailingSlash(plain));
    if (SharedHandle held = Find(key)) {
        return held;
    }
    // From the deepest folder held, or given as a root, above it; else from the drive's root.
    SharedHandle start;
    std::size_t done = 0;
    const auto consider = [&](const Held& held) {
        if (held.key.size() > done && key.size() > held.key.size() && key.starts_with(held.key) &&
            key[held.key.size()] == L'\\') {
            start = held.handle;
            done = held.key.size();
        }
    };
    std::for_each(roots_.begin(), roots_.end(), consider);
    std::for_each(held_.begin(), held_.end(), consider);
    for (const Held& root : roots_) {
        if (root.key == key) {
            return root.handle;
        }
    }
    if (!start) {
        const std::wstring drive = plain.substr(0, rootLength);
        UniqueFileHandle handle(::CreateFileW(LongPath(drive).c_str(), kFolderAccess, kFolderShare,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                              nullptr));
        if (!handle) {
            return nullptr;
        }
        start = Share(std::move(handle));
        done = WithoutTrailingSlash(drive).size();
        Keep(FoldCase(WithoutTrailingSlash(drive)), start);
        if (done >= key.size()) {
            return start;
        }
    }
    // One folder at a time, each relative to the last and never through a link.
    std::size_t from = done + 1;
    while (from <= plain.size()) {
        std::size_t end = plain.find(L'\\', from);
        end = end == std::wstring::npos ? plain.size() : end;
        const std::wstring name = plain.substr(from, end - from);
        UniqueFileHandle next = OpenRelative(start->Get(), name, kFolderAccess, kFolderShare,
                                             NameUse::OpenExisting, EntryKind::Folder);
        if (!next) {
            return nullptr;
        }
        if (IsLink(next.Get()) || ListedAsLink(plain.substr(0, end))) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        start = Share(std::move(next));
        Keep(FoldCase(plain.substr(0, end)), start);
        from = end + 1;
    }
    return start;
}

}  // namespace bexlo::windows_files
