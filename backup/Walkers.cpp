#include "backup/Walkers.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "backup/Pacing.h"
#include "backup/Versions.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

bool NotAnswering(std::uint32_t error) {
    using namespace file_error;
    return error == kNotReady || error == kDeviceGone || error == kMediaChanged ||
           error == kNoMedia || error == kDeviceNotConnected || error == kDeviceRemoved;
}

bool NameTaken(std::uint32_t error) {
    return error == file_error::kAlreadyExists || error == file_error::kFileExists;
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

bool BackupWalker::FitsDestination(const std::wstring& from, const FileEntry& entry,
                                   const std::wstring& toFolder) {
    if (fatDestination_ && entry.size >= kFatFileLimit && IsWithin(toFolder, target_)) {
        Fail(from, FailureReason::TooLargeForFat);
        return false;
    }
    return true;
}

int BackupWalker::CopyFileInto(const std::wstring& from, const FileEntry& entry,
                               const std::wstring& toFolder, const FileEntry* replacing) {
    return CopyOneFile(from, entry, toFolder, true, replacing);
}

int BackupWalker::CopyFileNewInto(const std::wstring& from, const FileEntry& entry,
                                  const std::wstring& toFolder) {
    return CopyOneFile(from, entry, toFolder, false);
}

int BackupWalker::CopyOneFile(const std::wstring& from, const FileEntry& entry,
                              const std::wstring& toFolder, bool replace,
                              const FileEntry* replacing) {
    if (!DevicePresent()) {
        return 0;
    }
    if (entry.link) {
        NameLink(from, entry);
        return GoOn();
    }
    if (entry.encrypted) {
        Fail(from, FailureReason::Encrypted);
        return GoOn();
    }
    if (!FitsDestination(from, entry, toFolder)) {
        return GoOn();
    }
    const std::wstring to = JoinPath(toFolder, entry.name);
    const std::wstring partial = JoinPath(toFolder, PartialCopyName(entry.name));
    std::optional<FileEntry> replaced;
    if (replace && (versions_ != nullptr || onlyNew_)) {
        replaced = replacing != nullptr ? std::optional(*replacing) : fs_.Find(to);
    }
    if (replaced && !replaced->folder && onlyNew_) {
        ++filesHeld_;
        return GoOn();
    }
    const bool kept = replaced && !replaced->folder && versions_ != nullptr;
    if (kept && !KeepVersion(from, entry.size, *replaced, toFolder, to)) {
        return GoOn();
    }
    // A backup copy kept by moving it away leaves its name free for the new one.
    const bool moved = kept && IsWithin(toFolder, target_);
    if (fs_.Copy(from, partial, to,
                 moved     ? CopyPlacing::Durable
                 : replace ? CopyPlacing::Replacing
                           : CopyPlacing::New)) {
        CountCopied(entry.size);
        return GoOn();
    }
    const std::uint32_t error = fs_.LastError();
    if (kept) {
        versions_->Undo();
    }
    if (replace || !NameTaken(error)) {
        Fail(from, FailureReason::Platform, error);
        return GoOn();
    }
    // The side that had none of it has one now, or had one that its listing missed.
    const std::optional<FileEntry> there = fs_.Find(to);
    if (!there || there->folder) {
        Fail(from, FailureReason::Platform, there ? error : fs_.LastError());
        return GoOn();
    }
    const int order = CompareWriteTimes(entry.lastWrite, there->lastWrite, fatDestination_);
    if (order > 0) {
        return CopyFileInto(from, entry, toFolder, &*there);
    }
    return order < 0 ? CopyFileInto(to, *there, ParentOf(from), &entry) : GoOn();
}

bool BackupWalker::KeepVersion(const std::wstring& from, std::uint64_t incoming,
                               const FileEntry& replaced, const std::wstring& toFolder,
                               const std::wstring& to) {
    const VersionSide side = IsWithin(toFolder, target_) ? VersionSide::Backup : VersionSide::Pc;
    if (versions_->Keep(side, to, replaced, incoming, PathInBackup(side, to, target_, item_),
                        syncing_ ? VersionReason::Older : VersionReason::Changed)) {
        return true;
    }
    Fail(from, FailureReason::Platform, versions_->LastError());
    return false;
}

int BackupWalker::CopyFolderInto(const std::wstring& from, const std::wstring& to) {
    const std::optional<FileId> id = fs_.Identity(from);
    if (LeadsIntoWalk(walking_, id)) {
        return 1;
    }
    if (!EnsureFolder(to)) {
        return GoOn();
    }
    const ChainLink source(walking_, id);
    const ChainLink copy(walking_, fs_.Identity(to));
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
    if (found->link) {
        NameLink(from, *found);
        return GoOn();
    }
    if (!EnsureFolderPath(toFolder)) {
        return GoOn();
    }
    return found->folder ? CopyFolderInto(from, JoinPath(toFolder, found->name))
                         : CopyFileNewInto(from, *found, toFolder);
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

bool BackupWalker::TakeSource(const std::wstring& source, const std::wstring& target) {
    target_ = LongPath(target);
    fatDestination_ = IsFatFileSystem(fs_.VolumeFileSystem(target_));
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
    return true;
}

int BackupWalker::CopyItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target)) {
        return GoOn();
    }
    const std::wstring& from = item_;
    const std::optional<FileEntry> found = fs_.Find(from);
    if (!found) {
        const std::uint32_t error = fs_.LastError();
        Missing(error) ? Fail(source, FailureReason::SourceMissing)
                       : Fail(source, FailureReason::Platform, error);
        return GoOn();
    }
    fs_.ConfineWrites({target_});
    const ChainLink destination(walking_, fs_.Identity(target_));
    const std::wstring folderTarget = JoinPath(target_, found->name);
    const std::optional<FileEntry> copy = fs_.Find(folderTarget);
    if (copy && copy->link) {
        NameLink(folderTarget, *copy);
        return GoOn();
    }
    if (!found->folder) {
        ++entriesTried_;
        if (UnchangedCopy(*found, copy ? &*copy : nullptr, lastCompleteRun_, fatDestination_)) {
            ++filesUnchanged_;
            return GoOn();
        }
        return EnsureFolderPath(target_)
                   ? CopyFileInto(from, *found, target_, copy ? &*copy : nullptr)
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
    const std::optional<FileId> id = fs_.Identity(sourceFolder);
    if (LeadsIntoWalk(walking_, id)) {
        return 1;
    }
    const ChainLink source(walking_, id);
    const ChainLink copy(walking_, fs_.Identity(targetFolder));
    return CopyTree(sourceFolder, targetFolder, false);
}

