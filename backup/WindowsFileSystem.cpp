#include "backup/WindowsFileSystem.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include <windows.h>
#include <winioctl.h>

#include "backup/WindowsFileSupport.h"
#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

using windows_files::IdentityOf;

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
    entry.fileId = static_cast<std::uint64_t>(info.FileId.QuadPart);
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

namespace {

// Opened as itself, never what a link leads to; nothing on a pipe or another kind of file, and
// a link to a network path cannot act as this program there.
UniqueFileHandle OpenItself(const std::wstring& path, DWORD access, DWORD share, DWORD flags) {
    UniqueFileHandle handle(::CreateFileW(
        path.c_str(), access, share, nullptr, OPEN_EXISTING,
        flags | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
        nullptr));
    if (handle && ::GetFileType(handle.Get()) != FILE_TYPE_DISK) {
        handle.Reset();
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    return handle;
}

// A plain file opened as itself for reading: a link, a folder or another kind of file is refused.
UniqueFileHandle OpenPlainFile(const std::wstring& path, DWORD flags) {
    UniqueFileHandle file = OpenItself(path, GENERIC_READ, FILE_SHARE_READ, flags);
    FILE_BASIC_INFO basic{};
    if (!file ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic))) {
        return {};
    }
    if (basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    return file;
}

// A file read from its start, past the system's cache where the volume takes reads so; where it
// refuses them, at the open or at the first read, the file is read through the cache instead.
class WindowsSequentialFile : public SequentialFile {
public:
    WindowsSequentialFile(std::wstring path, UniqueFileHandle file, bool unbuffered,
                          std::uint64_t size)
        : path_(std::move(path)), file_(std::move(file)), unbuffered_(unbuffered), size_(size) {}

    std::uint64_t Size() const override { return size_; }

    std::optional<std::size_t> Read(std::span<std::uint8_t> into) override {
        std::size_t done = 0;
        while (done < into.size()) {
            DWORD read = 0;
            const DWORD wanted =
                static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1 << 30));
            if (!::ReadFile(file_.Get(), into.data() + done, wanted, &read, nullptr)) {
                if (::GetLastError() == ERROR_HANDLE_EOF) {
                    break;
                }
                if (::GetLastError() != ERROR_INVALID_PARAMETER || !unbuffered_ || !Buffered()) {
                    return std::nullopt;
                }
                continue;
            }
            if (read == 0) {
                break;
            }
            done += read;
            at_ += read;
        }
        return done;
    }

private:
    // Opens the file again through the cache, where the unbuffered read stopped.
    bool Buffered() {
        UniqueFileHandle file = OpenPlainFile(path_, FILE_FLAG_SEQUENTIAL_SCAN);
        LARGE_INTEGER offset{};
        offset.QuadPart = static_cast<LONGLONG>(at_);
        if (!file || !::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) {
            return false;
        }
        file_ = std::move(file);
        unbuffered_ = false;
        return true;
    }

    std::wstring path_;
    UniqueFileHandle file_;
    bool unbuffered_;
    std::uint64_t size_;
    std::uint64_t at_ = 0;
};

}  // namespace

std::unique_ptr<SequentialFile> WindowsFileSystem::OpenSequential(const std::wstring& path) {
    bool unbuffered = true;
    UniqueFileHandle file = OpenPlainFile(path, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_NO_BUFFERING);
    if (!file && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        unbuffered = false;
        file = OpenPlainFile(path, FILE_FLAG_SEQUENTIAL_SCAN);
    }
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size)) {
        return nullptr;
    }
    return std::make_unique<WindowsSequentialFile>(path, std::move(file), unbuffered,
                                                   static_cast<std::uint64_t>(size.QuadPart));
}

