#pragma once

// A file system in memory for the engine's tests: drive letters, folders, files with their data
// and last-write times, links that lead to another folder or file, and what real disks do:
// the platform's path limits for plain paths, files held open by another program, error codes,
// a capacity per drive, hooks that make an operation fail or a drive vanish, as a pulled
// enclosure does, and the faults a run can meet, to be cut into it at any step.

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backup/CopyInPlace.h"
#include "backup/FileSystem.h"
#include "framework/NameCase.h"

namespace bexlo {

struct FileMarks {
    bool hidden = false;
    bool system = false;
    bool encrypted = false;
};

class MemoryFileSystem : public FileSystem {
public:
    enum class Op {
        Find,
        List,
        Identity,
        CreateFolder,
        CopyFileData,
        MoveOver,
        RemoveFile,
        ReadFile,
        WriteFile,
        VolumeSerial,
        Flush,
        GiveToThePerson
    };

    // Creates the missing folders above the file too, or writes over the file there; either way
    // its change time moves on. `size` stands in for the data's length.
    void AddFile(const std::wstring& path, const std::string& data, std::int64_t lastWrite,
                 std::optional<std::uint64_t> size = std::nullopt);
    void AddFolder(const std::wstring& path) { MakeFolders(path); }
    // `path` becomes a folder entry that leads to the folder `to`.
    void AddLink(const std::wstring& path, const std::wstring& to);
    // `path` becomes a file entry that leads to the file `to`, which must exist: reading it reads
    // `to`, and so does overwriting it.
    void AddFileLink(const std::wstring& path, const std::wstring& to);
    void Mark(const std::wstring& path, FileMarks marks);
    // The power goes: data written since the last flush of its file holds zeros (in a file written
    // in place, the bytes changed since); names stay as they were last changed.
    void PowerCut();
    // Takes a file or a whole folder away, behind the walkers' back.
    void Remove(const std::wstring& path);

    std::optional<std::string> Data(const std::wstring& path) const;
    bool IsFolder(const std::wstring& path) const { return ResolveFolder(path).has_value(); }

    // Every entry below a drive (0: below every drive), links not followed: "C:\Work\a.txt" ->
    // "data@time", a folder -> "<folder>", a link -> "<link>".
    std::map<std::wstring, std::string> Snapshot(wchar_t drive = 0) const;

    // Every operation on the drive fails until it is attached again.
    void Detach(wchar_t drive) { detached_.insert(Upper(drive)); }
    void Attach(wchar_t drive) { detached_.erase(Upper(drive)); }

    // Asked before every operation with its plain path; false makes it fail with `gateError`. A
    // failing copy leaves the first half of the data in its target. A gate may change the disks
    // too: swap a folder for a link at a chosen call, as another program may between a check and
    // its use.
    std::function<bool(Op, const std::wstring& path)> gate;
    std::uint32_t gateError = file_error::kAccessDenied;
    // Runs with the plain source path before a copy reads it.
    std::function<void(const std::wstring& from)> beforeCopy;
    // The file system of each drive's volume ("NTFS" when not given).
    std::map<wchar_t, std::wstring> fileSystems;
    // Files another program holds open without sharing: reading them fails.
    void HoldOpen(const std::wstring& path) { heldOpen_.insert(FoldCase(path)); }
    // Files, by folded plain path, that open for a sequential read and then fail to read at this
    // offset: a bad sector.
    std::map<std::wstring, std::uint64_t> badSectors;
    void LetGo() { heldOpen_.clear(); }
    // The serial number of each drive's volume; a drive without one cannot be asked.
    std::map<wchar_t, std::uint32_t> volumeSerials;
    // The bytes each drive (by its upper-case letter) holds at most; a drive without one is never
    // full. A copy that needs more fails with the disk-full error, its target holding what fit. A
    // file being replaced keeps its bytes until the partial copy is moved over it.
    std::map<wchar_t, std::uint64_t> capacities;
    // Drives whose file system keeps no change times, as FAT.
    std::set<wchar_t> withoutChangeTimes;
    // Drives whose volume cannot be flushed as a whole: each file is flushed on its own.
    std::set<wchar_t> volumeFlushRefused;
    // How often each drive's volume was flushed.
    std::map<wchar_t, int> volumeFlushes;
    // Folder ids as ReFS gives them: 128 bits whose low halves are all alike.
    bool wideIds = false;
    // Entries, by plain path, that listings leave out while reporting success: a listing broken
    // off and believed.
    std::set<std::wstring> unlisted;
    std::uint64_t UsedBytes(wchar_t drive) const;

