#pragma once

// The file operations the backup engine needs. The Windows side answers with the platform's
// file search and file calls; the tests with a file system in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/ContentHash.h"

namespace bexlo {

// The platform's error codes that the engine tells apart.
namespace file_error {
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kNotReady = 21;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kHandleDiskFull = 39;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kDiskFull = 112;
inline constexpr std::uint32_t kAlreadyExists = 183;
inline constexpr std::uint32_t kDirNotEmpty = 145;
inline constexpr std::uint32_t kFilenameTooLong = 206;
// A volume that stops answering: not ready, gone from the system, or its media changed.
inline constexpr std::uint32_t kDeviceGone = 55;
inline constexpr std::uint32_t kMediaChanged = 1110;
inline constexpr std::uint32_t kNoMedia = 1112;
inline constexpr std::uint32_t kDeviceNotConnected = 1167;
inline constexpr std::uint32_t kDeviceRemoved = 1617;
inline constexpr std::uint32_t kFileEncrypted = 6002;
// No person logged on could be found; the program may not make another the owner of a file.
inline constexpr std::uint32_t kNoSuchLogonSession = 1312;
inline constexpr std::uint32_t kNotAllAssigned = 1300;
}  // namespace file_error

// The error says the entry or a folder on its way is not there.
inline bool Missing(std::uint32_t error) {
    return error == file_error::kFileNotFound || error == file_error::kPathNotFound;
}

// Which folder a path reaches, whatever link it went through: the volume serial and the file
// id on that volume. The id has 128 bits: ReFS gives two folders ids whose low halves may match.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t indexHigh = 0;

    bool operator==(const FileId&) const = default;
};

// The id from the platform's 16-byte file id, its low half first.
inline FileId FileIdFromBytes(std::uint64_t volume, const std::uint8_t (&id)[16]) {
    FileId result{volume, 0, 0};
    for (int i = 7; i >= 0; --i) {
        result.index = (result.index << 8) | id[i];
        result.indexHigh = (result.indexHigh << 8) | id[8 + i];
    }
    return result;
}

struct FileEntry {
    std::wstring name;
    bool folder = false;
    std::uint64_t size = 0;
    // Last-write time in 100-ns units.
    std::int64_t lastWrite = 0;
    // When the file was last changed in any way, in the same units: a write moves it, and no
    // program can set it back. 0 where the file system keeps none (FAT, some network shares).
    std::int64_t changeTime = 0;
    // A junction or a symbolic link. Other reparse points, such as cloud placeholders, are
    // ordinary files and folders.
    bool link = false;
    bool hidden = false;
    bool system = false;
    // Encrypted by the file system for its owner: a plain copy would give the data away.
    bool encrypted = false;
    // The file's id on its volume, as a listing gives it; 0 where it is not known.
    std::uint64_t fileId = 0;
};

// What a record keeps of a file: enough to tell, without reading it, that it is still the file
// that was read or written.
struct FileState {
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    // 0: the volume keeps none.
    std::int64_t changeTime = 0;
    // 0: not known.
    std::uint64_t fileId = 0;

    bool operator==(const FileState&) const = default;
};

inline FileState StateOf(const FileEntry& entry) {
    return {entry.size, entry.lastWrite, entry.changeTime, entry.fileId};
}

// A file read from its start to its end through one open handle: its state as it was read, and
// the hash of its data.
struct FileRead {
    FileState state;
    ContentHash hash;
};

// What a copy read and what it made: the source as it was read, the copy under its name, and the
// hash of the data, which both hold.
struct CopyMade {
    FileState source;
    FileState copy;
    ContentHash hash;
};

// How a finished copy takes its name.
enum class CopyPlacing {
    // A free name is taken at once; a file there is replaced only once the copy's data is on the
    // disk, since a power cut must leave the name holding the old content or the new.
    Replacing,
    // A free name only, taken at once: a copy cut short there loses nothing.
    New,
    // A free name only, once the data is on the disk: for a name whose file was just moved away.
    Durable,
};

