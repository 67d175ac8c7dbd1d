#include "backup/Restore.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>

#include "backup/VersionIndex.h"
#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

std::vector<RestoreItem> RestoreItems(const std::vector<FileAtMoment>& files,
                                      const std::vector<std::wstring>& sources,
                                      const std::wstring& elsewhere) {
    std::vector<RestoreItem> items;
    for (const FileAtMoment& file : files) {
        for (const std::wstring& source : sources) {
            if (!IsWithin(FoldCase(file.original), FoldCase(source))) {
                continue;
            }
            const std::wstring root =
                elsewhere.empty() ? source : JoinPath(elsewhere, LastSegment(source));
            items.push_back({file.state, root + file.original.substr(source.size()), root});
            break;
        }
    }
    return items;
}

void Restorer::RestoreOne(const RestoreItem& item, VersionStore& versions,
                          RestoreOutcome& outcome) {
    const auto fail = [&](RestoreTrouble trouble, std::uint32_t error = 0) {
        outcome.problems.push_back({item.target, trouble, error});
    };
    const std::wstring from = LongPath(item.state.bytes);
    const std::wstring to = LongPath(item.target);
    const std::wstring folder = ParentOf(to);
    if (!PlainFolder(ParentOf(from))) {
        return fail(RestoreTrouble::Link);
    }
    std::uint32_t error = 0;
    const FileEntry* kept = KeptEntry(from, error);
    if (kept == nullptr) {
        return fail(RestoreTrouble::Failed, error);
    }
    if (kept->link || kept->folder) {
        return fail(RestoreTrouble::Link);
    }
    if (!PlainFolder(folder)) {
        return fail(RestoreTrouble::Link);
    }
    // A folder known plain is known to exist.
    if (!plain_.contains(folder)) {
        CreateFolderPath(fs_, folder);
        if (!PlainFolder(folder)) {
            return fail(RestoreTrouble::Link);
        }
    }
    // Writes are held within the restore's root, not each folder, so that one folder's files
    // are placed while the next folder's are copied.
    const std::wstring root = LongPath(item.root);
    if (confined_ != root) {
        PlacePending(outcome);
        fs_.ConfineWrites({root, versionsFolder_});
        confined_ = root;
    }
    // Without a record, the bytes kept are what they are.
    std::optional<ContentHash> expected = item.state.hash;
    if (!expected) {
        const std::optional<FileRead> read = fs_.ReadThrough(from);
        if (!read) {
            return fail(RestoreTrouble::Failed, fs_.LastError());
        }
        expected = read->hash;
    }
    const std::optional<FileEntry> there = TargetEntry(to);
    if (there && (there->link || there->folder)) {
        return fail(RestoreTrouble::Link);
    }
    if (there) {
        const std::optional<FileRead> read = fs_.ReadThrough(to);
        if (!read) {
            return fail(RestoreTrouble::NotKept, fs_.LastError());
        }
        if (read->hash == *expected && read->state.size == item.state.size) {
            ++outcome.same;
            return;
        }
        const std::wstring relative =
            PathInBackup(VersionSide::Pc, PlainPath(to), destination_, item.root);
        if (!versions.Keep(VersionSide::Pc, to, *there, item.state.size, relative,
                           VersionReason::Older)) {
            return fail(RestoreTrouble::NotKept, versions.LastError());
        }
    }
    std::unique_ptr<StagedCopy> staged =
        fs_.StageCopy(from, JoinPath(folder, PartialCopyName(LastSegment(to))), to);
    if (!staged) {
        return fail(RestoreTrouble::Failed, fs_.LastError());
    }
    if (staged->Source().hash != *expected) {
        return fail(RestoreTrouble::NotAsKept);
    }
    if (!there) {
        // Under a free name too, the bytes are on the disk before the name is taken: the
        // batch's are put there together.
        Pending pending{&item, std::move(staged), 0};
        if (!VolumeFlushes(item.target) && pending.staged->WorksOnAnyThread()) {
            if (!flusher_) {
                flusher_ = std::make_unique<CopyFlusher>(fs_);
            }
            pending.flush = ++flushes_;
            flusher_->Queue(pending.flush, std::move(pending.staged), CopyFlusher::Then::Place);
        }
        pendingBytes_ += item.state.size;
        pending_.push_back(std::move(pending));
        if (pending_.size() >= kBatchFiles || pendingBytes_ >= kBatchBytes) {
            PlacePending(outcome);
        }
        return;
    }
    const std::optional<FileState> placed = staged->Place(CopyPlacing::Replacing);
    if (!placed) {
        return fail(RestoreTrouble::Failed, fs_.LastError());
    }
    Restored(item, *placed, outcome);
}

