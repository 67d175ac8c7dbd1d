// What the walk does to one file and its backup copy once their verdict is known: copy one to the
// other, replace one with the other keeping what it held, or name why it did not.

#include <utility>

#include "backup/DamagedAside.h"
#include "backup/Versions.h"
#include "backup/Walkers.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

bool NameTaken(std::uint32_t error) {
    return error == file_error::kAlreadyExists || error == file_error::kFileExists;
}

}  // namespace

void BackupWalker::BeforeFirstCopy() {
    if (!std::exchange(copying_, true) && judge_.CatalogOfPress() != nullptr) {
        judge_.CatalogOfPress()->BeforeCopying();
    }
}

int BackupWalker::File(const FilePair& pair, const PairJudge::Folder& folder) {
    if (!DevicePresent()) {
        return 0;
    }
    return Act(pair, judge_.Judge(pair.a, pair.entryA, pair.b, pair.entryB, folder), folder, true);
}

int BackupWalker::Act(const FilePair& pair, const Judgement& judgement,
                      const PairJudge::Folder& folder, bool retry) {
    switch (judgement.verdict) {
        case Verdict::PassOver:
        case Verdict::Record:
        case Verdict::CheckSource:
        case Verdict::CheckCopy:
        case Verdict::Compare:
            ++filesUnchanged_;
            break;
        case Verdict::CopyNew:
            return CopyNew(pair, true, folder, std::nullopt, retry);
        case Verdict::CopyBack:
            // The backup copy stays the one first made then.
            return CopyNew(pair, false, folder, judgement.record, retry);
        case Verdict::Replace:
            return Replace(pair, true, judgement, folder);
        case Verdict::ReplaceSource:
            return Replace(pair, false, judgement, folder);
        case Verdict::Conflict:
            Fail(pair.a, FailureReason::Conflict);
            break;
        case Verdict::Encrypted:
            Fail(pair.entryA != nullptr && pair.entryA->encrypted ? pair.a : pair.b,
                 FailureReason::Encrypted);
            break;
        case Verdict::TooLargeForFat:
            Fail(pair.a, FailureReason::TooLargeForFat);
            break;
        case Verdict::Unreadable:
            Fail(judgement.unreadable, FailureReason::Platform, judgement.error);
            break;
    }
    return GoOn();
}

int BackupWalker::CopyNew(const FilePair& pair, bool toBackup, const PairJudge::Folder& folder,
                          const std::optional<CatalogRecord>& earlier, bool retry) {
    const std::wstring& from = toBackup ? pair.a : pair.b;
    const FileEntry& entry = toBackup ? *pair.entryA : *pair.entryB;
    const std::wstring& to = toBackup ? pair.b : pair.a;
    const std::wstring partial = JoinPath(ParentOf(to), PartialCopyName(entry.name));
    BeforeFirstCopy();
    std::unique_ptr<StagedCopy> staged = fs_.StageCopy(from, partial, to);
    const std::optional<FileState> placed = staged ? staged->Place(CopyPlacing::New) : std::nullopt;
    if (placed) {
        const FileRead read = staged->Source();
        Placed(pair, {read.state, *placed, read.hash}, toBackup, folder, earlier,
               std::move(staged));
        CountCopied(entry.size);
        return GoOn();
    }
    const std::uint32_t error = fs_.LastError();
    if (!retry || !NameTaken(error)) {
        Fail(from, FailureReason::Platform, error);
        return GoOn();
    }
    // The side that had none of it has one now, or had one that its listing missed: the pair is
    // judged as found, never overwritten blindly.
    const std::optional<FileEntry> there = FindWithChangeTime(fs_, to);
    if (!there || there->folder || there->link) {
        Fail(from, FailureReason::Platform, there ? error : fs_.LastError());
        return GoOn();
    }
    FilePair found = pair;
    (toBackup ? found.entryB : found.entryA) = &*there;
    return Act(found, judge_.Judge(found.a, found.entryA, found.b, found.entryB, folder), folder,
               false);
}

