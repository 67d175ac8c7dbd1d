#include "backup/BackupCheck.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "backup/Catalog.h"
#include "backup/ContentHash.h"
#include "backup/DamagedAside.h"
#include "backup/PathList.h"
#include "backup/VersionIndex.h"
#include "backup/Versions.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr std::int64_t kTicksPerMs = 10'000;
// What a check has read is written to the catalog this often, so that a cut loses little.
constexpr std::uint64_t kCommitBytes = 32 << 20;
constexpr std::size_t kCommitFiles = 256;
constexpr std::int64_t kCommitTicks = 2000 * kTicksPerMs;
// Progress is told this often, and at the end.
constexpr std::uint64_t kProgressBytes = 8 << 20;
// An index is small; anything past this is no index of ours.
constexpr std::size_t kIndexReadLimit = 32 << 20;

// One file to read back.
struct Item {
    std::wstring path;
    std::uint64_t size = 0;
    std::optional<ContentHash> hash;
    std::int64_t checked = 0;
    // A backup copy: its record's folder and name. A kept version: its press folder, and where it
    // lies below it.
    std::wstring folder;
    std::wstring name;
    bool version = false;
    // A backup copy's record, to tell whether its source still holds what was backed up.
    const CatalogRecord* record = nullptr;
};

// The backup folders by their catalog keys, as the disk spells them; a folder not found keeps its
// key's spelling.
class BackupFolders {
public:
    BackupFolders(FileSystem& fs, const std::wstring& destination) : fs_(fs) {
        paths_[L""] = destination;
    }

    const std::wstring& PathOf(const std::wstring& key) {
        if (const auto known = paths_.find(key); known != paths_.end()) {
            return known->second;
        }
        const std::size_t slash = key.find_last_of(L'\\');
        const std::wstring parent =
            PathOf(slash == std::wstring::npos ? std::wstring() : key.substr(0, slash));
        const std::wstring name = key.substr(slash == std::wstring::npos ? 0 : slash + 1);
        auto listed = listings_.find(parent);
        if (listed == listings_.end()) {
            listed = listings_.emplace(parent, fs_.List(parent).value_or(std::vector<FileEntry>{}))
                         .first;
        }
        std::wstring path = JoinPath(parent, name);
        for (const FileEntry& entry : listed->second) {
            if (entry.folder && SameName(entry.name, name)) {
                path = JoinPath(parent, entry.name);
                break;
            }
        }
        return paths_[key] = path;
    }

private:
    FileSystem& fs_;
    std::map<std::wstring, std::wstring> paths_;
    std::map<std::wstring, std::vector<FileEntry>> listings_;
};

// Where the saved sources of this destination are backed up: the folded name of each subfolder
// of the destination, and the source it holds.
std::map<std::wstring, std::wstring> SavedSources(FileSystem& fs, const std::wstring& destination) {
    std::map<std::wstring, std::wstring> sources;
    const std::optional<std::vector<std::uint8_t>> bytes =
        fs.ReadFileBytes(PathListFile(), kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status != PathListRead::Status::Usable ||
        !SameName(PlainPath(list.target), PlainPath(destination))) {
        return sources;
    }
    for (const std::wstring& source : list.sources) {
        std::wstring plain = PlainPath(source);
        while (plain.size() > 3 && plain.back() == L'\\') {
            plain.pop_back();
        }
        const std::size_t slash = plain.find_last_of(L'\\');
        if (slash != std::wstring::npos && slash + 1 < plain.size()) {
            sources.emplace(FoldCase(plain.substr(slash + 1)), plain);
        }
    }
    return sources;
}

// The source still holds what the record says the copy was made from.
bool SourceUnchanged(FileSystem& fs, const std::map<std::wstring, std::wstring>& sources,
                     const std::wstring& folder, const CatalogRecord& record) {
    const std::wstring below = folder.empty() ? FoldCase(record.name) : folder;
    const std::size_t slash = below.find(L'\\');
    const auto source = sources.find(below.substr(0, slash));
    if (source == sources.end()) {
        return false;
    }
    std::wstring path = source->second;
    if (!folder.empty()) {
        if (slash != std::wstring::npos) {
            path += below.substr(slash);
        }
        path = JoinPath(path, record.name);
    }
    const std::optional<FileEntry> found = FindWithChangeTime(fs, LongPath(path));
    if (!found || found->folder || found->link) {
        return false;
    }
    const FileState now = StateOf(*found);
    const auto same = [](auto a, auto b) { return a == 0 || b == 0 || a == b; };
    return now.size == record.source.size && now.lastWrite == record.source.lastWrite &&
           same(now.changeTime, record.source.changeTime) && same(now.fileId, record.source.fileId);
}

