#include "backup/WindowsFileSystem.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include <windows.h>
#include <winioctl.h>

#include "backup/CopyInPlace.h"
#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

// The attributes every listing gives; a reparse point's tag comes with it.
FileEntry EntryOf(std::wstring name, DWORD attributes, DWORD reparseTag) {
    FileEntry entry;
    entry.name = std::move(name);
    entry.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Junctions and symbolic links stand for another name; Wine's links come without a tag.
    entry.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                 (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
    entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    entry.encrypted = (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    return entry;
}

FileEntry EntryOf(const WIN32_FIND_DATAW& found) {
    FileEntry entry = EntryOf(found.cFileName, found.dwFileAttributes, found.dwReserved0);
    entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.lastWrite = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
        found.ftLastWriteTime.dwLowDateTime);
    return entry;
}

// A read-only file can be neither replaced nor removed, and a hidden or system one not
// overwritten: the bits go, a link's own and never those of what it leads to.
void AllowChanges(const std::wstring& path) {
    constexpr DWORD kBlocking =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    UniqueFileHandle file(::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO basic{};
    if (!file ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic)) ||
        (basic.FileAttributes & kBlocking) == 0) {
        return;
    }
    constexpr DWORD kSettable =
        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO cleared{};
    cleared.FileAttributes = basic.FileAttributes & kSettable;
    if (cleared.FileAttributes == 0) {
        cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    ::SetFileInformationByHandle(file.Get(), FileBasicInfo, &cleared, sizeof(cleared));
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

// A listing by handle gives a reparse point's tag where others give the size of its extended
// attributes.
FileEntry EntryOf(const FILE_ID_BOTH_DIR_INFO& info, const std::wstring& name) {
    FileEntry entry = EntryOf(name, info.FileAttributes, info.EaSize);
    entry.size = static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
    entry.lastWrite = info.LastWriteTime.QuadPart;
    entry.changeTime = info.ChangeTime.QuadPart;
    return entry;
}

// The entry itself, a link's own and never what it leads to.
std::optional<FileEntry> FindEntry(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW(path.c_str(), &found));
    if (!find) {
        return std::nullopt;
    }
    return EntryOf(found);
}

}  // namespace

std::optional<FileEntry> WindowsFileSystem::Find(const std::wstring& path) {
    return FindEntry(path);
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

namespace {

std::optional<FileId> IdentityOf(HANDLE handle) {
    // Windows 8 and later name the volume and the file in one record, which Wine answers without
    // the serial lookup of GetFileInformationByHandle; Windows 7 refuses the class.
    FileIdRecord record{};
    if (::GetFileInformationByHandleEx(handle, kFileIdInfo, &record, sizeof(record))) {
        return FileIdFromBytes(record.volume, record.id);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information)) {
        return std::nullopt;
    }
    return FileId{
        information.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

}  // namespace

std::optional<FileId> WindowsFileSystem::Identity(const std::wstring& folder) {
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    if (!handle) {
        return std::nullopt;
    }
    return IdentityOf(handle.Get());
}

bool WindowsFileSystem::CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
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

bool WindowsFileSystem::RemoveEmptyFolder(const std::wstring& path) {
    return RetryWritable(path, [&] { return ::RemoveDirectoryW(path.c_str()) != FALSE; });
}

std::optional<VolumeSpace> WindowsFileSystem::Space(const std::wstring& path) {
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    if (!::GetDiskFreeSpaceExW(path.c_str(), nullptr, &total, &free)) {
        return std::nullopt;
    }
    return VolumeSpace{total.QuadPart, free.QuadPart};
}

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool CopyData(HANDLE from, HANDLE to, std::vector<std::uint8_t>& buffer) {
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        DWORD written = 0;
        if (!::WriteFile(to, buffer.data(), read, &written, nullptr) || written != read) {
            return false;
        }
    }
}

// The named streams go along (a download's zone mark, a program's tags); the unnamed one holds
// the data. A source on a volume that keeps no streams has none, and a copy on one can take none.
bool CopyStreams(HANDLE source, const std::wstring& from, HANDLE copy, const std::wstring& partial,
                 std::vector<std::uint8_t>& buffer) {
    std::vector<std::uint8_t> streams(4096);
    while (!::GetFileInformationByHandleEx(source, FileStreamInfo, streams.data(),
                                           static_cast<DWORD>(streams.size()))) {
        if (::GetLastError() != ERROR_MORE_DATA || streams.size() >= kChunk) {
            return true;
        }
        streams.resize(streams.size() * 2);
    }
    std::optional<bool> copyKeepsStreams;
    for (std::size_t offset = 0;;) {
        const auto* stream = reinterpret_cast<const FILE_STREAM_INFO*>(streams.data() + offset);
        const std::wstring name(stream->StreamName, stream->StreamNameLength / sizeof(wchar_t));
        if (name != L"::$DATA") {
            if (!copyKeepsStreams) {
                DWORD flags = 0;
                copyKeepsStreams = ::GetVolumeInformationByHandleW(copy, nullptr, 0, nullptr,
                                                                   nullptr, &flags, nullptr, 0) &&
                                   (flags & FILE_NAMED_STREAMS) != 0;
            }
            if (!*copyKeepsStreams) {
                return true;
            }
            const UniqueFileHandle named(::CreateFileW((from + name).c_str(), GENERIC_READ,
                                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                                       nullptr));
            const UniqueFileHandle namedCopy(named ? ::CreateFileW((partial + name).c_str(),
                                                                   GENERIC_WRITE, 0, nullptr,
                                                                   CREATE_NEW, 0, nullptr)
                                                   : INVALID_HANDLE_VALUE);
            if (!namedCopy || !CopyData(named.Get(), namedCopy.Get(), buffer)) {
                return false;
            }
        }
        if (stream->NextEntryOffset == 0) {
            return true;
        }
        offset += stream->NextEntryOffset;
    }
}

// Copies the data, the named streams and the compression, then gives the copy the source's
// times and attributes, all through the open handles.
bool CopyOpenFile(HANDLE source, const std::wstring& from, const FILE_BASIC_INFO& information,
                  std::uint64_t size, HANDLE copy, const std::wstring& partial) {
    if (information.FileAttributes & FILE_ATTRIBUTE_COMPRESSED) {
        // A volume that cannot compress takes the data as it is.
        USHORT format = COMPRESSION_FORMAT_DEFAULT;
        DWORD returned = 0;
        ::DeviceIoControl(copy, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                          &returned, nullptr);
    }
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, kChunk)));
    if (!CopyData(source, copy, buffer) || !CopyStreams(source, from, copy, partial, buffer)) {
        return false;
    }
    FILE_BASIC_INFO basic{};
    basic.CreationTime = information.CreationTime;
    basic.LastWriteTime = information.LastWriteTime;
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    basic.FileAttributes = information.FileAttributes & kKept;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
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