bool Restorer::VolumeFlushes(const std::wstring& target) {
    const wchar_t drive = static_cast<wchar_t>(std::towupper(target.front()));
    auto known = volumeFlushes_.find(drive);
    if (known == volumeFlushes_.end()) {
        known = volumeFlushes_.emplace(drive, fs_.FlushVolume(target)).first;
    }
    return known->second;
}

void Restorer::PlacePending(RestoreOutcome& outcome) {
    if (pending_.empty()) {
        return;
    }
    CopyFlusher::Drained drained = flusher_ ? flusher_->Drain() : CopyFlusher::Drained{};
    // One flush of the volume, where it allows one (an administrator's), puts the whole batch on
    // the disk; elsewhere each copy is flushed through its own handle before it is named, on the
    // flusher's thread while the next were copied where it can be.
    const std::wstring& target = pending_.front().item->target;
    const bool volumeFlushed = VolumeFlushes(target) && fs_.FlushVolume(target);
    for (Pending& pending : pending_) {
        CopyFlusher::Placed placed;
        if (pending.flush != 0) {
            placed = drained.placed[pending.flush];
        } else {
            placed = CopyFlusher::Place(
                *pending.staged, volumeFlushed ? CopyPlacing::New : CopyPlacing::Durable, fs_);
            pending.staged.reset();
        }
        if (placed.state) {
            Restored(*pending.item, *placed.state, outcome);
        } else {
            outcome.problems.push_back(
                {pending.item->target, RestoreTrouble::Failed, placed.error});
        }
    }
    pending_.clear();
    pendingBytes_ = 0;
}

void Restorer::Restored(const RestoreItem& item, const FileState& placed, RestoreOutcome& outcome) {
    // The access inherited from the folder lets the person read and change the file whoever
    // owns it: an owner not set is named, and the file stays restored. With no person logged on
    // to be found, or no right to make them owner, no file of the run can be given: the rest
    // are named without asking again.
    if (noOwner_ != 0 || !fs_.GiveToThePerson(LongPath(item.target))) {
        const std::uint32_t error = noOwner_ != 0 ? noOwner_ : fs_.LastError();
        if (error == file_error::kNoSuchLogonSession || error == file_error::kNotAllAssigned) {
            noOwner_ = error;
        }
        outcome.notOwned.push_back({item.target, RestoreTrouble::NotOwned, error});
    }
    ++outcome.restored;
    outcome.written.emplace_back(item, placed);
}

void Restorer::Listing::Of(FileSystem& fs, const std::wstring& folder) {
    if (entries && listed == folder) {
        return;
    }
    listed = folder;
    std::optional<std::vector<FileEntry>> found = fs.List(folder);
    entries = found ? std::optional(ByFoldedName(std::move(*found))) : std::nullopt;
    error = found ? 0 : fs.LastError();
}

const FileEntry* Restorer::KeptEntry(const std::wstring& from, std::uint32_t& error) {
    kept_.Of(fs_, ParentOf(from));
    error = kept_.entries ? file_error::kFileNotFound : kept_.error;
    return kept_.entries ? Counterpart(*kept_.entries, LastSegment(from)) : nullptr;
}