    enum class Fault {
        Pulled,        // the drive goes, and `present` with it
        RefusedWrite,  // a copy's target or a new folder cannot be written
        HeldOpen,      // the source of a copy is held open by another program
        DiskFull,      // the drive is full with what it holds
        FailedSearch,  // a listing or a search fails, the drive still there
        Vanished,      // the source of a copy goes between its listing and the copy
    };
    // Counts the steps of what follows (each gated operation, and each copy's read of its source)
    // and makes `fault` strike at the first step from `step` on that it fits; 0 never strikes.
    // Takes over `gate` and `beforeCopy`.
    void Cut(Fault fault, int step, wchar_t drive, std::atomic<int>& present);
    int Steps() const { return steps_; }
    // The plain path of the step the fault struck at, once it has.
    const std::optional<std::wstring>& Struck() const { return struck_; }
    // Takes the fault back: the drive attached and `present` set, files let go, no capacity, a
    // vanished file back where it was.
    void Heal(std::atomic<int>& present);

    // As the platform's file search: no change time and no file id.
    std::optional<FileEntry> Find(const std::wstring& path) override;
    std::optional<FileEntry> Inspect(const std::wstring& path) override;
    std::optional<std::vector<FileEntry>> List(const std::wstring& folder) override;
    std::optional<FileId> Identity(const std::wstring& folder) override;
    std::optional<std::uint64_t> QuickIdentity(const std::wstring& folder) override {
        const std::optional<FileId> id = Identity(folder);
        return id ? std::optional(id->index) : std::nullopt;
    }
    bool CreateFolder(const std::wstring& path) override;
    // Copies a file's data to `to`, creating or overwriting it, with the last-write time of
    // `from`: the first step of every copy, where its faults are injected.
    bool CopyFileData(const std::wstring& from, const std::wstring& to);
    bool MoveOver(const std::wstring& from, const std::wstring& to) override {
        return Rename(from, to, true);
    }
    bool RemoveFile(const std::wstring& path) override;
    bool MoveNew(const std::wstring& from, const std::wstring& to) override {
        return Rename(from, to, false);
    }
    bool RemoveEmptyFolder(const std::wstring& path) override;
    // A drive with a capacity: that and what is left of it; any other cannot be asked.
    std::optional<VolumeSpace> Space(const std::wstring& path) override;
    std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path,
                                                           std::size_t limit) override;
    bool WriteFileReplacing(const std::wstring& path, std::span<const std::uint8_t> bytes) override;
    std::optional<std::uint32_t> VolumeSerial(const std::wstring& path) override;
    std::wstring VolumeFileSystem(const std::wstring& path) override;
    std::uint32_t LastError() const override { return lastError_; }
    std::wstring ErrorText(std::uint32_t error) const override {
        return L"error " + std::to_wstring(error);
    }
    // A clock that moves on by a tick at each reading and each write, so that whatever is written
    // after a reading has a later change time.
    std::int64_t CurrentTime() override { return ++clock_; }
    // Puts the clock forward to `now`; never back.
    void SetClock(std::int64_t now) { clock_ = std::max(clock_, now); }
    std::unique_ptr<StagedCopy> StageCopy(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) override;
    std::optional<FileRead> ReadThrough(const std::wstring& path) override;
    std::unique_ptr<SequentialFile> OpenSequential(const std::wstring& path) override;
    bool FlushVolume(const std::wstring& path) override;
    bool FlushFile(const std::wstring& path) override;
    // Opened by one at a time; its writes are steps of a cut run, as WriteFile.
    std::unique_ptr<RandomAccessFile> OpenOwnFile(const std::wstring& path, bool create) override;
    void ConfineWrites(const std::vector<std::wstring>& folders) override { confined_ = folders; }
    // Adds the file's path, as it shows, to `givenToThePerson`.
    bool GiveToThePerson(const std::wstring& path) override;
    std::set<std::wstring> givenToThePerson;

private:
    // An entry under its path with each name folded as the platform's file systems fold names
    // ("C:" for a drive's root); a link is a folder entry that leads to the folder under `linkTo`.
    struct Node {
        std::wstring path;
        bool folder = false;
        std::wstring linkTo;
        std::string data;
        std::optional<std::uint64_t> size;
        std::int64_t lastWrite = 0;
        std::int64_t changeTime = 0;
        std::uint64_t index = 0;
        FileMarks marks;
        // Written since the last flush.
        bool unflushed = false;
        // A file written in place: what its data was at its last flush.
        std::optional<std::string> durable;
        bool openOwn = false;

