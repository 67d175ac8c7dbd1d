#include "backup/Walkers.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "backup/Pacing.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

bool NotAnswering(std::uint32_t error) {
    using namespace file_error;
    return error == kNotReady || error == kDeviceGone || error == kMediaChanged ||
           error == kNoMedia || error == kDeviceNotConnected || error == kDeviceRemoved;
}

}  // namespace

// Lifts the rule on where copies go at the end of an item, and with it the folders its checks
// hold open.
class BackupWalker::Confinement {
public:
    explicit Confinement(FileSystem& fs) : fs_(fs) {}
    ~Confinement() { fs_.ConfineWrites({}); }
    Confinement(const Confinement&) = delete;
    Confinement& operator=(const Confinement&) = delete;

private:
    FileSystem& fs_;
};

int BackupWalker::GoOn() const {
    return stopped_ || !DevicePresent() ? 0 : 1;
}

void BackupWalker::Fail(const std::wstring& path, FailureReason reason, std::uint32_t error) {
    if (error == file_error::kFileEncrypted) {
        reason = FailureReason::Encrypted;
    }
    if (DestinationGone(error)) {
        return;
    }
    failures_.push_back({PlainPath(path), reason, error});
    if (error == file_error::kDiskFull || error == file_error::kHandleDiskFull) {
        stopped_ = true;
    }
}

// A copy that failed because the destination folder went, or its volume stopped answering, makes
// every later one fail too: the run names the destination once instead.
bool BackupWalker::DestinationGone(std::uint32_t error) {
    if (!(Missing(error) || NotAnswering(error)) || target_.empty() || fs_.Identity(target_)) {
        return false;
    }
    if (!stopped_) {
        failures_.push_back({PlainPath(target_), FailureReason::DestinationGone, error});
    }
    stopped_ = true;
    return true;
}

void BackupWalker::FailWithLastError(const std::wstring& path) {
    Fail(path, FailureReason::Platform, fs_.LastError());
}

void BackupWalker::NameLink(const std::wstring& path, const FileEntry& entry) {
    const bool destinationSide = IsWithin(FoldCase(path), FoldCase(target_));
    const bool compatibility = entry.folder && entry.hidden && entry.system && !destinationSide;
    if (!compatibility) {
        Fail(path, FailureReason::Link);
    }
}

bool BackupWalker::NamedLinks(const std::wstring& a, const FileEntry& entryA, const std::wstring& b,
                              const FileEntry* entryB) {
    const bool linkB = entryB != nullptr && entryB->link;
    if (entryA.link) {
        NameLink(a, entryA);
    }
    if (linkB) {
        NameLink(b, *entryB);
    }
    return entryA.link || linkB;
}

void BackupWalker::RemoveLeftovers(const std::wstring& folder, std::vector<FileEntry>& entries) {
    std::erase_if(entries, [&](const FileEntry& entry) {
        if (!IsLeftover(entry)) {
            return false;
        }
        fs_.RemoveFile(JoinPath(folder, entry.name));
        return true;
    });
}

bool BackupWalker::EnsureFolder(const std::wstring& path) {
    if (fs_.CreateFolder(path) || fs_.LastError() == file_error::kAlreadyExists) {
        return true;
    }
    FailWithLastError(path);
    return false;
}

bool BackupWalker::EnsureFolderPath(const std::wstring& path) {
    if (RootLength(path) == path.size() || fs_.Identity(path)) {
        return true;
    }
    CreateFolderPath(fs_, path);
    if (fs_.Identity(path)) {
        return true;
    }
    FailWithLastError(path);
    return false;
}

void BackupWalker::CountCopied(std::uint64_t size) {
    ++filesCopied_;
    copiedBytes_ += size;
    if (totalBytes_ == 0) {
        return;
    }
    progress_.Copied(copiedBytes_);
    if (AheadOfCopiedBytes(copiedBytes_, totalBytes_, progress_.BarPosition())) {
        progress_.SlowDown();
    }
}

