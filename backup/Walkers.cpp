#include "backup/Walkers.h"

#include <algorithm>
#include <string_view>

#include "backup/Pacing.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

constexpr std::uint64_t kTimeToleranceTicks = 2 * 10'000'000;

// The recursive walkers always insert a '\'; only top-level joins use JoinPath.
std::wstring Child(const std::wstring& folder, const std::wstring& name) {
    return folder + L'\\' + name;
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
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

void ScanFolder(FileSystem& fs, const std::wstring& path, std::vector<FileId>& walking,
                ScanTotals& totals) {
    const std::optional<FileId> id = fs.Identity(path);
    if (id && std::find(walking.begin(), walking.end(), *id) != walking.end()) {
        return;
    }
    if (id) {
        walking.push_back(*id);
    }
    for (const FileEntry& entry : fs.List(path).value_or(std::vector<FileEntry>{})) {
        if (IsPartialCopyName(entry.name)) {
            continue;
        }
        ++totals.entryCount;
        if (entry.folder) {
            ScanFolder(fs, Child(path, entry.name), walking, totals);
        } else {
            totals.totalBytes += entry.size;
        }
    }
    if (id) {
        walking.pop_back();
    }
}

}  // namespace

bool IsPartialCopyName(const std::wstring& name) {
    const std::wstring_view suffix = kPartialSuffix;
    return name.size() >= suffix.size() &&
           UpperCase(name.substr(name.size() - suffix.size())) == UpperCase(std::wstring(suffix));
}

bool IsUsableSource(const std::wstring& source, const std::wstring& target) {
    if (!IsFullPath(source) || source.back() == L'\\' || !HasPlainSegments(source)) {
        return false;
    }
    const std::wstring from = UpperCase(source);
    const std::wstring to = UpperCase(WithoutTrailingSlash(target));
    return !IsWithin(from, to) && !IsWithin(to, from);
}

int CompareWriteTimes(std::int64_t a, std::int64_t b) {
    // The distance is taken unsigned: it may not fit a signed 64-bit integer.
    const auto distance = a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
    if (distance < kTimeToleranceTicks) {
        return 0;
    }
    return a > b ? 1 : -1;
}

ScanTotals PreScanSources(FileSystem& fs, const std::vector<std::wstring>& sources,
                          const std::wstring& target) {
    ScanTotals totals;
    std::vector<FileId> walking;
    if (const std::optional<FileId> destination = fs.Identity(target)) {
        walking.push_back(*destination);
    }
    for (const std::wstring& source : sources) {
        if (!IsUsableSource(source, target)) {
            continue;
        }
        const std::optional<FileEntry> found = fs.Find(source);
        if (!found) {
            continue;
        }
        if (found->folder) {
            ScanFolder(fs, source, walking, totals);
        } else {
            ++totals.entryCount;
            totals.totalBytes += found->size;
        }
    }
    return totals;
}

int CreateFolderPath(FileSystem& fs, const std::wstring& path) {
    if (fs.CreateFolder(path)) {
        return 1;
    }
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash <= 2) {
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

bool BackupWalker::LeadsIntoWalk(const std::optional<FileId>& id) const {
    return id && std::find(walking_.begin(), walking_.end(), *id) != walking_.end();
}

void BackupWalker::CountCopied(std::uint64_t size) {
    if (totalBytes_ == 0) {
        return;
    }
    const int position = progress_.BarPosition();
    copiedBytes_ += size;
    if (AheadOfCopiedBytes(copiedBytes_, totalBytes_, position)) {
        progress_.SlowDown();
    }
}

int BackupWalker::CopyFileInto(const std::wstring& from, const std::wstring& name,
                               const std::wstring& toFolder) {
    const std::wstring to = Child(toFolder, name);
    return fs_.CopyFileReplacing(from, to + kPartialSuffix, to) ? 1 : 0;
}

int BackupWalker::CopyFolderInto(const std::wstring& from, const std::wstring& to) {
    const std::optional<FileId> id = fs_.Identity(from);
    if (LeadsIntoWalk(id)) {
        return 1;
    }
    fs_.CreateFolder(to);
    const ChainLink source(walking_, id);
    const ChainLink copy(walking_, fs_.Identity(to));
    for (const FileEntry& entry : fs_.List(from).value_or(std::vector<FileEntry>{})) {
        if (IsPartialCopyName(entry.name)) {
            continue;
        }
        const std::wstring path = Child(from, entry.name);
        if (entry.folder) {
            if (!CopyFolderInto(path, Child(to, entry.name))) {
                return 0;
            }
        } else if (!DevicePresent() || !CopyFileInto(path, entry.name, to)) {
            return 0;
        }
    }
    return 1;
}

int BackupWalker::CopyEntry(const std::wstring& from, const std::wstring& toFolder) {
    if (!DevicePresent()) {
        return 0;
    }
    const std::optional<FileEntry> found = fs_.Find(from);
    if (!found) {
        return 0;
    }
    fs_.CreateFolder(toFolder);
    return found->folder ? CopyFolderInto(from, Child(toFolder, found->name))
                         : CopyFileInto(from, found->name, toFolder);
}

// A pull while only folders were made or sources looked for fails no step by itself: the item
// fails when the enclosure has gone by its end.
int BackupWalker::CopyItem(const std::wstring& source, const std::wstring& target) {
    return CopyItemSteps(source, target) && DevicePresent() ? 1 : 0;
}

int BackupWalker::SyncItem(const std::wstring& source, const std::wstring& target) {
    return SyncItemSteps(source, target) && DevicePresent() ? 1 : 0;
}

int BackupWalker::CopyItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!IsUsableSource(source, target)) {
        return 1;
    }
    const std::optional<FileEntry> found = fs_.Find(source);
    if (!found) {
        return 1;
    }
    const ChainLink destination(walking_, fs_.Identity(target));
    if (!found->folder) {
        fs_.CreateFolder(target);
        if (!CopyFileInto(source, found->name, target)) {
            return 0;
        }
        CountCopied(found->size);
        return 1;
    }
    const std::wstring folderTarget = JoinPath(target, found->name);
    fs_.CreateFolder(folderTarget);
    return CopyFolderTree(source, folderTarget);
}