        std::uint64_t Bytes() const { return size.value_or(data.size()); }
    };
    class OpenCopy;
    class Staged;
    class OwnFile;
    using Nodes = std::map<std::wstring, Node>;

    static wchar_t Upper(wchar_t c);
    FileEntry EntryOf(const Node& node) const;
    // The state a record keeps of the file under `key`.
    FileState StateAt(const std::wstring& key) const;
    void Flushed(Node& node);
    Node& NewNode(const std::wstring& key, const std::wstring& path, bool folder);
    bool Failed(std::uint32_t error) const {
        lastError_ = error;
        return false;
    }
    std::nullopt_t Missing(std::uint32_t error) const {
        lastError_ = error;
        return std::nullopt;
    }
    // The plain path, the long form's prefix taken off; none, with the error set, when the
    // platform would refuse the path or the drive, or the gate refuses the operation. A path that
    // names nothing fails as a missing path, whether its folder is there or not.
    std::optional<std::wstring> Admit(Op op, std::wstring path, bool gated = true) const;
    // A folder on the way to the entry is a link that no confined folder names.
    bool ThroughLink(const std::wstring& path) const;
    // Where a key leads: a link's folder, or the key itself.
    std::wstring Follow(const std::wstring& key) const;
    // The key of the entry the path names, links on the way followed.
    std::optional<std::wstring> Resolve(const std::wstring& path) const;
    // The key of the folder the path leads to, a link at its end followed too.
    std::optional<std::wstring> ResolveFolder(const std::wstring& path) const;
    // Where a new entry for the path goes: its key and the path it shows, in a folder that
    // exists; none for a drive root or a path whose folders are missing.
    struct Slot {
        std::wstring key;
        std::wstring path;
    };
    std::optional<Slot> SlotFor(const std::wstring& path) const;
    // Adds an entry, with every folder above it that is missing.
    Node& AddEntry(const std::wstring& path, bool folder);
    std::wstring MakeFolders(const std::wstring& path);
    // The entries directly inside the folder under `key`.
    std::vector<const Node*> Children(const std::wstring& key) const;
    // One step of a cut run, at an operation or (none) at a copy's read of its source: false
    // fails the operation.
    bool Step(std::optional<Op> op, const std::wstring& path);
    // Moves a file to `to`, replacing a file there only when `replace` is set.
    bool Rename(const std::wstring& from, const std::wstring& to, bool replace);
    // The folder that would hold the file lies within the confined folders; false, with the error
    // set, when it does not or is not there.
    bool WithinConfinement(const std::wstring& file) const;

    Nodes nodes_;
    std::set<wchar_t> detached_;
    std::set<std::wstring> heldOpen_;
    mutable std::uint32_t lastError_ = 0;
    std::uint64_t nextIndex_ = 1;
    std::int64_t clock_ = 0;
    Fault fault_ = Fault::Pulled;
    int cut_ = 0;
    int steps_ = 0;
    wchar_t faultDrive_ = 0;
    std::atomic<int>* present_ = nullptr;
    std::optional<std::wstring> struck_;
    std::optional<std::pair<std::wstring, Node>> vanished_;
    std::vector<std::wstring> confined_;
};

}  // namespace bexlo