// A copy complete beside its destination, under its partial name, and not yet under its own.
class StagedCopy {
public:
    // A copy never placed is removed.
    virtual ~StagedCopy() = default;
    // The source as the copy read it, through the handle it read it with, and the data's hash.
    virtual const FileRead& Source() const = 0;
    // Puts the copy's data on the disk through its own handle, before or after it is placed.
    virtual bool Flush() = 0;
    // Flush and Place may be called on another thread, while the file system goes on with other
    // work.
    virtual bool WorksOnAnyThread() const { return false; }
    // Gives the copy its name; the copy's state under it, or nothing, with the partial copy gone
    // and the file system's LastError telling why.
    virtual std::optional<FileState> Place(CopyPlacing placing) = 0;
};

// A file of the program's own, read and written at any offset: the catalog's database and its
// journal.
class RandomAccessFile {
public:
    virtual ~RandomAccessFile() = default;
    // The bytes read at `offset`, fewer than asked at the end of the file; nothing on an error.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> into) = 0;
    virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool Truncate(std::uint64_t size) = 0;
    // What was written is on the disk.
    virtual bool Sync() = 0;
    virtual std::optional<std::uint64_t> Size() = 0;
};

// A file on the enclosure read once from its start to its end, in large pieces: a backup copy read
// back to be checked.
class SequentialFile {
public:
    virtual ~SequentialFile() = default;
    // The file's size when it was opened.
    virtual std::uint64_t Size() const = 0;
    // Fills `into` from where the last read ended: the bytes read, fewer only at the end of the
    // file, 0 past it; nothing on an error. `into` starts on a kSequentialAlign boundary and its
    // size is a multiple of it, as reads that bypass the system's cache need.
    virtual std::optional<std::size_t> Read(std::span<std::uint8_t> into) = 0;
};
inline constexpr std::size_t kSequentialAlign = 4096;

// A volume's size and the bytes free on it.
struct VolumeSpace {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // What a search for the path itself finds; nothing when there is no such entry.
    virtual std::optional<FileEntry> Find(const std::wstring& path) = 0;
    // What Find gives, with the change time and the file id read through the entry's own handle:
    // a link is inspected itself, never what it leads to.
    virtual std::optional<FileEntry> Inspect(const std::wstring& path) = 0;
    // The entries of a folder, without "." and ".."; nothing when it cannot be searched.
    virtual std::optional<std::vector<FileEntry>> List(const std::wstring& folder) = 0;
    // The folder that the path leads to, links followed; nothing when it cannot be opened.
    virtual std::optional<FileId> Identity(const std::wstring& folder) = 0;
    // A cheaper id of the folder the path leads to: the same for one folder, and for two only by
    // chance (two folders of ReFS, or of two volumes); nothing when it cannot be opened.
    virtual std::optional<std::uint64_t> QuickIdentity(const std::wstring& folder) = 0;
    // Creates one folder; false when it exists already or cannot be made.
    virtual bool CreateFolder(const std::wstring& path) = 0;
    // Moves the file `from` over `to` in one step, replacing a file there.
    virtual bool MoveOver(const std::wstring& from, const std::wstring& to) = 0;
    // Removes a file whatever its read-only, hidden and system bits; a link itself, never what it
    // leads to.
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // Renames a file on its volume, never over another entry: fails with kAlreadyExists when `to`
    // is taken.
    virtual bool MoveNew(const std::wstring& from, const std::wstring& to) = 0;
    // Removes a folder that holds nothing; a link itself, never what it leads to.
    virtual bool RemoveEmptyFolder(const std::wstring& path) = 0;
    // The size of the volume that holds `path` and its free bytes; nothing when it cannot be asked.
    virtual std::optional<VolumeSpace> Space(const std::wstring& path) = 0;

