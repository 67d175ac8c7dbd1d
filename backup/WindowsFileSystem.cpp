#include "backup/WindowsFileSystem.h"

#include <algorithm>

#include <windows.h>

#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

FileEntry EntryOf(const WIN32_FIND_DATAW& found) {
    FileEntry entry;
    entry.name = found.cFileName;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.lastWrite = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
        found.ftLastWriteTime.dwLowDateTime);
    return entry;
}

// A read-only file can be neither replaced nor removed.
void AllowChanges(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

// Most files are writable: the attributes are looked at only when a change was refused.
template <typename Change>
bool RetryWritable(const std::wstring& path, Change change) {
    if (change()) {
        return true;
    }
    if (::GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    AllowChanges(path);
    return change();
}

// The platform's FileIdInfo class and record, which its headers offer only to programs that need
// Windows 8. The id's low half is the index GetFileInformationByHandle gives.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdRecord {
    ULONGLONG volume;
    std::uint8_t id[16];
};

FileEntry EntryOf(const FILE_ID_BOTH_DIR_INFO& info, const std::wstring& name) {
    FileEntry entry;
    entry.name = name;
    entry.folder = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
    entry.lastWrite = info.LastWriteTime.QuadPart;
    entry.changeTime = info.ChangeTime.QuadPart;
    return entry;
}

}  // namespace

std::optional<FileEntry> WindowsFileSystem::Find(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &found));
    if (!find) {
        return std::nullopt;
    }
    return EntryOf(found);
}

std::optional<std::vector<FileEntry>> WindowsFileSystem::List(const std::wstring& folder) {
    // Listed through the open folder, which names each entry's change time too, with no call per
    // entry.
    UniqueFileHandle directory(::CreateFileW(
        folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory) {
        return std::nullopt;
    }
    constexpr DWORD kBufferBytes = 64 * 1024;
    std::vector<std::uint64_t> buffer(kBufferBytes / sizeof(std::uint64_t));
    std::vector<FileEntry> entries;
    for (;;) {
        // A listing that breaks off (a network fault, a bad sector) is no listing: the walkers
        // would take the entries it missed for deleted ones.
        if (!::GetFileInformationByHandleEx(directory.Get(), FileIdBothDirectoryInfo, buffer.data(),
                                            kBufferBytes)) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) {
                return entries;
            }
            return std::nullopt;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries.push_back(EntryOf(*info, name));
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            bytes += info->NextEntryOffset;
        }
    }
}

std::optional<FileId> WindowsFileSystem::Identity(const std::wstring& folder) {
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    if (!handle) {
        return std::nullopt;
    }
    // Windows 8 and later name the volume and the file in one record, which Wine answers without
    // the serial lookup of GetFileInformationByHandle; Windows 7 refuses the class.
    FileIdRecord record{};
    if (::GetFileInformationByHandleEx(handle.Get(), kFileIdInfo, &record, sizeof(record))) {
        return FileIdFromBytes(record.volume, record.id);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle.Get(), &information)) {
        return std::nullopt;
    }
    return FileId{
        information.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

bool WindowsFileSystem::CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool WindowsFileSystem::CopyFileData(const std::wstring& from, const std::wstring& to) {
    // The platform copy keeps the last-write time, which Synchronize compares.
    return RetryWritable(to, [&] {
        return ::CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, nullptr, 0) != FALSE;
    });
}

