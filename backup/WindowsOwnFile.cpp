// The program's own files on the enclosure, read and written in place: opened only where no link,
// second name or other kind of file can turn them into another file.

#include <algorithm>

#include "backup/WindowsFileSupport.h"
#include "backup/WindowsFileSystem.h"
#include "framework/Handles.h"

namespace bexlo {

namespace {

class WindowsOwnFile : public RandomAccessFile {
public:
    explicit WindowsOwnFile(UniqueFileHandle file) : file_(std::move(file)) {}

    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
        std::size_t done = 0;
        while (done < into.size()) {
            OVERLAPPED at = At(offset + done);
            DWORD read = 0;
            const DWORD wanted =
                static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1 << 30));
            if (!::ReadFile(file_.Get(), into.data() + done, wanted, &read, &at)) {
                if (::GetLastError() == ERROR_HANDLE_EOF) {
                    break;
                }
                return std::nullopt;
            }
            if (read == 0) {
                break;
            }
            done += read;
        }
        return done;
    }

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            OVERLAPPED at = At(offset + done);
            DWORD written = 0;
            const DWORD wanted =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
            if (!::WriteFile(file_.Get(), bytes.data() + done, wanted, &written, &at) ||
                written == 0) {
                return false;
            }
            done += written;
        }
        return true;
    }

    bool Truncate(std::uint64_t size) override {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        return ::SetFileInformationByHandle(file_.Get(), FileEndOfFileInfo, &end, sizeof(end)) !=
               FALSE;
    }

    bool Sync() override { return ::FlushFileBuffers(file_.Get()) != FALSE; }

    std::optional<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.Get(), &size)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

private:
    static OVERLAPPED At(std::uint64_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }

    UniqueFileHandle file_;
};

bool Refuse() {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// The open entry is a plain file with one name, no folder and no link.
bool PlainFile(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
        return Refuse();
    }
    return ((basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
                0 &&
            standard.NumberOfLinks == 1 && !standard.Directory) ||
           Refuse();
}

// The folder, opened as itself: a folder of its own, no link. Its entry in its parent's listing
// is asked too: Wine opens a link's target whatever the flags, and only its listing shows the link.
UniqueFileHandle OpenPlainFolder(const std::wstring& folder) {
    UniqueFileHandle handle(::CreateFileW(
        folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_BASIC_INFO basic{};
    WIN32_FIND_DATAW listed{};
    const UniqueFindHandle find(::FindFirstFileW(folder.c_str(), &listed));
    constexpr DWORD kFolderOnly = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (handle &&
        (!::GetFileInformationByHandleEx(handle.Get(), FileBasicInfo, &basic, sizeof(basic)) ||
         (basic.FileAttributes & kFolderOnly) != FILE_ATTRIBUTE_DIRECTORY || !find ||
         (listed.dwFileAttributes & kFolderOnly) != FILE_ATTRIBUTE_DIRECTORY)) {
        handle.Reset();
        Refuse();
    }
    return handle;
}

// The file lies directly in the folder held open, on the same volume.
bool InItsFolder(HANDLE file, HANDLE folder) {
    const std::optional<windows_files::Place> folderPlace = windows_files::PlaceOf(folder);
    const std::optional<windows_files::Place> filePlace = windows_files::PlaceOf(file);
    if (!folderPlace || !filePlace || folderPlace->volume != filePlace->volume) {
        return Refuse();
    }
    const std::size_t slash = filePlace->path.find_last_of(L'\\');
    std::wstring_view expected = folderPlace->path;
    while (!expected.empty() && expected.back() == L'\\') {
        expected.remove_suffix(1);
    }
    const std::wstring_view holder = std::wstring_view(filePlace->path).substr(0, slash);
    return (slash != std::wstring::npos && holder.size() == expected.size() &&
            (expected.empty() ||
             ::CompareStringOrdinal(holder.data(), static_cast<int>(holder.size()), expected.data(),
                                    static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL)) ||
           Refuse();
}

}  // namespace

std::unique_ptr<RandomAccessFile> WindowsFileSystem::OpenOwnFile(const std::wstring& path,
                                                                 bool create) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    // The folder is held, and looked at, before anything is made in it.
    const UniqueFileHandle folder = OpenPlainFolder(path.substr(0, slash));
    if (!folder) {
        return nullptr;
    }
    // For this program alone, as itself; a link to a pipe or a network path cannot act as this
    // program there.
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                        nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                            SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                        nullptr));
    const bool made = file && create && ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!file) {
        return nullptr;
    }
    if (!PlainFile(file.Get()) || !InItsFolder(file.Get(), folder.Get())) {
        // A file this call made where it turns out not to belong goes again.
        if (made) {
            FILE_DISPOSITION_INFO gone{TRUE};
            ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &gone, sizeof(gone));
        }
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return std::make_unique<WindowsOwnFile>(std::move(file));
}

}  // namespace bexlo
