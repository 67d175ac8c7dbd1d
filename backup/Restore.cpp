#include "backup/Restore.h"

#include <algorithm>
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
    const std::optional<FileEntry> kept = fs_.Inspect(from);
    if (!kept || kept->link || kept->folder) {
        return fail(kept ? RestoreTrouble::Link : RestoreTrouble::Failed, fs_.LastError());
    }
    if (!PlainFolder(folder)) {
        return fail(RestoreTrouble::Link);
    }
    if (!fs_.Find(folder)) {
        CreateFolderPath(fs_, folder);
        plain_.erase(folder);
        if (!PlainFolder(folder)) {
            return fail(RestoreTrouble::Link);
        }
    }
    if (confined_ != folder) {
        fs_.ConfineWrites({folder, versionsFolder_});
        confined_ = folder;
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
    const std::optional<FileEntry> there = fs_.Inspect(to);
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
    const std::unique_ptr<StagedCopy> staged =
        fs_.StageCopy(from, JoinPath(folder, PartialCopyName(LastSegment(to))), to);
    if (!staged) {
        return fail(RestoreTrouble::Failed, fs_.LastError());
    }
    if (staged->Source().hash != *expected) {
        return fail(RestoreTrouble::NotAsKept);
    }
    // Under a free name too, the bytes are on the disk before the name is taken.
    const std::optional<FileState> placed =
        staged->Place(there ? CopyPlacing::Replacing : CopyPlacing::Durable);
    if (!placed) {
        return fail(RestoreTrouble::Failed, fs_.LastError());
    }
    // The access inherited from the folder lets the person read and change the file whoever
    // owns it: an owner not set is named, and the file stays restored.
    if (!fs_.GiveToThePerson(to)) {
        outcome.notOwned.push_back({item.target, RestoreTrouble::NotOwned, fs_.LastError()});
    }
    ++outcome.restored;
    outcome.written.emplace_back(item, *placed);
}

bool Restorer::PlainFolder(const std::wstring& folder) {
    if (plain_.contains(folder)) {
        return true;
    }
    if (!PlainFolderPath(fs_, folder)) {
        return false;
    }
    // A folder not made yet is checked again once it is.
    if (fs_.Find(folder)) {
        plain_.insert(folder);
    }
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
    fs_.ConfineWrites({});
    confined_.clear();
    versions.Seal();
    return outcome;
}

}  // namespace bexlo
