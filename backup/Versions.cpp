#include "backup/Versions.h"

#include <algorithm>
#include <utility>

#include "backup/PathList.h"
#include "backup/Utf16Text.h"
#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

// An index is small; anything past this is no index of ours.
// A disk another program prepared must neither exhaust the 32-bit program's memory nor stall
// every press: the newest press folders are read, up to these bounds, and the rest left alone.
constexpr std::size_t kIndexReadLimit = 32 << 20;
constexpr std::uint64_t kIndexBytesRead = 96 << 20;
constexpr std::size_t kPressFoldersRead = 10000;

std::wstring VersionFile(VersionSide side, const std::wstring& original) {
    return (side == VersionSide::Pc ? L"P" : L"B") + FoldCase(original);
}

}  // namespace

std::optional<std::wstring> EarlierVersionsFolder(FileSystem& fs) {
    const std::optional<std::vector<std::uint8_t>> bytes =
        fs.ReadFileBytes(PathListFile(), kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status != PathListRead::Status::Usable || list.target.empty()) {
        return std::nullopt;
    }
    const std::wstring folder = JoinPath(LongPath(list.target), kVersionsFolderName);
    const std::optional<FileEntry> found = fs.Find(folder);
    if (!found || !found->folder || found->link) {
        return std::nullopt;
    }
    return PlainPath(folder);
}

bool IsVersionsFolderName(std::wstring_view name) {
    return SameName(name, kVersionsFolderName);
}

VersionStore::VersionStore(FileSystem& fs, const std::wstring& destination, std::int64_t now)
    : fs_(fs),
      destination_(LongPath(destination)),
      versionsFolder_(JoinPath(destination_, kVersionsFolderName)),
      now_(now),
      pressName_(PressFolderName(now)) {}

bool VersionStore::Fail(std::uint32_t error) {
    error_ = error;
    return false;
}

std::wstring VersionStore::StoredPath(const std::wstring& press, const std::wstring& stored) const {
    return versionsFolder_ + L'\\' + press + L'\\' + stored;
}

std::uint64_t VersionStore::PresentBytes() const {
    std::uint64_t bytes = 0;
    for (const Version& version : versions_) {
        bytes += version.present ? version.record.size : 0;
    }
    return bytes;
}

void VersionStore::Load() {
    if (std::exchange(loaded_, true)) {
        return;
    }
    const std::optional<FileEntry> folder = fs_.Find(versionsFolder_);
    if (folder && (folder->link || !folder->folder)) {
        usable_ = false;
        return;
    }
    std::vector<FileEntry> presses = fs_.List(versionsFolder_).value_or(std::vector<FileEntry>{});
    std::erase_if(presses, [](const FileEntry& press) { return !press.folder || press.link; });
    // Named by their UTC times: the newest first.
    std::sort(presses.begin(), presses.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.name > b.name; });
    presses.resize(std::min(presses.size(), kPressFoldersRead));
    std::uint64_t indexBytes = 0;
    for (const FileEntry& press : presses) {
        const std::wstring pressPath = versionsFolder_ + L'\\' + press.name;
        const std::optional<std::vector<std::uint8_t>> bytes =
            fs_.ReadFileBytes(pressPath + L'\\' + kVersionIndexName, kIndexReadLimit + 1);
        if (!bytes || bytes->size() > kIndexReadLimit) {
            continue;
        }
        indexBytes += bytes->size();
        if (indexBytes > kIndexBytesRead) {
            break;
        }
        VersionIndex index = ParseVersionIndex(*bytes);
        if (!index.complete) {
            stale_.insert(press.name);
        }
        for (VersionRecord& record : index.records) {
            const bool present =
                index.complete || fs_.Find(StoredPath(press.name, record.stored)).has_value();
            versions_.push_back({press.name, std::move(record), true, present});
        }
    }
    bytes_ = PresentBytes();
}

bool VersionStore::OpenPress() {
    if (!usable_) {
        return Fail(error_ != 0 ? error_ : file_error::kAccessDenied);
    }
    if (opened_) {
        return true;
    }
    if (!fs_.CreateFolder(versionsFolder_) && fs_.LastError() != file_error::kAlreadyExists) {
        return Fail(fs_.LastError());
    }
    // Two presses within a second each get a folder of their own.
    const std::wstring base = pressName_;
    for (int n = 2; !fs_.CreateFolder(versionsFolder_ + L'\\' + pressName_); ++n) {
        if (fs_.LastError() != file_error::kAlreadyExists || n > 99) {
            return Fail(fs_.LastError());
        }
        pressName_ = base + L" (" + std::to_wstring(n) + L")";
    }
    pressFolder_ = versionsFolder_ + L'\\' + pressName_;
    if (!readMe_.empty()) {
        fs_.WriteFileReplacing(versionsFolder_ + L'\\' + kVersionsReadMeName,
                               Utf16LeWithMark(ToUtf16(readMe_)));
    }
    plainFolders_.insert(pressFolder_);
    opened_ = true;
    return true;
}