std::optional<FileEntry> WindowsFileSystem::Inspect(const std::wstring& path) {
    const UniqueFileHandle handle = OpenItself(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        FILE_FLAG_BACKUP_SEMANTICS);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!handle ||
        !::GetFileInformationByHandleEx(handle.Get(), FileAttributeTagInfo, &tag, sizeof(tag))) {
        return std::nullopt;
    }
    const std::optional<FileState> state = windows_files::StateOfHandle(handle.Get());
    if (!state) {
        return std::nullopt;
    }
    const std::size_t slash = path.find_last_of(L'\\');
    FileEntry entry =
        EntryOf(slash == std::wstring::npos ? path : path.substr(slash + 1), tag.FileAttributes,
                (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? tag.ReparseTag : 0);
    entry.size = entry.folder ? 0 : state->size;
    entry.lastWrite = state->lastWrite;
    entry.changeTime = state->changeTime;
    entry.fileId = state->fileId;
    return entry;
}

std::optional<FileRead> WindowsFileSystem::ReadThrough(const std::wstring& path) {
    const UniqueFileHandle file = OpenPlainFile(path, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        return std::nullopt;
    }
    const std::optional<FileState> state = windows_files::StateOfHandle(file.Get());
    if (!state) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(state->size, 1, 1 << 20)));
    ContentHasher hasher;
    if (!windows_files::PassData(file.Get(), nullptr, buffer, &hasher)) {
        return std::nullopt;
    }
    return FileRead{*state, hasher.Result()};
}

