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

constexpr std::uint64_t kTimeToleranceTicks = 2 * 10'000'000;
constexpr std::uint64_t kHourTicks = 3600ULL * 10'000'000;

constexpr std::wstring_view kPartialMark = L".bexlo-";
constexpr std::wstring_view kPartialEnd = L".partial";
constexpr std::size_t kCheckDigits = 16;
// The longest name the file systems keep.
constexpr std::size_t kNameLimit = 255;

// A keyed hash: a person who names a file never writes the digits it gives by chance.
std::uint64_t PartialCheck(std::wstring_view prefix) {
    std::uint64_t hash = 0x42'65'78'6C'6F'2D'70'61;
    for (const wchar_t c : prefix) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 0x100000001B3;
    }
    hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCD;
    hash = (hash ^ (hash >> 33)) * 0xC4CEB3FE1A85EC53;
    return hash ^ (hash >> 33);
}

std::wstring CheckDigits(std::uint64_t check) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits(kCheckDigits, L'0');
    for (std::size_t i = kCheckDigits; i-- > 0; check >>= 4) {
        digits[i] = kDigits[check & 0xF];
    }
    return digits;
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    return RootLength(path.substr(0, slash + 1)) == slash + 1 ? path.substr(0, slash + 1)
                                                              : path.substr(0, slash);
}

bool Missing(std::uint32_t error) {
    return error == file_error::kFileNotFound || error == file_error::kPathNotFound;
}

bool NotAnswering(std::uint32_t error) {
    using namespace file_error;
    return error == kNotReady || error == kDeviceGone || error == kMediaChanged ||
           error == kNoMedia || error == kDeviceNotConnected || error == kDeviceRemoved;
}

