#pragma once

// Puts kept states of files back on the PC: to their original place or below another folder. A
// file there that differs is first kept as a version from the PC, as Synchronize keeps what it
// replaces; one that holds the same bytes is left alone. Each file's bytes are checked against
// their record's hash as they are read, and take their name only once complete, so that a cut
// leaves nothing half-written under a real name. Each file written is given to the person logged
// on, with the access of the folder it went to. No link is read or written through on either
// side.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupTimeline.h"
#include "backup/CopyFlusher.h"
#include "backup/FileSystem.h"
#include "backup/Versions.h"

namespace bexlo {

struct RestoreItem {
    KeptState state;
    // Where it goes, a plain full path.
    std::wstring target;
    // The folder that stands for its source there: the source itself, or the source's name below
    // the folder picked.
    std::wstring root;
};

// Where each file goes: below its source, or, when `elsewhere` is given, below the folder of the
// source's name in it. Files of no saved source are left out.
std::vector<RestoreItem> RestoreItems(const std::vector<FileAtMoment>& files,
                                      const std::vector<std::wstring>& sources,
                                      const std::wstring& elsewhere);

enum class RestoreTrouble {
    Failed,     // reading or writing failed: the error tells why
    NotAsKept,  // the bytes read are not those the record names
    Link,       // a link lies on the way, or under the name
    NotKept,    // the PC's differing file could not be kept first
    NotOwned,   // restored, but its owner could not be made the person logged on
};

struct RestoreProblem {
    std::wstring target;
    RestoreTrouble trouble = RestoreTrouble::Failed;
    std::uint32_t error = 0;
};

struct RestoreOutcome {
    // Files written, and files found already holding what was to be restored.
    std::uint64_t restored = 0;
    std::uint64_t same = 0;
    std::vector<RestoreProblem> problems;
    // Each file restored, as it now is on the PC.
    std::vector<std::pair<RestoreItem, FileState>> written;
    // Files restored that are not owned by the person logged on: each is restored all the same.
    std::vector<RestoreProblem> notOwned;
    bool cancelled = false;
};

// Marks this PC's records of the files restored to their place in a saved source, so that the next
// press takes each over its backup copy; a file restored as its backup copy holds it is recorded
// as that copy's source instead. False when the catalog could not be written.
bool MarkRestored(Catalog& catalog, const std::wstring& destination,
                  const std::vector<std::wstring>& sources, const RestoreOutcome& outcome);

class Restorer {
public:
    // `destination` is the backup's destination folder, where the PC's files are kept; `now` the
    // restore's start, UTC, which names the folder they are kept in.
    Restorer(FileSystem& fs, const std::wstring& destination, std::int64_t now);

    // Called after each file, restored or not, with the files and bytes done so far.
    std::function<void(std::uint64_t files, std::uint64_t bytes)> progress;

    // Stops before the next file once `cancel` is set.
    RestoreOutcome Run(const std::vector<RestoreItem>& items, const std::atomic<bool>& cancel);

private:
    // Copies to free names wait in a batch, complete under their partial names, for their data to
    // reach the disk together.
    static constexpr std::size_t kBatchFiles = 256;
    static constexpr std::uint64_t kBatchBytes = 64 << 20;
    struct Pending {
        const RestoreItem* item;
        // Held here, or placed by the flusher under the number `flush`.
        std::unique_ptr<StagedCopy> staged;
        std::size_t flush;
    };

    void RestoreOne(const RestoreItem& item, VersionStore& versions, RestoreOutcome& outcome);
    // Whether the volume of `target` can be flushed as a whole, asked once for each drive.
    bool VolumeFlushes(const std::wstring& target);
    // Puts the batch's data on the disk, each copy before it takes its name.
    void PlacePending(RestoreOutcome& outcome);
    // Gives a file placed to the person and counts it.
    void Restored(const RestoreItem& item, const FileState& placed, RestoreOutcome& outcome);
    // The entry of a kept file, as its folder lists it; null, with the reason in `error`, when
    // there is none.
    const FileEntry* KeptEntry(const std::wstring& from, std::uint32_t& error);
    // What is at a file's place on the PC.
    std::optional<FileEntry> TargetEntry(const std::wstring& to);
    // Every folder of the path that exists is a plain folder of its drive.
    bool PlainFolder(const std::wstring& folder);

    FileSystem& fs_;
    std::wstring destination_;
    std::wstring versionsFolder_;
    std::int64_t now_;
    // Folders checked plain, each found to exist, with the volume they lie on.
    std::map<std::wstring, std::uint64_t> plain_;
    // Files go back folder by folder: one listing of a folder serves all of its files.
    struct Listing {
        std::wstring listed;
        // By folded name; nothing when the folder could not be listed, for `error`.
        std::optional<std::map<std::wstring, FileEntry>> entries;
        std::uint32_t error = 0;
        // Lists `folder` unless it was the last listed.
        void Of(FileSystem& fs, const std::wstring& folder);
    };
    // The folder of kept files listed last, and the folder on the PC.
    Listing kept_;
    Listing targets_;
    // The folder writes are confined to now.
    std::wstring confined_;
    std::vector<Pending> pending_;
    std::uint64_t pendingBytes_ = 0;
    std::map<wchar_t, bool> volumeFlushes_;
    std::unique_ptr<CopyFlusher> flusher_;
    std::size_t flushes_ = 0;
    // Why no file of this run can be given to the person, once one has told.
    std::uint32_t noOwner_ = 0;
};

}  // namespace bexlo