// The kept versions of every press folder whose index was written to its end, or whose file is
// there.
std::vector<Item> KeptVersions(FileSystem& fs, const std::wstring& versions,
                               const std::map<std::wstring, std::int64_t>& checked) {
    std::vector<Item> items;
    for (const FileEntry& press : fs.List(versions).value_or(std::vector<FileEntry>{})) {
        if (!press.folder || press.link || SameName(press.name, kDamagedFolderName)) {
            continue;
        }
        const std::wstring pressPath = versions + L'\\' + press.name;
        const std::optional<std::vector<std::uint8_t>> bytes =
            fs.ReadFileBytes(pressPath + L'\\' + kVersionIndexName, kIndexReadLimit + 1);
        if (!bytes || bytes->size() > kIndexReadLimit) {
            continue;
        }
        const VersionIndex index = ParseVersionIndex(*bytes);
        for (const VersionRecord& record : index.records) {
            Item item;
            item.path = pressPath + L'\\' + record.stored;
            if (!index.complete && !fs.Find(item.path)) {
                continue;
            }
            item.size = record.size;
            item.hash = record.record ? record.record->hash : std::nullopt;
            item.folder = press.name;
            item.name = record.stored;
            item.version = true;
            const auto found = checked.find(FoldCase(press.name + L'\\' + record.stored));
            item.checked = found != checked.end() ? found->second : 0;
            items.push_back(std::move(item));
        }
    }
    return items;
}

// Takes a damaged version out of its press folder's index, so that thinning never counts it.
void DropFromIndex(FileSystem& fs, const std::wstring& pressPath, const std::wstring& stored) {
    const std::wstring indexPath = pressPath + L'\\' + kVersionIndexName;
    const std::optional<std::vector<std::uint8_t>> bytes =
        fs.ReadFileBytes(indexPath, kIndexReadLimit + 1);
    if (!bytes || bytes->size() > kIndexReadLimit) {
        return;
    }
    VersionIndex index = ParseVersionIndex(*bytes);
    std::erase_if(index.records,
                  [&](const VersionRecord& record) { return SameName(record.stored, stored); });
    fs.WriteFileReplacing(indexPath, FormatVersionIndex(index.records, index.complete));
}

// A buffer aligned for reads past the system's cache.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t size) : storage_(size + kSequentialAlign) {
        void* start = storage_.data();
        std::size_t room = storage_.size();
        std::align(kSequentialAlign, size, start, room);
        span_ = std::span(static_cast<std::uint8_t*>(start), size);
    }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    std::span<std::uint8_t> Span() const { return span_; }

private:
    std::vector<std::uint8_t> storage_;
    std::span<std::uint8_t> span_;
};

class Checker {
public:
    Checker(FileSystem& fs, Catalog& catalog, std::int64_t now, CheckFeedback& feedback,
            CheckOutcome& outcome)
        : fs_(fs),
          catalog_(catalog),
          now_(now),
          feedback_(feedback),
          outcome_(outcome),
          lastCommit_(now) {}

    enum class Read { Good, Damaged, Cut };

    // Reads one file to its end, or until the check is to stop.
    Read ReadBack(const Item& item, CheckFinding::Kind& kind) {
        const std::unique_ptr<SequentialFile> file = fs_.OpenSequential(item.path);
        if (!file) {
            kind = Missing(fs_.LastError()) ? CheckFinding::Kind::Missing
                                            : CheckFinding::Kind::Unreadable;
            return Read::Damaged;
        }
        if (file->Size() != item.size) {
            kind = CheckFinding::Kind::ReadsDifferent;
            return Read::Damaged;
        }
        ContentHasher hasher;
        std::uint64_t done = 0;
        for (;;) {
            const std::optional<std::size_t> read = file->Read(buffer_.Span());
            if (!read) {
                kind = CheckFinding::Kind::Unreadable;
                return Read::Damaged;
            }
            hasher.Add(buffer_.Span().first(*read));
            done += *read;
            Count(*read);
            if (*read < buffer_.Span().size()) {
                break;
            }
            if (feedback_.StopRequested()) {
                return Read::Cut;
            }
        }
        kind = CheckFinding::Kind::ReadsDifferent;
        const bool same = done == item.size && (!item.hash || hasher.Result() == *item.hash);
        if (same && !item.hash) {
            readHash_ = hasher.Result();
        }
        return same ? Read::Good : Read::Damaged;
    }

    // What was read of `item`, written with the next commit.
    void Done(const Item& item, bool damaged) {
        if (item.version) {
            versions_.push_back(FoldCase(item.folder + L'\\' + item.name));
        } else {
            copies_.push_back(
                {item.folder, item.name, std::exchange(readHash_, std::nullopt), damaged});
        }
        pendingBytes_ += item.size;
        if (pendingBytes_ >= kCommitBytes || copies_.size() + versions_.size() >= kCommitFiles ||
            fs_.CurrentTime() - lastCommit_ >= kCommitTicks) {
            Commit();
        }
    }

    bool Commit() {
        if (!copies_.empty() || !versions_.empty()) {
            ok_ = ok_ && catalog_.WriteChecks(now_, copies_, versions_);
        }
        copies_.clear();
        versions_.clear();
        pendingBytes_ = 0;
        lastCommit_ = fs_.CurrentTime();
        return ok_;
    }