int BackupWalker::CopyFolderTree(const std::wstring& sourceFolder,
                                 const std::wstring& targetFolder) {
    const std::optional<FileId> id = fs_.Identity(sourceFolder);
    if (LeadsIntoWalk(id)) {
        return 1;
    }
    const ChainLink source(walking_, id);
    const ChainLink copy(walking_, fs_.Identity(targetFolder));
    return CopyTree(sourceFolder, targetFolder);
}

int BackupWalker::CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    for (const FileEntry& entry : fs_.List(sourceFolder).value_or(std::vector<FileEntry>{})) {
        if (IsPartialCopyName(entry.name)) {
            continue;
        }
        const std::wstring path = Child(sourceFolder, entry.name);
        if (entry.folder) {
            const std::optional<FileId> id = fs_.Identity(path);
            if (LeadsIntoWalk(id)) {
                continue;
            }
            const std::wstring entryTarget = Child(targetFolder, entry.name);
            fs_.CreateFolder(entryTarget);
            const ChainLink source(walking_, id);
            const ChainLink copy(walking_, fs_.Identity(entryTarget));
            if (!CopyTree(path, entryTarget)) {
                return 0;
            }
            continue;
        }
        if (!DevicePresent() || !CopyFileInto(path, entry.name, targetFolder)) {
            return 0;
        }
        CountCopied(entry.size);
    }
    return 1;
}

int BackupWalker::SyncItemSteps(const std::wstring& source, const std::wstring& target) {
    if (!DevicePresent()) {
        return 0;
    }
    if (!IsUsableSource(source, target)) {
        return 1;
    }
    const std::size_t slash = source.rfind(L'\\');
    const std::wstring name = source.substr(slash + 1);
    const std::wstring parent = source.substr(0, slash);
    const std::wstring mirror = JoinPath(target, name);
    const std::optional<FileEntry> found = fs_.Find(source);
    const std::optional<FileEntry> copy = fs_.Find(mirror);
    const ChainLink destination(walking_, fs_.Identity(target));
    if (!found) {
        return copy ? CopyEntry(mirror, parent) : 1;
    }
    if (!copy) {
        return CopyEntry(source, target);
    }
    return found->folder ? SyncFolder(source, mirror) : SyncFile(source, mirror);
}

int BackupWalker::SyncFile(const std::wstring& a, const std::wstring& b) {
    if (!DevicePresent()) {
        return 0;
    }
    const std::optional<FileEntry> foundA = fs_.Find(a);
    const std::optional<FileEntry> foundB = fs_.Find(b);
    int order = 0;
    if (!foundB) {
        order = 1;
    } else if (!foundA) {
        order = -1;
    } else {
        order = CompareWriteTimes(foundA->lastWrite, foundB->lastWrite);
    }
    if (order > 0) {
        const std::wstring folderB = ParentOf(b);
        if (!foundB) {
            fs_.CreateFolder(folderB);
        }
        return CopyEntry(a, folderB);
    }
    if (order < 0) {
        // A newer destination copy replaces the source file.
        return CopyEntry(b, ParentOf(a));
    }
    return 1;
}

int BackupWalker::SyncFolder(const std::wstring& a, const std::wstring& b) {
    const std::optional<FileId> idA = fs_.Identity(a);
    if (LeadsIntoWalk(idA)) {
        return 1;
    }
    const ChainLink sourceSide(walking_, idA);
    const ChainLink copySide(walking_, fs_.Identity(b));

    std::vector<FileEntry> entries = fs_.List(a).value_or(std::vector<FileEntry>{});
    std::erase_if(entries, [](const FileEntry& entry) { return IsPartialCopyName(entry.name); });
    if (!entries.empty()) {
        fs_.CreateFolder(b);
    }
    for (const FileEntry& entry : entries) {
        const std::wstring path = Child(a, entry.name);
        const std::wstring entryB = Child(b, entry.name);
        if (entry.folder ? !SyncFolder(path, entryB) : !SyncFile(path, entryB)) {
            return 0;
        }
    }
    if (!DevicePresent()) {
        return 0;
    }

    const std::optional<std::vector<FileEntry>> entriesB = fs_.List(b);
    if (entries.empty() && !entriesB) {
        fs_.CreateFolder(b);
        return 1;
    }
    for (const FileEntry& entry : entriesB.value_or(std::vector<FileEntry>{})) {
        if (IsPartialCopyName(entry.name)) {
            continue;
        }
        // An emptied source folder is refilled from its backup; otherwise whatever exists only
        // in the backup is copied back.
        fs_.CreateFolder(a);
        if ((entries.empty() || !fs_.Find(Child(a, entry.name))) &&
            !CopyEntry(Child(b, entry.name), a)) {
            return 0;
        }
    }
    return 1;
}

}  // namespace bexlo