class OpenCopy {
public:
    OpenCopy(HANDLE file, const std::wstring& to) : file_(file), to_(to) {}
    bool Rename(bool replace) {
        return replace ? RetryWritable(to_, [&] { return RenameOpenFile(file_, to_, true); })
                       : RenameOpenFile(file_, to_, false);
    }
    bool Flush() { return ::FlushFileBuffers(file_) != FALSE; }
    std::uint32_t Error() const { return ::GetLastError(); }

private:
    HANDLE file_;
    const std::wstring& to_;
};

// Where an open folder is, links followed: its volume and its path there. (Not by
// GetFinalPathNameByHandleW, which Wine refuses for paths past 259 characters.)
std::optional<WindowsFileSystem::Place> PlaceOf(HANDLE handle) {
    std::vector<std::uint8_t> buffer(sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t));
    while (!::GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(),
                                           static_cast<DWORD>(buffer.size()))) {
        if (::GetLastError() != ERROR_MORE_DATA || buffer.size() > (1 << 17)) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::optional<FileId> id = IdentityOf(handle);
    if (!id) {
        return std::nullopt;
    }
    const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    return WindowsFileSystem::Place{
        id->volume, std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t))};
}

std::optional<WindowsFileSystem::Place> PlaceOf(const std::wstring& folder) {
    const UniqueFileHandle handle(
        ::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? PlaceOf(handle.Get()) : std::nullopt;
}

// `place` is `folder` or lies below it, by the names the file system compares.
bool LiesIn(const WindowsFileSystem::Place& place, const WindowsFileSystem::Place& folder) {
    std::wstring_view path = folder.path;
    while (!path.empty() && path.back() == L'\\') {
        path.remove_suffix(1);
    }
    return place.volume == folder.volume && place.path.size() >= path.size() &&
           (place.path.size() == path.size() || place.path[path.size()] == L'\\') &&
           (path.empty() ||
            ::CompareStringOrdinal(place.path.data(), static_cast<int>(path.size()), path.data(),
                                   static_cast<int>(path.size()), TRUE) == CSTR_EQUAL);
}

// A leftover of an earlier copy under the same name is removed, never opened.
UniqueFileHandle CreatePartial(const std::wstring& partial, WindowsFileSystem& fs) {
    const auto create = [&] {
        return UniqueFileHandle(::CreateFileW(
            partial.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
            nullptr));
    };
    UniqueFileHandle copy = create();
    if (!copy && ::GetLastError() == ERROR_FILE_EXISTS && fs.RemoveFile(partial)) {
        copy = create();
    }
    return copy;
}

}  // namespace