    bool Ok() const { return ok_; }

    void Tell() {
        reported_ = outcome_.bytesRead;
        feedback_.Progress(outcome_.bytesRead, outcome_.bytesTotal);
    }

private:
    void Count(std::uint64_t bytes) {
        outcome_.bytesRead += bytes;
        if (outcome_.bytesRead - reported_ >= kProgressBytes) {
            Tell();
        }
    }

    FileSystem& fs_;
    Catalog& catalog_;
    std::int64_t now_;
    CheckFeedback& feedback_;
    CheckOutcome& outcome_;
    ReadBuffer buffer_{kCheckBuffer};
    std::optional<ContentHash> readHash_;
    std::vector<CopyChecked> copies_;
    std::vector<std::wstring> versions_;
    std::uint64_t pendingBytes_ = 0;
    std::int64_t lastCommit_;
    std::uint64_t reported_ = 0;
    bool ok_ = true;
};

}  // namespace

CheckOutcome CheckBackup(FileSystem& fs, const std::wstring& destinationIn,
                         const std::wstring& machine, std::int64_t now, std::uint64_t budgetMs,
                         CheckFeedback& feedback, std::int64_t roundStart) {
    CheckOutcome outcome;
    const std::wstring destination = LongPath(destinationIn);
    const std::wstring versions = JoinPath(destination, kVersionsFolderName);
    // A check makes no catalog: without one there is nothing to hold the copies against.
    const std::optional<FileEntry> found = fs.Find(JoinPath(versions, kCatalogName));
    const std::unique_ptr<Catalog> catalog = found && !found->folder && !found->link
                                                 ? Catalog::Open(fs, destination, machine, now)
                                                 : nullptr;
    std::optional<std::vector<RecordToCheck>> records =
        catalog && catalog->HowStarted() == Catalog::Start::Kept ? catalog->RecordsToCheck()
                                                                 : std::nullopt;
    const std::optional<std::map<std::wstring, std::int64_t>> checked =
        records ? catalog->VersionsChecked() : std::nullopt;
    if (!checked) {
        outcome.noCatalog = true;
        return outcome;
    }
    std::vector<Item> items;
    BackupFolders folders(fs, destination);
    for (const RecordToCheck& record : *records) {
        const std::wstring& folder = folders.PathOf(record.folder);
        items.push_back({JoinPath(folder, record.record.name), record.record.copy.size,
                         record.record.hash, record.record.checked, record.folder,
                         record.record.name, false, &record.record});
    }
    std::vector<Item> kept = KeptVersions(fs, versions, *checked);
    std::move(kept.begin(), kept.end(), std::back_inserter(items));
    // What this round has read already waits for the next round.
    if (roundStart != 0) {
        std::erase_if(items, [roundStart](const Item& item) { return item.checked >= roundStart; });
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.checked < b.checked; });
    for (const Item& item : items) {
        outcome.bytesTotal += item.size;
    }
    const std::map<std::wstring, std::wstring> sources = SavedSources(fs, destination);
    Checker checker(fs, *catalog, now, feedback, outcome);
    const std::int64_t started = fs.CurrentTime();
    std::size_t next = 0;
    for (; next < items.size() && checker.Ok(); ++next) {
        const Item& item = items[next];
        const bool overBudget =
            budgetMs != 0 && next > 0 &&
            fs.CurrentTime() - started >= static_cast<std::int64_t>(budgetMs) * kTicksPerMs;
        if (overBudget || feedback.StopRequested()) {
            outcome.cancelled = true;
            break;
        }
        CheckFinding::Kind kind = CheckFinding::Kind::ReadsDifferent;
        const Checker::Read read = checker.ReadBack(item, kind);
        if (read == Checker::Read::Cut) {
            outcome.cancelled = true;
            break;
        }
        ++outcome.filesRead;
        if (read == Checker::Read::Good) {
            outcome.bytesGood += item.size;
        } else {
            CheckFinding finding{item.path, kind, item.version, false};
            if (item.version) {
                if (kind != CheckFinding::Kind::Missing &&
                    PutAsideDamaged(fs, versions, item.path, item.folder + L'\\' + item.name,
                                    now)) {
                    DropFromIndex(fs, versions + L'\\' + item.folder, item.name);
                }
            } else {
                finding.repairable = SourceUnchanged(fs, sources, item.folder, *item.record);
            }
            outcome.damaged.push_back(std::move(finding));
        }
        checker.Done(item, read == Checker::Read::Damaged);
    }
    const bool written = checker.Commit();
    checker.Tell();
    outcome.allChecked =
        written && std::all_of(items.begin() + static_cast<std::ptrdiff_t>(next), items.end(),
                               [](const Item& item) { return item.checked != 0; });
    return outcome;
}

}  // namespace bexlo