bool WindowsFileSystem::MoveOver(const std::wstring& from, const std::wstring& to) {
    return RetryWritable(to, [&] {
        return ::MoveFileExW(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
}

bool WindowsFileSystem::RemoveFile(const std::wstring& path) {
    return RetryWritable(path, [&] { return ::DeleteFileW(path.c_str()) != FALSE; });
}

namespace {

constexpr DWORD kLargeFileBytes = 4 << 20;

// Copies the data and gives the copy the source's attributes and last-write time, all through the
// open handles.
bool CopyOpenFile(HANDLE source, const FILE_BASIC_INFO& information, std::uint64_t size,
                  HANDLE copy) {
    constexpr std::uint64_t kChunk = 1 << 20;
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, kChunk)));
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        DWORD written = 0;
        if (!::WriteFile(copy, buffer.data(), read, &written, nullptr) || written != read) {
            return false;
        }
    }
    FILE_BASIC_INFO basic{};
    basic.LastWriteTime = information.LastWriteTime;
    // 0 leaves the attributes alone: most files have none worth the extra call.
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    basic.FileAttributes = information.FileAttributes & kKept;
    return ::SetFileInformationByHandle(copy, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool RenameOpenFile(HANDLE file, const std::wstring& path, bool replace) {
    // The rename takes the name as the kernel does, whatever the system's version.
    const std::wstring to = NativePath(path);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), rename->FileName);
    return ::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                        static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace

bool WindowsFileSystem::CopyFileReplacing(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) {
    return CopyFileVia(from, partial, to, true);
}

bool WindowsFileSystem::CopyFileNew(const std::wstring& from, const std::wstring& partial,
                                    const std::wstring& to) {
    return CopyFileVia(from, partial, to, false);
}

bool WindowsFileSystem::CopyFileVia(const std::wstring& from, const std::wstring& partial,
                                    const std::wstring& to, bool replace) {
    UniqueFileHandle source(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    // Not GetFileInformationByHandle: it also asks for the volume's serial, which Wine answers
    // from another process, a wait longer than the rest of a small file's copy.
    FILE_BASIC_INFO information{};
    LARGE_INTEGER size{};
    if (!source ||
        !::GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &information,
                                        sizeof(information)) ||
        !::GetFileSizeEx(source.Get(), &size)) {
        return false;
    }
    // Large files go through the platform's own copy, which may copy without passing the data
    // through this process; small ones are dominated by the calls per file, which this saves.
    if (size.QuadPart >= kLargeFileBytes) {
        source.Reset();
        const bool moved =
            CopyFileData(from, partial) &&
            (replace ? MoveOver(partial, to)
                     : ::MoveFileExW(partial.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE);
        if (moved) {
            return true;
        }
        const DWORD error = ::GetLastError();
        RemoveFile(partial);
        ::SetLastError(error);
        return false;
    }
    UniqueFileHandle copy;
    RetryWritable(partial, [&] {
        copy.Reset(::CreateFileW(partial.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        return copy.Valid();
    });
    if (!copy) {
        return false;
    }
    bool done = CopyOpenFile(source.Get(), information, static_cast<std::uint64_t>(size.QuadPart),
                             copy.Get()) &&
                RetryWritable(to, [&] { return RenameOpenFile(copy.Get(), to, replace); });
    const DWORD error = ::GetLastError();
    copy.Reset();
    if (!done) {
        RemoveFile(partial);
        ::SetLastError(error);
    }
    return done;
}

bool WriteFileReplacing(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    const std::wstring temporary = path + L".new";
    {
        UniqueFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        DWORD written = 0;
        const bool complete = ::WriteFile(file.Get(), bytes.data(),
                                          static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size() && ::FlushFileBuffers(file.Get());
        if (!complete) {
            file.Reset();
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    AllowChanges(path);
    if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path,
                                                       std::size_t limit) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) {
        return std::nullopt;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(
        {static_cast<std::uint64_t>(size.QuadPart), limit, std::uint64_t{MAXDWORD}});
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(wanted));
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(wanted), &read, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

std::optional<std::vector<std::uint8_t>> WindowsFileSystem::ReadFileBytes(const std::wstring& path,
                                                                          std::size_t limit) {
    return bexlo::ReadFileBytes(path, limit);
}

bool WindowsFileSystem::WriteFileReplacing(const std::wstring& path,
                                           std::span<const std::uint8_t> bytes) {
    return bexlo::WriteFileReplacing(path, bytes);
}

std::optional<std::uint32_t> WindowsFileSystem::VolumeSerial(const std::wstring& longOrPlain) {
    const std::wstring path = PlainPath(longOrPlain);
    if (path.empty()) {
        return std::nullopt;
    }
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    DWORD serial = 0;
    if (!::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
        return std::nullopt;
    }
    return serial;
}

std::wstring WindowsFileSystem::VolumeFileSystem(const std::wstring& path) {
    const std::wstring plain = PlainPath(path);
    if (RootLength(plain) == 0) {
        return {};
    }
    const std::wstring root = plain.substr(0, 3);
    wchar_t name[MAX_PATH + 1]{};
    if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                                 MAX_PATH + 1)) {
        return {};
    }
    return name;
}

std::int64_t WindowsFileSystem::CurrentTime() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                     now.dwLowDateTime);
}

std::uint32_t WindowsFileSystem::LastError() const {
    return ::GetLastError();
}

std::wstring WindowsFileSystem::ErrorText(std::uint32_t error) const {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? L"Error " + std::to_wstring(error) : message;
}

}  // namespace bexlo
