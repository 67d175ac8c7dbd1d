// The Synchronize walk: both sides merged by last-write time, nothing deleted.

#include "backup/Walkers.h"

#include "framework/NameCase.h"
#include "treectrl/TreePath.h"

namespace bexlo {

int BackupWalker::SyncItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target)) {
        return GoOn();
    }
    const std::wstring& from = item_;
    const std::wstring name = LastSegment(from);
    const std::wstring parent = ParentOf(from);
    const std::wstring mirror = JoinPath(target_, name);
    const std::optional<FileEntry> found = fs_.Find(from);
    const std::uint32_t sourceError = found ? 0 : fs_.LastError();
    const std::optional<FileEntry> copy = fs_.Find(mirror);
    const std::uint32_t copyError = copy ? 0 : fs_.LastError();
    fs_.ConfineWrites({target_, (found ? found->folder : copy && copy->folder) ? from : parent});
    const ChainLink destination(walking_, fs_.Identity(target_));
    // A side that could not be looked at is not taken for a deleted one: a backup copy taken for
    // missing would be overwritten with the source, newer files in it included.
    if (!found && !Missing(sourceError)) {
        Fail(source, FailureReason::Platform, sourceError);
        return GoOn();
    }
    if (!copy && !Missing(copyError)) {
        Fail(mirror, FailureReason::Platform, copyError);
        return GoOn();
    }
    if (!found) {
        if (!copy) {
            Fail(source, FailureReason::SourceMissing);
            return GoOn();
        }
        return CopyEntry(mirror, parent);
    }
    entriesTried_ += found->folder ? 0 : 1;
    if (!copy) {
        return CopyEntry(from, target_);
    }
    if (copy->link) {
        NameLink(mirror, *copy);
        return GoOn();
    }
    if (found->folder) {
        return SyncFolder(from, mirror);
    }
    return NamedLinks(from, *found, mirror, &*copy) ? GoOn()
                                                    : MergeFile(from, *found, mirror, copy);
}

int BackupWalker::MergeFile(const std::wstring& a, const FileEntry& entryA, const std::wstring& b,
                            const std::optional<FileEntry>& entryB) {
    const int order =
        entryB ? CompareWriteTimes(entryA.lastWrite, entryB->lastWrite, fatDestination_) : 1;
    if (order > 0) {
        if (!EnsureFolderPath(ParentOf(b))) {
            return GoOn();
        }
        return entryB ? CopyFileInto(a, entryA, ParentOf(b), &*entryB)
                      : CopyFileNewInto(a, entryA, ParentOf(b));
    }
    if (order < 0) {
        // A newer destination copy replaces the source file.
        return CopyFileInto(b, *entryB, ParentOf(a), &entryA);
    }
    return GoOn();
}

int BackupWalker::SyncFolder(const std::wstring& a, const std::wstring& b) {
    if (!DevicePresent()) {
        return 0;
    }
    const std::optional<FileId> idA = fs_.Identity(a);
    if (LeadsIntoWalk(walking_, idA)) {
        return 1;
    }
    // Both sides are listed before anything is copied: a side that cannot be listed is a
    // failure of the folder, never taken for an empty one.
    std::optional<std::vector<FileEntry>> entriesA = fs_.List(a);
    if (!entriesA) {
        FailWithLastError(a);
        return GoOn();
    }
    RemoveLeftovers(a, *entriesA);
    std::optional<std::vector<FileEntry>> entriesB = fs_.List(b);
    if (!entriesB && Missing(fs_.LastError())) {
        if (!EnsureFolder(b)) {
            return GoOn();
        }
        entriesB.emplace();
    }
    if (!entriesB) {
        FailWithLastError(b);
        return GoOn();
    }
    RemoveLeftovers(b, *entriesB);
    const ChainLink sourceSide(walking_, idA);
    const ChainLink copySide(walking_, fs_.Identity(b));

    // Names compare without case, as the platform's do.
    std::map<std::wstring, const FileEntry*> namesB;
    for (const FileEntry& entry : *entriesB) {
        namesB.emplace(FoldCase(entry.name), &entry);
    }
    for (const FileEntry& entry : *entriesA) {
        const std::wstring path = JoinPath(a, entry.name);
        const std::wstring entryB = JoinPath(b, entry.name);
        const auto counterpart = namesB.find(FoldCase(entry.name));
        const bool inB = counterpart != namesB.end();
        ++entriesTried_;
        int result = 0;
        if (NamedLinks(path, entry, entryB, inB ? counterpart->second : nullptr)) {
            result = GoOn();
        } else if (entry.folder) {
            result = SyncFolder(path, entryB);
        } else {
            result = MergeFile(path, entry, entryB,
                               inB ? std::optional<FileEntry>(*counterpart->second) : std::nullopt);
        }
        if (inB) {
            namesB.erase(counterpart);
        }
        if (result == 0) {
            return 0;
        }
    }
    // Whatever exists only in the backup is copied back; an emptied source folder is refilled.
    for (const auto& [name, entry] : namesB) {
        if (!CopyEntry(JoinPath(b, entry->name), a)) {
            return 0;
        }
    }
    return GoOn();
}

}  // namespace bexlo