bool NameTaken(std::uint32_t error) {
    return error == file_error::kAlreadyExists || error == file_error::kFileExists;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// `inner` is `outer` or lies below it.
bool IsWithin(const std::wstring& inner, const std::wstring& outer) {
    return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           (inner.size() == outer.size() || inner[outer.size()] == L'\\');
}

bool IsFullPath(const std::wstring& path) {
    const bool drive =
        path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return drive || (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\');
}

// No "." or ".." segment, no '/' (a second separator) and no ':' past the drive (a stream).
bool HasPlainSegments(const std::wstring& path) {
    if (path.find(L'/') != std::wstring::npos || path.find(L':', 2) != std::wstring::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring_view segment = std::wstring_view(path).substr(start, end - start);
        if (segment == L"." || segment == L"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

std::wstring PartialCopyName(const std::wstring& name) {
    constexpr std::size_t kLongest =
        kNameLimit - kPartialMark.size() - kCheckDigits - kPartialEnd.size();
    std::wstring prefix = name.substr(0, kLongest);
    // A cut between the two halves of a surrogate pair would leave half a letter.
    if (prefix.size() < name.size() && !prefix.empty() && prefix.back() >= 0xD800 &&
        prefix.back() <= 0xDBFF) {
        prefix.pop_back();
    }
    return prefix + std::wstring(kPartialMark) + CheckDigits(PartialCheck(prefix)) +
           std::wstring(kPartialEnd);
}

bool IsPartialCopyName(const std::wstring& name) {
    const std::wstring_view view = name;
    constexpr std::size_t kTail = kPartialMark.size() + kCheckDigits + kPartialEnd.size();
    if (view.size() <= kTail || !view.ends_with(kPartialEnd)) {
        return false;
    }
    const std::wstring_view prefix = view.substr(0, view.size() - kTail);
    return view.substr(prefix.size(), kPartialMark.size()) == kPartialMark &&
           view.substr(prefix.size() + kPartialMark.size(), kCheckDigits) ==
               CheckDigits(PartialCheck(prefix));
}

std::wstring LastSegment(const std::wstring& path) {
    return path.substr(path.rfind(L'\\') + 1);
}

bool IsLeftover(const FileEntry& entry) {
    return !entry.folder && IsPartialCopyName(entry.name);
}

const FileEntry* Counterpart(const std::map<std::wstring, FileEntry>& entries,
                             const std::wstring& name) {
    const auto found = entries.find(FoldCase(name));
    return found != entries.end() ? &found->second : nullptr;
}

bool IsUsableSource(const std::wstring& source, const std::wstring& target) {
    if (!IsFullPath(source) || source.back() == L'\\' || !HasPlainSegments(source)) {
        return false;
    }
    return !SourceOverlapsTarget(source, target);
}

bool SourceOverlapsTarget(const std::wstring& source, const std::wstring& target) {
    const std::wstring from = FoldCase(WithoutTrailingSlash(source));
    const std::wstring to = FoldCase(WithoutTrailingSlash(target));
    return IsWithin(from, to) || IsWithin(to, from);
}

int CompareWriteTimes(std::int64_t a, std::int64_t b, bool fatVolume) {
    // The distance is taken unsigned: it may not fit a signed 64-bit integer.
    const auto distance = a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
    if (distance < kTimeToleranceTicks) {
        return 0;
    }
    // FAT keeps local times, which a daylight-saving change shifts by an hour.
    if (fatVolume && distance + kTimeToleranceTicks > kHourTicks &&
        distance < kHourTicks + kTimeToleranceTicks) {
        return 0;
    }
    return a > b ? 1 : -1;
}

bool IsFatFileSystem(const std::wstring& name) {
    const std::wstring upper = FoldCase(name);
    return upper == L"FAT" || upper == L"FAT12" || upper == L"FAT16" || upper == L"FAT32";
}

bool UnchangedCopy(const FileEntry& source, const FileEntry* copy, std::int64_t lastCompleteRun,
                   bool fatDestination) {
    if (copy == nullptr || copy->folder || copy->size != source.size ||
        CompareWriteTimes(source.lastWrite, copy->lastWrite, fatDestination) != 0) {
        return false;
    }
    return source.changeTime == 0 || (lastCompleteRun != 0 && source.changeTime < lastCompleteRun);
}

int CreateFolderPath(FileSystem& fs, const std::wstring& path) {
    if (fs.CreateFolder(path)) {
        return 1;
    }
    const std::size_t slash = path.rfind(L'\\');
    const std::size_t root = RootLength(path);
    if (slash == std::wstring::npos || slash < std::max<std::size_t>(root, 3)) {
        return 0;
    }
    CreateFolderPath(fs, path.substr(0, slash));
    fs.CreateFolder(path);
    return 1;
}

// Keeps a folder on the walk while the walker is inside it.
class BackupWalker::ChainLink {
public:
    ChainLink(std::vector<FileId>& walking, const std::optional<FileId>& id)
        : walking_(walking), linked_(id.has_value()) {
        if (linked_) {
            walking_.push_back(*id);
        }
    }
    ~ChainLink() {
        if (linked_) {
            walking_.pop_back();
        }
    }
    ChainLink(const ChainLink&) = delete;
    ChainLink& operator=(const ChainLink&) = delete;

private:
    std::vector<FileId>& walking_;
    bool linked_;
};

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

bool BackupWalker::LeadsIntoWalk(const std::optional<FileId>& id) const {
    return id && std::find(walking_.begin(), walking_.end(), *id) != walking_.end();
}

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

bool BackupWalker::MirrorIsLink(const std::wstring& mirror) {
    const std::optional<FileEntry> found = fs_.Find(mirror);
    if (found && found->link) {
        NameLink(mirror, *found);
        return true;
    }
    return false;
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
    if (moved     ? fs_.CopyFileDurable(from, partial, to)
        : replace ? fs_.CopyFileReplacing(from, partial, to)
                  : fs_.CopyFileNew(from, partial, to)) {
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
    const bool backupSide = IsWithin(toFolder, target_);
    const std::wstring relative =
        backupSide
            ? to.substr(std::min(to.size(), target_.size() + (target_.back() == L'\\' ? 0 : 1)))
            : LastSegment(item_) + to.substr(std::min(to.size(), item_.size()));
    if (versions_->Keep(backupSide ? VersionSide::Backup : VersionSide::Pc, to, replaced, incoming,
                        relative, syncing_ ? VersionReason::Older : VersionReason::Changed)) {
        return true;
    }
    Fail(from, FailureReason::Platform, versions_->LastError());
    return false;
}

int BackupWalker::CopyFolderInto(const std::wstring& from, const std::wstring& to) {
    const std::optional<FileId> id = fs_.Identity(from);
    if (LeadsIntoWalk(id)) {
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
    if (!IsUsableSource(source, target)) {
        Fail(source, SourceOverlapsTarget(source, target) ? FailureReason::SourceOverlaps
                                                          : FailureReason::SourceMissing);
        return false;
    }
    if (IsVersionsFolderName(LastSegment(source))) {
        Fail(source, FailureReason::VersionsFolder);
        return false;
    }
    item_ = LongPath(source);
    // Two sources of one name would share one backup folder: the first saved keeps it.
    const std::wstring name = FoldCase(LastSegment(source));
    if (std::find(takenNames_.begin(), takenNames_.end(), name) != takenNames_.end()) {
        Fail(source, FailureReason::SameName);
        return false;
    }
    takenNames_.push_back(name);
    return true;
}

int BackupWalker::CopyItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target)) {
        return GoOn();
    }
    const std::wstring from = LongPath(source);
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
    if (MirrorIsLink(folderTarget)) {
        return GoOn();
    }
    if (!found->folder) {
        ++entriesTried_;
        const std::optional<FileEntry> copy = fs_.Find(folderTarget);
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
    if (LeadsIntoWalk(id)) {
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
    std::map<std::wstring, FileEntry> copies;
    for (FileEntry& copy : *listed) {
        std::wstring name = FoldCase(copy.name);
        copies.emplace(std::move(name), std::move(copy));
    }
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
        if (LeadsIntoWalk(id)) {
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

int BackupWalker::SyncItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!TakeSource(source, target)) {
        return GoOn();
    }
    const std::wstring from = LongPath(source);
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
    return found->folder ? SyncFolder(from, mirror) : SyncFile(from, mirror);
}

int BackupWalker::SyncFile(const std::wstring& a, const std::wstring& b) {
    if (!DevicePresent()) {
        return 0;
    }
    const std::optional<FileEntry> foundA = fs_.Find(a);
    if (!foundA) {
        FailWithLastError(a);
        return GoOn();
    }
    const std::optional<FileEntry> foundB = fs_.Find(b);
    if (!foundB && !Missing(fs_.LastError())) {
        FailWithLastError(b);
        return GoOn();
    }
    if (NamedLinks(a, *foundA, b, foundB ? &*foundB : nullptr)) {
        return GoOn();
    }
    return MergeFile(a, *foundA, b, foundB);
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
    if (LeadsIntoWalk(idA)) {
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
