// The Synchronize walk: both sides merged by last-write time, nothing deleted.

#include "backup/Walkers.h"

#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

int BackupWalker::SyncItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target, true)) {
        return GoOn();
    }
    const std::wstring& from = item_;
    const std::wstring name = LastSegment(from);
    const std::wstring parent = ParentOf(from);
    const std::wstring mirror = JoinPath(target_, name);
    std::optional<FileEntry> found = FindWithChangeTime(fs_, from);
    // A saved folder that is a link was checked against where it led when it was saved.
    if (found && found->folder) {
        found->link = false;
    }
    const std::uint32_t sourceError = found ? 0 : fs_.LastError();
    const std::optional<FileEntry> copy = FindWithChangeTime(fs_, mirror);
    const std::uint32_t copyError = copy ? 0 : fs_.LastError();
    fs_.ConfineWrites({target_, (found ? found->folder : copy && copy->folder) ? from : parent});
    const WalkChain::Link destination(walking_, walking_.Find(target_));
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
        return PassedOver(from) ? GoOn() : SyncFolder(from, mirror);
    }
    if (NamedLinks(from, *found, mirror, &*copy)) {
        return GoOn();
    }
    if (copy->folder) {
        Fail(from, FailureReason::Platform, file_error::kAccessDenied);
        return GoOn();
    }
    return File({from, &*found, mirror, &*copy}, judge_.Records(target_, target_));
}

int BackupWalker::SyncFolder(const std::wstring& a, const std::wstring& b) {
    if (!DevicePresent()) {
        return 0;
    }
    WalkChain::Place placeA = walking_.Find(a);
    if (walking_.Inside(placeA)) {
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
    const WalkChain::Link sourceSide(walking_, std::move(placeA));
    const WalkChain::Link copySide(walking_, walking_.Find(b));
    const PairJudge::Folder folder = judge_.Records(target_, b);

    // Names compare without case, as the platform's do.
    std::map<std::wstring, const FileEntry*> namesB;
    for (const FileEntry& entry : *entriesB) {
        namesB.emplace(FoldCase(entry.name), &entry);
    }
    for (const FileEntry& entry : *entriesA) {
        const std::wstring path = JoinPath(a, entry.name);
        const std::wstring entryB = JoinPath(b, entry.name);
        const auto counterpart = namesB.find(FoldCase(entry.name));
        const FileEntry* there = counterpart != namesB.end() ? counterpart->second : nullptr;
        ++entriesTried_;
        int result = GoOn();
        if (!NamedLinks(path, entry, entryB, there)) {
            if (entry.folder) {
                const bool same = there != nullptr && there->folder && PassedOver(path);
                result = same ? GoOn() : SyncFolder(path, entryB);
            } else if (there != nullptr && there->folder) {
                Fail(path, FailureReason::Platform, file_error::kAccessDenied);
            } else {
                result = File({path, &entry, entryB, there}, folder);
            }
        }
        if (there != nullptr) {
            namesB.erase(counterpart);
        }
        if (result == 0) {
            return 0;
        }
    }
    // Whatever exists only in the backup is copied back; an emptied source folder is refilled.
    for (const auto& [name, entry] : namesB) {
        const std::wstring path = JoinPath(b, entry->name);
        const int result = entry->folder || entry->link
                               ? CopyEntry(path, a)
                               : File({JoinPath(a, entry->name), nullptr, path, entry}, folder);
        if (!result) {
            return 0;
        }
    }
    return GoOn();
}

}  // namespace bexlo