bool VersionStore::WriteIndex(bool complete) {
    std::vector<VersionRecord> records;
    for (const Version& version : versions_) {
        if (!version.earlier && (version.present || !complete)) {
            records.push_back(version.record);
        }
    }
    return fs_.WriteFileReplacing(pressFolder_ + L'\\' + kVersionIndexName,
                                  FormatVersionIndex(records, complete)) ||
           Fail(fs_.LastError());
}

bool VersionStore::Plan(std::vector<VersionRecord> planned) {
    Load();
    if (planned.empty()) {
        return true;
    }
    if (!OpenPress()) {
        return false;
    }
    for (VersionRecord& record : planned) {
        record.when = now_;
        const std::wstring key = VersionFile(record.side, record.original);
        planned_[key] = versions_.size();
        versions_.push_back({pressName_, std::move(record), false, false});
    }
    // Nothing moves into a press folder whose index could not name it first.
    if (!WriteIndex(false)) {
        usable_ = false;
        return false;
    }
    return true;
}

bool VersionStore::Keep(VersionSide side, const std::wstring& path, const FileEntry& entry,
                        std::uint64_t incoming, const std::wstring& relative, VersionReason reason,
                        const std::optional<CatalogRecord>& copyRecord) {
    last_.reset();
    Load();
    // A backup copy is kept by a rename and its new copy lands beside it; a PC file is copied.
    if (!Fits(entry.size, side == VersionSide::Backup ? incoming : entry.size)) {
        return Fail(file_error::kDiskFull);
    }
    if (!OpenPress()) {
        return false;
    }
    const std::wstring original = PlainPath(path);
    const std::wstring stored = StoredName(side, relative);
    VersionRecord record{side,   reason,   now_,      entry.size, entry.lastWrite,
                         stored, original, copyRecord};
    const auto planned = planned_.find(VersionFile(side, original));
    std::size_t at = versions_.size();
    if (planned != planned_.end() && versions_[planned->second].record.stored == stored) {
        at = planned->second;
        versions_[at].record = record;
        planned_.erase(planned);
    } else {
        // Not foreseen: the index names it before it moves.
        versions_.push_back({pressName_, record, false, false});
        if (!WriteIndex(false)) {
            versions_.pop_back();
            return false;
        }
    }
    const std::wstring target = StoredPath(pressName_, stored);
    const std::wstring folder = ParentOf(target);
    if (madeFolders_.insert(folder).second) {
        CreateFolderPath(fs_, folder);
    }
    const bool kept = side == VersionSide::Backup
                          ? fs_.MoveNew(path, target)
                          : fs_.Copy(path, JoinPath(folder, PartialCopyName(entry.name)), target,
                                     CopyPlacing::Durable)
                                .has_value();
    if (!kept) {
        // A file gone since the walk looked holds nothing to keep.
        const std::uint32_t error = fs_.LastError();
        return error == file_error::kFileNotFound || Fail(error);
    }
    versions_[at].present = true;
    bytes_ += entry.size;
    ++kept_;
    last_ = at;
    lastPath_ = path;
    return true;
}

void VersionStore::Undo() {
    if (!last_) {
        return;
    }
    Version& version = versions_[*last_];
    const std::wstring stored = StoredPath(version.press, version.record.stored);
    const bool undone = version.record.side == VersionSide::Backup ? fs_.MoveNew(stored, lastPath_)
                                                                   : fs_.RemoveFile(stored);
    if (undone) {
        version.present = false;
        bytes_ -= version.record.size;
        --kept_;
    }
    last_.reset();
}

bool VersionStore::NoLinkOnTheWay(const std::wstring& press, const std::wstring& stored) {
    std::wstring folder = versionsFolder_ + L'\\' + press;
    for (std::size_t start = 0;;) {
        if (!plainFolders_.contains(folder)) {
            const std::optional<FileEntry> found = fs_.Find(folder);
            if (!found || found->link || !found->folder) {
                return false;
            }
            plainFolders_.insert(folder);
        }
        const std::size_t slash = stored.find(L'\\', start);
        if (slash == std::wstring::npos) {
            return true;
        }
        folder += L'\\' + stored.substr(start, slash - start);
        start = slash + 1;
    }
}

void VersionStore::Drop(Version& version) {
    if (!version.present || !version.earlier ||
        !NoLinkOnTheWay(version.press, version.record.stored)) {
        return;
    }
    // A folder under the name is not removed; a link would be, itself, never what it leads to.
    const std::wstring path = StoredPath(version.press, version.record.stored);
    if (!fs_.RemoveFile(path) && fs_.LastError() != file_error::kFileNotFound) {
        return;
    }
    version.present = false;
    bytes_ -= std::min(bytes_, version.record.size);
    stale_.insert(version.press);
}