int BackupWalker::CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder,
                           bool fresh) {
    std::optional<std::vector<FileEntry>> entries = fs_.List(sourceFolder);
    if (!entries) {
        FailWithLastError(sourceFolder);
        return GoOn();
    }
    // The copies' folder is listed too: nothing is written through a link there, and Copy passes
    // over what is the same in it.
    std::optional<std::vector<FileEntry>> listed = fs_.List(targetFolder);
    if (!listed) {
        FailWithLastError(targetFolder);
        return GoOn();
    }
    RemoveLeftovers(sourceFolder, *entries);
    RemoveLeftovers(targetFolder, *listed);
    const std::map<std::wstring, FileEntry> copies = ByFoldedName(std::move(*listed));
    for (const FileEntry& entry : *entries) {
        const std::wstring path = JoinPath(sourceFolder, entry.name);
        // The pre-scan counts the source side only.
        entriesTried_ += IsWithin(targetFolder, target_) ? 1 : 0;
        const FileEntry* backup = Counterpart(copies, entry.name);
        if (NamedLinks(path, entry, JoinPath(targetFolder, entry.name), backup)) {
            continue;
        }
        if (!entry.folder && !fresh &&
            UnchangedCopy(entry, backup, lastCompleteRun_, fatDestination_)) {
            ++filesUnchanged_;
            continue;
        }
        if (!entry.folder) {
            const int copied = fresh ? CopyFileNewInto(path, entry, targetFolder)
                                     : CopyFileInto(path, entry, targetFolder, backup);
            if (!copied) {
                return 0;
            }
            continue;
        }
        const bool backupThere = backup != nullptr && backup->folder;
        if (backupThere && !fresh && PassedOver(path)) {
            continue;
        }
        const std::optional<FileId> id = fs_.Identity(path);
        if (LeadsIntoWalk(walking_, id)) {
            continue;
        }
        const std::wstring entryTarget = JoinPath(targetFolder, entry.name);
        if (!backupThere && !EnsureFolder(entryTarget)) {
            if (!GoOn()) {
                return 0;
            }
            continue;
        }
        const ChainLink source(walking_, id);
        const ChainLink copy(walking_, fs_.Identity(entryTarget));
        if (!CopyTree(path, entryTarget, fresh)) {
            return 0;
        }
    }
    return GoOn();
}

}  // namespace bexlo