std::optional<FileEntry> Restorer::TargetEntry(const std::wstring& to) {
    targets_.Of(fs_, ParentOf(to));
    // A name the folder's listing holds is looked at itself; any other is free, and a file put
    // there since makes the copy's placing fail, never overwrites it.
    if (targets_.entries && Counterpart(*targets_.entries, LastSegment(to)) == nullptr) {
        return std::nullopt;
    }
    return fs_.Inspect(to);
}

bool Restorer::PlainFolder(const std::wstring& folder) {
    if (plain_.contains(folder)) {
        return true;
    }
    const std::size_t root = RootLength(folder);
    if (root == 0) {
        // A path of no drive is checked whole each time.
        return PlainFolderPath(fs_, folder);
    }
    if (folder.size() <= root) {
        return true;
    }
    // Folder by folder from the drive's root down, each checked once.
    const std::wstring parent = ParentOf(folder);
    if (!PlainFolder(parent)) {
        return false;
    }
    std::optional<FileId> identity;
    switch (CheckFolderStep(fs_, folder, identity)) {
        case FolderStep::Missing:
            // Checked again once it is made.
            return true;
        case FolderStep::NotPlain:
            return false;
        case FolderStep::Plain:
            break;
    }
    // Each lies on the volume of the folder above it, the first on its drive's: a volume mounted
    // on a folder does not.
    const auto above = plain_.find(parent);
    if (above != plain_.end()) {
        if (identity->volume != above->second) {
            return false;
        }
    } else if (parent.size() > root) {
        // Made since the folder above was found missing.
        return false;
    } else if (!OnItsDrive(fs_, folder, *identity)) {
        return false;
    }
    plain_.emplace(folder, identity->volume);
    return true;
}

bool MarkRestored(Catalog& catalog, const std::wstring& destination,
                  const std::vector<std::wstring>& sources, const RestoreOutcome& outcome) {
    std::map<std::wstring, FolderRecords> folders;
    for (const auto& [item, placed] : outcome.written) {
        const std::wstring& root = item.root;
        const auto source = std::find_if(sources.begin(), sources.end(), [&](const auto& source) {
            return SameName(source, root);
        });
        if (source == sources.end()) {
            continue;
        }
        const std::wstring copy =
            JoinPath(destination, LastSegment(*source)) + item.target.substr(item.root.size());
        const std::wstring key = CatalogFolderKey(destination, ParentOf(copy));
        auto folder = folders.find(key);
        if (folder == folders.end()) {
            folder = folders.emplace(key, catalog.Folder(key)).first;
        }
        const auto record = folder->second.mine.find(FoldCase(LastSegment(copy)));
        if (record == folder->second.mine.end()) {
            continue;
        }
        CatalogRecord marked = record->second;
        if (marked.hash && marked.hash == item.state.hash) {
            marked.source = placed;
            marked.restored = false;
        } else {
            marked.restored = true;
        }
        catalog.Put(key, marked);
    }
    return catalog.Commit();
}

Restorer::Restorer(FileSystem& fs, const std::wstring& destination, std::int64_t now)
    : fs_(fs),
      destination_(destination),
      versionsFolder_(LongPath(JoinPath(destination, kVersionsFolderName))),
      now_(now) {}

RestoreOutcome Restorer::Run(const std::vector<RestoreItem>& items,
                             const std::atomic<bool>& cancel) {
    RestoreOutcome outcome;
    VersionStore versions(fs_, destination_, now_);
    std::uint64_t done = 0;
    std::uint64_t bytes = 0;
    for (const RestoreItem& item : items) {
        if (cancel.load()) {
            outcome.cancelled = true;
            break;
        }
        RestoreOne(item, versions, outcome);
        bytes += item.state.size;
        if (progress) {
            progress(++done, bytes);
        }
    }
    PlacePending(outcome);
    fs_.ConfineWrites({});
    confined_.clear();
    versions.Seal();
    return outcome;
}

}  // namespace bexlo
