// The Windows file system's copies: made beside their destination under a partial name, with
// their streams and times, and moved to their name once complete; and the rule on where they
// may be written.

#include <algorithm>
#include <vector>

#include "backup/CopyInPlace.h"
#include "backup/WindowsFileSupport.h"
#include "backup/WindowsFileSystem.h"
#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

using windows_files::IdentityOf;

namespace windows_files {

bool PassData(HANDLE from, HANDLE to, std::vector<std::uint8_t>& buffer, ContentHasher* hasher) {
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        if (hasher != nullptr) {
            hasher->Add(std::span(buffer.data(), read));
        }
        DWORD written = 0;
        if (to != nullptr &&
            (!::WriteFile(to, buffer.data(), read, &written, nullptr) || written != read)) {
            return false;
        }
    }
}

std::uint64_t FileIndexOf(HANDLE handle) {
    // Asked of the kernel as such: the platform's calls that name a file's id also look its
    // volume's serial up, which Wine answers from another process, a wait longer than a small
    // file's copy.
    struct StatusBlock {
        void* status;
        ULONG_PTR information;
    };
    using Query = LONG(WINAPI*)(HANDLE, StatusBlock*, void*, ULONG, int);
    constexpr int kFileInternalInformation = 6;
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    StatusBlock status{};
    std::uint64_t index = 0;
    if (query == nullptr ||
        query(handle, &status, &index, sizeof(index), kFileInternalInformation) < 0) {
        return 0;
    }
    return index;
}

std::optional<FileState> StateOfHandle(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileSizeEx(handle, &size)) {
        return std::nullopt;
    }
    return FileState{static_cast<std::uint64_t>(size.QuadPart), basic.LastWriteTime.QuadPart,
                     basic.ChangeTime.QuadPart, FileIndexOf(handle)};
}

// Where an open folder is, links followed: its volume and its path there. (Not by
// GetFinalPathNameByHandleW, which Wine refuses for paths past 259 characters.)
std::optional<Place> PlaceOf(HANDLE handle) {
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
    return Place{id->volume, std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t))};
}

}  // namespace windows_files

using windows_files::PassData;
using windows_files::PlaceOf;
using windows_files::StateOfHandle;

namespace {

constexpr std::size_t kChunk = 1 << 20;

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
            if (!namedCopy || !PassData(named.Get(), namedCopy.Get(), buffer, nullptr)) {
                return false;
            }
        }
        if (stream->NextEntryOffset == 0) {
            return true;
        }
        offset += stream->NextEntryOffset;
    }
}