void WindowsFileSystem::ConfineWrites(const std::vector<std::wstring>& folders) {
    confined_.clear();
    for (const std::wstring& folder : folders) {
        confined_.push_back({folder, {}});
    }
    held_.clear();
}

bool WindowsFileSystem::WithinConfinement(const std::wstring& file) {
    if (confined_.empty()) {
        return true;
    }
    const std::wstring folder = file.substr(0, file.rfind(L'\\'));
    auto held = std::find_if(held_.begin(), held_.end(),
                             [&](const HeldFolder& known) { return known.path == folder; });
    if (held == held_.end()) {
        // Held open without leave to delete, the folder can neither be renamed nor give its
        // place to a link while files are written into it, and nor can the folders above it.
        UniqueFileHandle handle(::CreateFileW(folder.c_str(),
                                              FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle) {
            return false;
        }
        const std::optional<Place> place = PlaceOf(handle.Get());
        bool within = false;
        for (ConfinedFolder& confined : confined_) {
            if (!confined.place) {
                confined.place = PlaceOf(confined.path);
            }
            within = within || (place && confined.place && LiesIn(*place, *confined.place));
        }
        if (held_.size() >= kHeldFolders) {
            held_.erase(held_.begin());
        }
        held = held_.insert(held_.end(), {folder, std::move(handle), within});
    }
    if (!held->within) {
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    return held->within;
}

bool WindowsFileSystem::MoveNew(const std::wstring& from, const std::wstring& to) {
    // Opened as itself, a link moves and never what it leads to.
    const UniqueFileHandle file(::CreateFileW(
        from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && RenameOpenFile(file.Get(), to, false);
}

bool WindowsFileSystem::CopyFileReplacing(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) {
    return CopyFileVia(from, partial, to, CopyPlacing::Replacing);
}

bool WindowsFileSystem::CopyFileNew(const std::wstring& from, const std::wstring& partial,
                                    const std::wstring& to) {
    return CopyFileVia(from, partial, to, CopyPlacing::New);
}

bool WindowsFileSystem::CopyFileDurable(const std::wstring& from, const std::wstring& partial,
                                        const std::wstring& to) {
    return CopyFileVia(from, partial, to, CopyPlacing::Durable);
}

bool WindowsFileSystem::CopyFileVia(const std::wstring& from, const std::wstring& partial,
                                    const std::wstring& to, CopyPlacing placing) {
    UniqueFileHandle source(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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
    if (information.FileAttributes & FILE_ATTRIBUTE_ENCRYPTED) {
        ::SetLastError(file_error::kFileEncrypted);
        return false;
    }
    if (!WithinConfinement(partial)) {
        return false;
    }
    UniqueFileHandle copy = CreatePartial(partial, *this);
    if (!copy) {
        return false;
    }
    OpenCopy inPlace(copy.Get(), to);
    // A copy made because `to` did not exist never replaces what took the name since.
    const bool done =
        CopyOpenFile(source.Get(), from, information, static_cast<std::uint64_t>(size.QuadPart),
                     copy.Get(), partial) &&
        PlaceCopy(inPlace, placing);
    const DWORD error = ::GetLastError();
    copy.Reset();
    if (!done) {
        RemoveFile(partial);
        ::SetLastError(error);
    }
    return done;
}

namespace {

// A name beside `path` for its new contents. A file left there by a write cut short is removed;
// anything else, a link above all, which another program may have put there on the enclosure,
// is left alone and another name taken. Empty when none is free.
std::wstring FreeTemporaryName(const std::wstring& path) {
    for (int n = 1; n <= 9; ++n) {
        const std::wstring name = path + (n == 1 ? L"" : L"." + std::to_wstring(n)) + L".new";
        const std::optional<FileEntry> there = FindEntry(name);
        if (!there || (!there->folder && !there->link &&
                       RetryWritable(name, [&] { return ::DeleteFileW(name.c_str()) != FALSE; }))) {
            return name;
        }
    }
    return {};
}

}  // namespace

bool WriteFileReplacing(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    const std::wstring temporary = FreeTemporaryName(path);
    if (temporary.empty()) {
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    {
        // Made new, so that a link put at the name since is never opened.
        UniqueFileHandle file(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