bool BackupWalker::WriteRecords() {
    if (records_.Write(target_)) {
        return true;
    }
    const bool named = std::any_of(failures_.begin(), failures_.end(), [](const CopyFailure& f) {
        return f.reason == FailureReason::NotOnDisk;
    });
    if (!named) {
        failures_.push_back({PlainPath(target_), FailureReason::NotOnDisk, 0});
    }
    return false;
}

int BackupWalker::CopyFolderInto(const std::wstring& from, const std::wstring& to) {
    WalkChain::Place place = walking_.Find(from);
    if (walking_.Inside(place)) {
        return 1;
    }
    if (!EnsureFolder(to)) {
        return GoOn();
    }
    const WalkChain::Link source(walking_, std::move(place));
    const WalkChain::Link copy(walking_, walking_.Find(to));
    return CopyTree(from, to, true);
}

int BackupWalker::CopyEntry(const std::wstring& from, const std::wstring& toFolder) {
    if (!DevicePresent()) {
        return 0;
    }
    const std::optional<FileEntry> found = fs_.Find(from);
    if (!found) {
        FailWithLastError(from);
        return GoOn();
    }
    // The saved folder itself was checked against where it led when it was saved.
    if (found->link && !(found->folder && from == item_)) {
        NameLink(from, *found);
        return GoOn();
    }
    if (!EnsureFolderPath(toFolder)) {
        return GoOn();
    }
    const std::wstring to = JoinPath(toFolder, found->name);
    if (found->folder) {
        return CopyFolderInto(from, to);
    }
    const bool toBackup = IsWithin(toFolder, target_);
    const FilePair pair =
        toBackup ? FilePair{from, &*found, to, nullptr} : FilePair{to, nullptr, from, &*found};
    return File(pair, judge_.Records(target_, toBackup ? toFolder : ParentOf(from)));
}

// A pull while only folders were made or sources looked for fails no step by itself: the item
// fails when the enclosure has gone by its end.
int BackupWalker::CopyItem(const std::wstring& source, const std::wstring& target) {
    const Confinement confinement(fs_);
    syncing_ = false;
    return CopyItemSteps(source, target) && DevicePresent() ? 1 : 0;
}

int BackupWalker::SyncItem(const std::wstring& source, const std::wstring& target) {
    const Confinement confinement(fs_);
    syncing_ = true;
    return SyncItemSteps(source, target) && DevicePresent() ? 1 : 0;
}

bool BackupWalker::TakeSource(const std::wstring& source, const std::wstring& target,
                              bool synchronize) {
    target_ = LongPath(target);
    switch (sources_.Take(source, target)) {
        case SourceRefusal::Unusable:
            Fail(source, SourceOverlapsTarget(source, target) ? FailureReason::SourceOverlaps
                                                              : FailureReason::SourceMissing);
            return false;
        case SourceRefusal::VersionsFolder:
            Fail(source, FailureReason::VersionsFolder);
            return false;
        case SourceRefusal::SameName:
            Fail(source, FailureReason::SameName);
            return false;
        case SourceRefusal::None:
            break;
    }
    item_ = LongPath(source);
    judge_.Item(synchronize, item_, target_);
    return true;
}

int BackupWalker::CopyItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target, false)) {
        return GoOn();
    }
    const std::wstring& from = item_;
    const std::optional<FileEntry> found = FindWithChangeTime(fs_, from);
    if (!found) {
        const std::uint32_t error = fs_.LastError();
        Missing(error) ? Fail(source, FailureReason::SourceMissing)
                       : Fail(source, FailureReason::Platform, error);
        return GoOn();
    }
    fs_.ConfineWrites({target_});
    const WalkChain::Link destination(walking_, walking_.Find(target_));
    const std::wstring folderTarget = JoinPath(target_, found->name);
    const std::optional<FileEntry> copy = FindWithChangeTime(fs_, folderTarget);
    if (copy && copy->link) {
        NameLink(folderTarget, *copy);
        return GoOn();
    }
    if (!found->folder) {
        ++entriesTried_;
        if (found->link) {
            NameLink(from, *found);
            return GoOn();
        }
        if (copy && copy->folder) {
            Fail(from, FailureReason::Platform, file_error::kAccessDenied);
            return GoOn();
        }
        return EnsureFolderPath(target_)
                   ? File({from, &*found, folderTarget, copy ? &*copy : nullptr},
                          judge_.Records(target_, target_))
                   : GoOn();
    }
    if (PassedOver(from)) {
        return GoOn();
    }
    if (!fs_.Identity(folderTarget) && !EnsureFolder(folderTarget)) {
        return GoOn();
    }
    return CopyFolderTree(from, folderTarget);
}