// Copies the data, hashing it, the named streams and the compression, then gives the copy the
// source's times and attributes, all through the open handles.
bool CopyOpenFile(HANDLE source, const std::wstring& from, const FILE_BASIC_INFO& information,
                  std::uint64_t size, HANDLE copy, const std::wstring& partial,
                  ContentHasher& hasher) {
    if (information.FileAttributes & FILE_ATTRIBUTE_COMPRESSED) {
        // A volume that cannot compress takes the data as it is.
        USHORT format = COMPRESSION_FORMAT_DEFAULT;
        DWORD returned = 0;
        ::DeviceIoControl(copy, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                          &returned, nullptr);
    }
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, kChunk)));
    if (!PassData(source, copy, buffer, &hasher) ||
        !CopyStreams(source, from, copy, partial, buffer)) {
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

class OpenCopy {
public:
    OpenCopy(WindowsFileSystem& fs, HANDLE file, const std::wstring& to)
        : fs_(fs), file_(file), to_(to) {}
    bool Rename(bool replace) { return fs_.RenameInto(file_, to_, replace); }
    bool Flush() { return ::FlushFileBuffers(file_) != FALSE; }
    std::uint32_t Error() const { return ::GetLastError(); }

private:
    WindowsFileSystem& fs_;
    HANDLE file_;
    const std::wstring& to_;
};

std::optional<WindowsFileSystem::Place> PlaceOf(const std::wstring& folder) {
    const UniqueFileHandle handle = windows_files::OpenFolder(folder);
    return handle ? windows_files::PlaceOf(handle.Get()) : std::nullopt;
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

}  // namespace

void WindowsFileSystem::ConfineWrites(const std::vector<std::wstring>& folders) {
    folders_.SetRoots(folders);
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
    folders_.Release(from);
    const std::optional<windows_files::InFolder> in = folders_.ParentOf(from);
    const UniqueFileHandle file =
        in ? windows_files::OpenRelative(in->folder->Get(), in->name, DELETE | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         windows_files::NameUse::OpenExisting,
                                         windows_files::EntryKind::Either)
           : UniqueFileHandle();
    return file && RenameInto(file.Get(), to, false);
}

namespace {

// The copy under its partial name, held open until it takes its name or is removed.
class WindowsStagedCopy : public StagedCopy {
public:
    WindowsStagedCopy(WindowsFileSystem& fs, UniqueFileHandle copy, std::wstring partial,
                      std::wstring to, FileRead read)
        : fs_(fs),
          copy_(std::move(copy)),
          partial_(std::move(partial)),
          to_(std::move(to)),
          read_(read) {}
    ~WindowsStagedCopy() override { Drop(); }

    const FileRead& Source() const override { return read_; }

    // Only the copy's own handle is used, which the copy keeps until it goes, and the held
    // folders, which any thread may use.
    bool Flush() override { return copy_ && ::FlushFileBuffers(copy_.Get()) != FALSE; }
    bool WorksOnAnyThread() const override { return true; }

    std::optional<FileState> Place(CopyPlacing placing) override {
        if (!copy_ || placed_) {
            return std::nullopt;
        }
        OpenCopy inPlace(fs_, copy_.Get(), to_);
        // The copy's state is asked on its own handle, under its name: a rename moves its change
        // time on some file systems.
        if (PlaceCopy(inPlace, placing)) {
            if (std::optional<FileState> placed = StateOfHandle(copy_.Get())) {
                placed_ = true;
                return placed;
            }
        }
        Drop();
        return std::nullopt;
    }

private:
    // A copy never placed goes.
    void Drop() {
        if (!copy_ || placed_) {
            return;
        }
        const DWORD error = ::GetLastError();
        if (!windows_files::DeleteByHandle(copy_.Get())) {
            copy_.Reset();
            fs_.RemoveFile(partial_);
        }
        copy_.Reset();
        ::SetLastError(error);
    }

    WindowsFileSystem& fs_;
    UniqueFileHandle copy_;
    std::wstring partial_;
    std::wstring to_;
    FileRead read_;
    bool placed_ = false;
};

}  // namespace

std::unique_ptr<StagedCopy> WindowsFileSystem::StageCopy(const std::wstring& from,
                                                         const std::wstring& partial,
                                                         const std::wstring& to) {
    // A name swapped for a link to a pipe or a network path cannot act as this program there.
    UniqueFileHandle source(::CreateFileW(
        from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (source && ::GetFileType(source.Get()) != FILE_TYPE_DISK) {
        source.Reset();
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    // Not GetFileInformationByHandle: it also asks for the volume's serial, which Wine answers
    // from another process, a wait longer than the rest of a small file's copy.
    FILE_BASIC_INFO information{};
    LARGE_INTEGER size{};
    if (!source ||
        !::GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &information,
                                        sizeof(information)) ||
        !::GetFileSizeEx(source.Get(), &size)) {
        return nullptr;
    }
    if (information.FileAttributes & FILE_ATTRIBUTE_ENCRYPTED) {
        ::SetLastError(file_error::kFileEncrypted);
        return nullptr;
    }
    if (!WithinConfinement(partial)) {
        return nullptr;
    }
    UniqueFileHandle copy = CreateNewFile(partial, GENERIC_READ | GENERIC_WRITE | DELETE);
    if (!copy) {
        return nullptr;
    }
    ContentHasher hasher;
    if (!CopyOpenFile(source.Get(), from, information, static_cast<std::uint64_t>(size.QuadPart),
                      copy.Get(), partial, hasher)) {
        const DWORD error = ::GetLastError();
        windows_files::DeleteByHandle(copy.Get());
        copy.Reset();
        ::SetLastError(error);
        return nullptr;
    }
    // No other program could write the source while it was open for reading without sharing
    // writes: the state asked before the read is the one the data has.
    const FileState read{static_cast<std::uint64_t>(size.QuadPart),
                         information.LastWriteTime.QuadPart, information.ChangeTime.QuadPart,
                         windows_files::FileIndexOf(source.Get())};
    return std::make_unique<WindowsStagedCopy>(*this, std::move(copy), partial, to,
                                               FileRead{read, hasher.Result()});
}

}  // namespace bexlo