bool WindowsFileSystem::FlushVolume(const std::wstring& path) {
    const std::wstring plain = PlainPath(path);
    if (RootLength(plain) != 3 || plain[1] != L':') {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    const std::wstring volume = std::wstring(L"\\\\.\\") + plain.substr(0, 2);
    const UniqueFileHandle handle(::CreateFileW(volume.c_str(), GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    return handle && ::FlushFileBuffers(handle.Get()) != FALSE;
}

bool WindowsFileSystem::FlushFile(const std::wstring& path) {
    const UniqueFileHandle file =
        OpenItself(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    FILE_BASIC_INFO basic{};
    if (!file ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic))) {
        return false;
    }
    if (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return ::FlushFileBuffers(file.Get()) != FALSE;
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

namespace windows_files {

UniqueFileHandle OpenFolder(const std::wstring& folder) {
    return UniqueFileHandle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
}

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

}  // namespace windows_files

std::optional<FileId> WindowsFileSystem::Identity(const std::wstring& folder) {
    const UniqueFileHandle handle = windows_files::OpenFolder(folder);
    return handle ? IdentityOf(handle.Get()) : std::nullopt;
}

std::optional<std::uint64_t> WindowsFileSystem::QuickIdentity(const std::wstring& folder) {
    const UniqueFileHandle handle = windows_files::OpenFolder(folder);
    return handle ? std::optional(windows_files::FileIndexOf(handle.Get())) : std::nullopt;
}

bool WindowsFileSystem::CreateFolder(const std::wstring& path) {
    const std::optional<windows_files::InFolder> in = folders_.ParentOf(path);
    return in && windows_files::OpenRelative(in->folder->Get(), in->name, FILE_LIST_DIRECTORY,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             windows_files::NameUse::CreateNew,
                                             windows_files::EntryKind::Folder);
}

namespace {

// Opened as itself in its held folder, for a rename or a removal.
UniqueFileHandle OpenToChange(windows_files::HeldFolders& folders, const std::wstring& path,
                              windows_files::EntryKind kind) {
    const std::optional<windows_files::InFolder> in = folders.ParentOf(path);
    return in ? windows_files::OpenRelative(in->folder->Get(), in->name,
                                            DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            windows_files::NameUse::OpenExisting, kind)
              : UniqueFileHandle();
}

// Removes what the handle is open on; a read-only, hidden or system one loses those bits first.
bool Remove(HANDLE handle) {
    if (windows_files::DeleteByHandle(handle)) {
        return true;
    }
    if (::GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    windows_files::AllowChangesByHandle(handle);
    return windows_files::DeleteByHandle(handle);
}

}  // namespace

bool WindowsFileSystem::RenameInto(HANDLE file, const std::wstring& to, bool replace) {
    const std::optional<windows_files::InFolder> in = folders_.ParentOf(to);
    if (!in) {
        return false;
    }
    if (windows_files::RenameRelative(file, in->folder->Get(), in->name, to, replace)) {
        return true;
    }
    if (!replace || ::GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    // A read-only, hidden or system file there is replaced all the same.
    if (const UniqueFileHandle there = windows_files::OpenRelative(
            in->folder->Get(), in->name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            windows_files::NameUse::OpenExisting, windows_files::EntryKind::File)) {
        windows_files::AllowChangesByHandle(there.Get());
    }
    return windows_files::RenameRelative(file, in->folder->Get(), in->name, to, replace);
}

UniqueFileHandle WindowsFileSystem::CreateNewFile(const std::wstring& path, ACCESS_MASK access) {
    const std::optional<windows_files::InFolder> in = folders_.ParentOf(path);
    if (!in) {
        return {};
    }
    const auto create = [&] {
        return windows_files::OpenRelative(in->folder->Get(), in->name, access, 0,
                                           windows_files::NameUse::CreateNew,
                                           windows_files::EntryKind::File);
    };
    UniqueFileHandle file = create();
    if (!file &&
        (::GetLastError() == ERROR_ALREADY_EXISTS || ::GetLastError() == ERROR_FILE_EXISTS)) {
        bool removed = false;
        {
            // The name is free only once the leftover's handle is closed.
            const UniqueFileHandle leftover =
                OpenToChange(folders_, path, windows_files::EntryKind::File);
            removed = leftover && Remove(leftover.Get());
        }
        if (removed) {
            return create();
        }
        ::SetLastError(ERROR_FILE_EXISTS);
    }
    return file;
}

bool WindowsFileSystem::MoveOver(const std::wstring& from, const std::wstring& to) {
    folders_.Release(from);
    const UniqueFileHandle file = OpenToChange(folders_, from, windows_files::EntryKind::Either);
    return file && RenameInto(file.Get(), to, true);
}

bool WindowsFileSystem::RemoveFile(const std::wstring& path) {
    const UniqueFileHandle file = OpenToChange(folders_, path, windows_files::EntryKind::File);
    return file && Remove(file.Get());
}

bool WindowsFileSystem::RemoveEmptyFolder(const std::wstring& path) {
    folders_.Release(path);
    const UniqueFileHandle folder = OpenToChange(folders_, path, windows_files::EntryKind::Folder);
    return folder && Remove(folder.Get());
}

std::optional<VolumeSpace> WindowsFileSystem::Space(const std::wstring& path) {
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    if (!::GetDiskFreeSpaceExW(path.c_str(), nullptr, &total, &free)) {
        return std::nullopt;
    }
    return VolumeSpace{total.QuadPart, free.QuadPart};
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path,
                                                       std::size_t limit) {
    // The program's own files are plain files: one that another program made a link, to a pipe
    // or a network path above all, is not read.
    const UniqueFileHandle file = OpenPlainFile(path, 0);
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
    // Made new beside it, under a name of its own, relative to the held folder: a link another
    // program put at the name since is never opened, and a leftover of a write cut short goes.
    UniqueFileHandle file;
    std::wstring temporary;
    for (int n = 1; n <= 9 && !file; ++n) {
        temporary = path + (n == 1 ? L"" : L"." + std::to_wstring(n)) + L".new";
        file = CreateNewFile(temporary, GENERIC_WRITE | DELETE);
        if (!file && ::GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    if (!file) {
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    DWORD written = 0;
    const bool complete = ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) &&
                          written == bytes.size() && ::FlushFileBuffers(file.Get()) &&
                          RenameInto(file.Get(), path, true);
    if (!complete) {
        const DWORD error = ::GetLastError();
        windows_files::DeleteByHandle(file.Get());
        ::SetLastError(error);
    }
    return complete;
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