    // The first `limit` bytes of a file; nothing when it cannot be read.
    virtual std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path,
                                                                   std::size_t limit) = 0;
    // Writes a whole file so that a reader only ever finds the old content or the new one.
    // False, with the old file untouched, when anything fails.
    virtual bool WriteFileReplacing(const std::wstring& path,
                                    std::span<const std::uint8_t> bytes) = 0;
    // The serial number of the volume that holds `path`; nothing when it cannot be asked.
    virtual std::optional<std::uint32_t> VolumeSerial(const std::wstring& path) = 0;
    // The name of the file system of the volume that holds `path` ("NTFS", "FAT32" ...); empty
    // when it cannot be asked.
    virtual std::wstring VolumeFileSystem(const std::wstring& path) = 0;

    // Why the last operation that failed on this thread failed: the platform's error code. An
    // operation that fails sets it; one that succeeds may leave it as it was.
    virtual std::uint32_t LastError() const = 0;
    // The platform's own words for an error code.
    virtual std::wstring ErrorText(std::uint32_t error) const = 0;
    // The system's clock, in the units of the entries' times.
    virtual std::int64_t CurrentTime() = 0;

    // Copies `from` to `partial` beside `to`, hashing the data as it passes, and leaves it there
    // until it is placed, so that `to` holds the old content or the new, never part of it, even
    // after a power cut. The copy is the same whatever the size: data, named streams, times,
    // attributes and compression. `partial` is made new: an entry already there under that name
    // (a leftover of an earlier copy) is removed first, a link itself and never what it leads to.
    // The source is read with no other program writing it. An encrypted source is refused with
    // kFileEncrypted. Nothing, with `partial` gone and LastError telling why, when anything fails.
    virtual std::unique_ptr<StagedCopy> StageCopy(const std::wstring& from,
                                                  const std::wstring& partial,
                                                  const std::wstring& to) = 0;
    // StageCopy and Place in one.
    std::optional<CopyMade> Copy(const std::wstring& from, const std::wstring& partial,
                                 const std::wstring& to, CopyPlacing placing) {
        const std::unique_ptr<StagedCopy> staged = StageCopy(from, partial, to);
        const std::optional<FileState> placed = staged ? staged->Place(placing) : std::nullopt;
        if (!placed) {
            return std::nullopt;
        }
        return CopyMade{staged->Source().state, *placed, staged->Source().hash};
    }
    // Reads a file from its start to its end, no link followed and no other program writing it
    // meanwhile: its state and its data's hash.
    virtual std::optional<FileRead> ReadThrough(const std::wstring& path) = 0;
    // Opens a file to be read once from its start, past the system's cache where the volume
    // allows: never through a link, never a folder. Nothing, with LastError telling why, when it
    // cannot be opened so.
    virtual std::unique_ptr<SequentialFile> OpenSequential(const std::wstring& path) = 0;
    // Puts what the file system holds in its caches for the volume of `path` on the disk; false
    // when the volume cannot be asked to.
    virtual bool FlushVolume(const std::wstring& path) = 0;
    // The same for one file, a link itself never written through.
    virtual bool FlushFile(const std::wstring& path) = 0;
    // Opens one of the program's own files, made when `create` is set, for this program alone:
    // never through a link, never a file with a second name, never another kind of file than a
    // plain one on a disk, and only inside a folder that is itself no link. Nothing when it
    // cannot be opened so.
    virtual std::unique_ptr<RandomAccessFile> OpenOwnFile(const std::wstring& path,
                                                          bool create) = 0;
    // The folders that copies may be written in from now on, each with what lies below it: a copy
    // whose folder turns out, on an open handle, to lie elsewhere, whatever link its path led
    // through, is not made (access denied). None lifts the rule and lets go of the folders that
    // the checks hold open.
    virtual void ConfineWrites(const std::vector<std::wstring>& folders) = 0;
    // Makes the person logged on the owner of a file this program has just written, which, run
    // elevated, it would own itself; the file keeps the access it took from its folder. False,
    // with LastError telling why, when the owner could not be set.
    virtual bool GiveToThePerson(const std::wstring& path) = 0;
};

// What Find gives, and, for a file, its change time and id through Inspect: the platform's search
// names neither.
inline std::optional<FileEntry> FindWithChangeTime(FileSystem& fs, const std::wstring& path) {
    std::optional<FileEntry> found = fs.Find(path);
    if (found && !found->folder) {
        if (const std::optional<FileEntry> inspected = fs.Inspect(path)) {
            found->changeTime = inspected->changeTime;
            found->fileId = inspected->fileId;
        }
    }
    return found;
}

}  // namespace bexlo