int BackupWalker::Replace(const FilePair& pair, bool toBackup, const Judgement& judgement,
                          const PairJudge::Folder& folder) {
    const std::wstring& from = toBackup ? pair.a : pair.b;
    const FileEntry& entry = toBackup ? *pair.entryA : *pair.entryB;
    const std::wstring& to = toBackup ? pair.b : pair.a;
    const FileEntry& replaced = toBackup ? *pair.entryB : *pair.entryA;
    if (onlyNew_) {
        held_.push_back(PlainPath(to));
        return GoOn();
    }
    const std::wstring partial = JoinPath(ParentOf(to), PartialCopyName(entry.name));
    BeforeFirstCopy();
    std::unique_ptr<StagedCopy> staged = fs_.StageCopy(from, partial, to);
    if (!staged) {
        Fail(from, FailureReason::Platform, fs_.LastError());
        return GoOn();
    }
    const FileRead read = staged->Source();
    const bool damaged = judgement.damagedCopy && toBackup;
    if (damaged && !PutDamagedAside(from, to)) {
        return GoOn();
    }
    // A file that holds what the copy holds loses nothing when it is replaced: no version.
    bool same = judgement.replacedHash && *judgement.replacedHash == read.hash;
    if (!damaged && !judgement.replacedHash && versions_ != nullptr &&
        replaced.size == read.state.size) {
        const std::optional<FileRead> old = fs_.ReadThrough(to);
        same = old && old->hash == read.hash;
    }
    const bool kept = !damaged && versions_ != nullptr && !same;
    if (kept && !KeepVersion(from, entry.size, replaced, to, judgement.record)) {
        return GoOn();
    }
    // A backup copy moved away leaves its name free for the new one.
    const std::optional<FileState> placed = staged->Place(
        (kept || damaged) && toBackup ? CopyPlacing::Durable : CopyPlacing::Replacing);
    if (!placed) {
        const std::uint32_t error = fs_.LastError();
        if (kept) {
            versions_->Undo();
        }
        Fail(from, FailureReason::Platform, error);
        return GoOn();
    }
    Placed(pair, {read.state, *placed, read.hash}, toBackup, folder, judgement.record,
           std::move(staged));
    CountCopied(entry.size);
    ++filesReplaced_;
    return GoOn();
}

bool BackupWalker::PutDamagedAside(const std::wstring& from, const std::wstring& to) {
    if (PutAsideDamaged(fs_, JoinPath(target_, kVersionsFolderName), to,
                        PathInBackup(VersionSide::Backup, to, target_, item_), judge_.Now())) {
        return true;
    }
    Fail(from, FailureReason::Platform, fs_.LastError());
    return false;
}

bool BackupWalker::KeepVersion(const std::wstring& from, std::uint64_t incoming,
                               const FileEntry& replaced, const std::wstring& to,
                               const std::optional<CatalogRecord>& record) {
    const VersionSide side = IsWithin(to, target_) ? VersionSide::Backup : VersionSide::Pc;
    if (versions_->Keep(side, to, replaced, incoming, PathInBackup(side, to, target_, item_),
                        syncing_ ? VersionReason::Older : VersionReason::Changed, record)) {
        return true;
    }
    // A version that does not fit fails this one file, which is left as it was; the walk goes on.
    const std::uint32_t error = versions_->LastError();
    const bool full = error == file_error::kDiskFull || error == file_error::kHandleDiskFull;
    Fail(from, full ? FailureReason::NoRoomForVersion : FailureReason::Platform, full ? 0 : error);
    return false;
}

void BackupWalker::Placed(const FilePair& pair, const CopyMade& made, bool toBackup,
                          const PairJudge::Folder& folder,
                          const std::optional<CatalogRecord>& earlier,
                          std::unique_ptr<StagedCopy> copy) {
    records_.Add(target_, folder.key,
                 judge_.RecordOfCopy(made, LastSegment(pair.b), toBackup, earlier), made.copy.size,
                 toBackup, std::move(copy));
    if (records_.Due()) {
        WriteRecords();
    }
}

}  // namespace bexlo