bool BackupWalker::PassedOver(const std::wstring& sourceFolder) {
    const auto found = unchanged_.find(sourceFolder);
    if (found == unchanged_.end()) {
        return false;
    }
    entriesTried_ += found->second.entries;
    filesUnchanged_ += found->second.files;
    return true;
}

int BackupWalker::CopyFolderTree(const std::wstring& sourceFolder,
                                 const std::wstring& targetFolder) {
    WalkChain::Place place = walking_.Find(sourceFolder);
    if (walking_.Inside(place)) {
        return 1;
    }
    const WalkChain::Link source(walking_, std::move(place));
    const WalkChain::Link copy(walking_, walking_.Find(targetFolder));
    return CopyTree(sourceFolder, targetFolder, false);
}

int BackupWalker::CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder,
                           bool fresh) {
    std::optional<std::vector<FileEntry>> entries = fs_.List(sourceFolder);
    if (!entries) {
        FailWithLastError(sourceFolder);
        return GoOn();
    }
    // The copies' folder is listed too: nothing is written through a link there, and what is the
    // same in it is passed over.
    std::optional<std::vector<FileEntry>> listed = fs_.List(targetFolder);
    if (!listed) {
        FailWithLastError(targetFolder);
        return GoOn();
    }
    // Leftovers are removed only on the side this copy writes: a source is never written in Copy.
    std::erase_if(*entries, IsLeftover);
    RemoveLeftovers(targetFolder, *listed);
    const std::map<std::wstring, FileEntry> copies = ByFoldedName(std::move(*listed));
    // A whole folder copied back from the backup runs the other way.
    const bool toBackup = IsWithin(targetFolder, target_);
    const std::wstring& backupFolder = toBackup ? targetFolder : sourceFolder;
    const PairJudge::Folder folder =
        fresh && toBackup ? PairJudge::Folder{CatalogFolderKey(target_, backupFolder), {}}
                          : judge_.Records(target_, backupFolder);
    for (const FileEntry& entry : *entries) {
        const std::wstring path = JoinPath(sourceFolder, entry.name);
        const std::wstring entryTarget = JoinPath(targetFolder, entry.name);
        // The counting pass counts the source side only.
        entriesTried_ += toBackup ? 1 : 0;
        const FileEntry* backup = Counterpart(copies, entry.name);
        if (NamedLinks(path, entry, entryTarget, backup)) {
            continue;
        }
        if (!entry.folder) {
            if (backup != nullptr && backup->folder) {
                Fail(path, FailureReason::Platform, file_error::kAccessDenied);
                continue;
            }
            const FilePair pair = toBackup ? FilePair{path, &entry, entryTarget, backup}
                                           : FilePair{entryTarget, backup, path, &entry};
            if (!File(pair, folder)) {
                return 0;
            }
            continue;
        }
        const bool backupThere = backup != nullptr && backup->folder;
        if (backupThere && !fresh && PassedOver(path)) {
            continue;
        }
        WalkChain::Place place = walking_.Find(path);
        if (walking_.Inside(place)) {
            continue;
        }
        if (!backupThere && !EnsureFolder(entryTarget)) {
            if (!GoOn()) {
                return 0;
            }
            continue;
        }
        const WalkChain::Link source(walking_, std::move(place));
        const WalkChain::Link copy(walking_, walking_.Find(entryTarget));
        if (!CopyTree(path, entryTarget, fresh || !backupThere)) {
            return 0;
        }
    }
    return GoOn();
}

}  // namespace bexlo
