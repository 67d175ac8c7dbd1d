#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/CopyInPlace.h"
#include "backup/FileSystem.h"
#include "backup/WindowsFileSupport.h"
#include "backup/WindowsFolders.h"
#include "framework/Handles.h"

namespace bexlo {

// The engine's file operations on the real disks. Paths may be plain or in the long form.
class WindowsFileSystem : public FileSystem {
public:
    std::optional<FileEntry> Find(const std::wstring& path) override;
    std::optional<FileEntry> Inspect(const std::wstring& path) override;
    std::optional<std::vector<FileEntry>> List(const std::wstring& folder) override;
    std::optional<FileId> Identity(const std::wstring& folder) override;
    std::optional<std::uint64_t> QuickIdentity(const std::wstring& folder) override;
    bool CreateFolder(const std::wstring& path) override;
    bool MoveOver(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    bool MoveNew(const std::wstring& from, const std::wstring& to) override;
    bool RemoveEmptyFolder(const std::wstring& path) override;
    std::optional<VolumeSpace> Space(const std::wstring& path) override;
    std::unique_ptr<StagedCopy> StageCopy(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) override;
    std::optional<FileRead> ReadThrough(const std::wstring& path) override;
    std::unique_ptr<SequentialFile> OpenSequential(const std::wstring& path) override;
    bool FlushVolume(const std::wstring& path) override;
    bool FlushFile(const std::wstring& path) override;
    std::unique_ptr<RandomAccessFile> OpenOwnFile(const std::wstring& path, bool create) override;
    std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path,
                                                           std::size_t limit) override;
    bool WriteFileReplacing(const std::wstring& path, std::span<const std::uint8_t> bytes) override;
    std::optional<std::uint32_t> VolumeSerial(const std::wstring& path) override;
    std::wstring VolumeFileSystem(const std::wstring& path) override;
    std::uint32_t LastError() const override;
    std::wstring ErrorText(std::uint32_t error) const override;
    std::int64_t CurrentTime() override;
    void ConfineWrites(const std::vector<std::wstring>& folders) override;
    bool GiveToThePerson(const std::wstring& path) override;

    using Place = windows_files::Place;

    // Gives the open file the name `to`, relative to the held folder that is to hold it.
    bool RenameInto(HANDLE file, const std::wstring& to, bool replace);
    // Makes a new file at `path`, relative to its held folder, never through a link; a leftover
    // of an earlier copy under that name is removed first, a link itself and never what it leads
    // to.
    UniqueFileHandle CreateNewFile(const std::wstring& path, ACCESS_MASK access);

private:
    struct ConfinedFolder {
        std::wstring path;
        // Where the folder really is, links followed; nothing until it has been found.
        std::optional<Place> place;
    };
    // A folder that copies were written into lately, held open, and whether it lies within the
    // confined folders.
    struct HeldFolder {
        std::wstring path;
        UniqueFileHandle handle;
        bool within = false;
    };
    static constexpr std::size_t kHeldFolders = 8;

    // The folder that will hold `file` lies within the confined folders, however its path gets
    // there; false, with the error set, when it does not or cannot be opened. It is asked once
    // while the folder is held: Wine takes about a millisecond to name the place of an open
    // file, longer than the rest of a small file's copy.
    bool WithinConfinement(const std::wstring& file);

    // The person's SID, asked once; setting it as a file's owner needs the restore privilege.
    std::vector<std::uint8_t> person_;
    bool restorePrivilege_ = false;

    std::vector<ConfinedFolder> confined_;
    std::vector<HeldFolder> held_;
    // Every change below a folder goes through these.
    windows_files::HeldFolders folders_;
};

// The first `limit` bytes of a file; nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, std::size_t limit);

}  // namespace bexlo