bool VersionStore::Fits(std::uint64_t bytes, std::uint64_t written) {
    // Far from the bound, the last answer less what the press has written since will do.
    if (space_ && versionsSinceAsked_ < kAskSpaceEvery) {
        const std::uint64_t slack = space_->total / 100;
        const VolumeSpace estimate{space_->total,
                                   space_->free - std::min(space_->free, writtenSinceAsked_)};
        if (VersionsFit(estimate, bytes_ + slack, bytes + slack, written + slack)) {
            ++versionsSinceAsked_;
            writtenSinceAsked_ += written;
            return true;
        }
    }
    space_ = fs_.Space(destination_);
    versionsSinceAsked_ = 1;
    writtenSinceAsked_ = written;
    if (!space_ || VersionsFit(*space_, bytes_, bytes, written)) {
        return true;
    }
    space_.reset();
    return MakeRoom(bytes, written);
}

bool VersionStore::MakeRoom(std::uint64_t bytes, std::uint64_t written) {
    const std::optional<VolumeSpace> before = fs_.Space(destination_);
    if (!before) {
        return true;
    }
    // Each file's earlier versions, newest first: its rank among them.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < versions_.size(); ++i) {
        if (versions_[i].earlier && versions_[i].present) {
            order.push_back(i);
        }
    }
    const auto key = [&](std::size_t i) {
        return VersionFile(versions_[i].record.side, versions_[i].record.original);
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const std::wstring keyA = key(a);
        const std::wstring keyB = key(b);
        return keyA != keyB ? keyA < keyB : versions_[a].record.when > versions_[b].record.when;
    });
    std::vector<std::pair<std::size_t, std::size_t>> ranked;  // rank, version
    for (std::size_t i = 0, rank = 0; i < order.size(); ++i) {
        rank = i > 0 && key(order[i - 1]) == key(order[i]) ? rank + 1 : 0;
        ranked.emplace_back(rank, order[i]);
    }
    // Nothing goes when even all that may go would not make room.
    std::uint64_t removable = 0;
    for (const auto& [rank, index] : ranked) {
        removable += rank >= 1 ? versions_[index].record.size : 0;
    }
    const VolumeSpace most{before->total, before->free + removable};
    if (!VersionsFit(most, bytes_ - std::min(bytes_, removable), bytes, written)) {
        return false;
    }
    // Beyond each file's newest three first, then beyond its newest; the oldest first in each.
    for (const std::size_t beyond : {kNewestVersionsKept, std::size_t{1}}) {
        std::vector<std::size_t> candidates;
        for (const auto& [rank, index] : ranked) {
            if (rank >= beyond) {
                candidates.push_back(index);
            }
        }
        std::stable_sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
            return versions_[a].record.when < versions_[b].record.when;
        });
        for (const std::size_t index : candidates) {
            const std::optional<VolumeSpace> space = fs_.Space(destination_);
            if (space && VersionsFit(*space, bytes_, bytes, written)) {
                return true;
            }
            Drop(versions_[index]);
        }
    }
    const std::optional<VolumeSpace> space = fs_.Space(destination_);
    return !space || VersionsFit(*space, bytes_, bytes, written);
}

void VersionStore::RemoveEmptyFolders(const std::wstring& folder) {
    for (const FileEntry& entry : fs_.List(folder).value_or(std::vector<FileEntry>{})) {
        const std::wstring path = folder + L'\\' + entry.name;
        if (entry.folder && !entry.link) {
            RemoveEmptyFolders(path);
        } else if (!entry.folder && IsPartialCopyName(entry.name)) {
            fs_.RemoveFile(path);
        }
    }
    fs_.RemoveEmptyFolder(folder);
}

void VersionStore::Rewrite(const std::wstring& press) {
    std::vector<VersionRecord> records;
    for (const Version& version : versions_) {
        if (version.press == press && version.earlier && version.present) {
            records.push_back(version.record);
        }
    }
    const std::wstring folder = versionsFolder_ + L'\\' + press;
    if (!records.empty()) {
        fs_.WriteFileReplacing(folder + L'\\' + kVersionIndexName,
                               FormatVersionIndex(records, true));
        return;
    }
    const std::optional<FileEntry> found = fs_.Find(folder);
    if (found && found->folder && !found->link &&
        fs_.RemoveFile(folder + L'\\' + kVersionIndexName)) {
        RemoveEmptyFolders(folder);
    }
}

void VersionStore::Finish() {
    Load();
    std::vector<VersionAge> ages;
    std::vector<std::size_t> present;
    for (std::size_t i = 0; i < versions_.size(); ++i) {
        if (versions_[i].present) {
            const VersionRecord& record = versions_[i].record;
            ages.push_back({VersionFile(record.side, record.original), record.when});
            present.push_back(i);
        }
    }
    const std::vector<bool> keep = VersionsToKeep(ages, now_);
    for (std::size_t i = 0; i < present.size(); ++i) {
        if (!keep[i]) {
            Drop(versions_[present[i]]);
        }
    }
    for (const std::wstring& press : stale_) {
        Rewrite(press);
    }
    stale_.clear();
    Seal();
}

void VersionStore::Seal() {
    if (!opened_) {
        return;
    }
    if (kept_ > 0) {
        WriteIndex(true);
    } else if (fs_.RemoveFile(pressFolder_ + L'\\' + kVersionIndexName)) {
        RemoveEmptyFolders(pressFolder_);
    }
}

}  // namespace bexlo
