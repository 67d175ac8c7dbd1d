#include "backup/PreScan.h"

#include <map>

#include "framework/LongPath.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

// A folder's entries by folded name, leftovers of interrupted copies left out; false when it
// cannot be listed or holds leftovers, which the walk removes.
bool EntriesByName(FileSystem& fs, const std::wstring& folder,
                   std::map<std::wstring, FileEntry>& entries) {
    std::optional<std::vector<FileEntry>> listed = fs.List(folder);
    if (!listed) {
        return false;
    }
    const bool clean = std::erase_if(*listed, IsLeftover) == 0;
    entries = ByFoldedName(std::move(*listed));
    return clean;
}

// The pre-scan's walk: the source side, and for Copy the backup beside it.
class PreScan {
public:
    PreScan(FileSystem& fs, std::optional<std::int64_t> lastCompleteRun, bool fatDestination)
        : fs_(fs), lastCompleteRun_(lastCompleteRun), fatDestination_(fatDestination) {}

    void Walking(const std::optional<FileId>& id) {
        if (id) {
            walking_.push_back(*id);
        }
    }

    // True when the file is work for the walk.
    bool File(const FileEntry& entry, const FileEntry* copy) {
        ++totals.allEntries;
        if (lastCompleteRun_ && UnchangedCopy(entry, copy, *lastCompleteRun_, fatDestination_)) {
            return false;
        }
        ++totals.entryCount;
        totals.totalBytes += entry.size;
        return true;
    }

    bool Copying() const { return lastCompleteRun_.has_value(); }

    ScanTotals totals;

    // What the walk would do in a folder's tree. `clean`: nothing, not even a failure to name
    // or a leftover to remove, so that the walk may pass over it.
    struct Subtree {
        std::uint64_t entries = 0;
        std::uint64_t files = 0;
        bool clean = true;
    };

    // `mirror`: the folder's backup copy, when Copy passes over what is already there.
    Subtree Folder(const std::wstring& path, const std::optional<std::wstring>& mirror) {
        Subtree tree;
        const std::optional<FileId> id = fs_.Identity(path);
        if (LeadsIntoWalk(walking_, id)) {
            return tree;
        }
        const ChainLink link(walking_, id);
        std::map<std::wstring, FileEntry> copies;
        if (mirror) {
            tree.clean = EntriesByName(fs_, *mirror, copies);
        }
        const std::optional<std::vector<FileEntry>> entries = fs_.List(path);
        tree.clean = tree.clean && entries.has_value();
        for (const FileEntry& entry : entries.value_or(std::vector<FileEntry>{})) {
            if (IsLeftover(entry)) {
                tree.clean = false;
                continue;
            }
            ++tree.entries;
            const FileEntry* copy = Counterpart(copies, entry.name);
            if (entry.link || (copy != nullptr && copy->link)) {
                // Only the system's compatibility links are passed over without a word.
                tree.clean =
                    tree.clean && copy == nullptr && entry.folder && entry.hidden && entry.system;
                continue;
            }
            if (!entry.folder) {
                tree.clean = !File(entry, copy) && tree.clean;
                tree.files += 1;
                continue;
            }
            ++totals.allEntries;
            const bool there = copy != nullptr && copy->folder;
            totals.entryCount += there ? 0 : 1;
            const Subtree below =
                Folder(JoinPath(path, entry.name),
                       there ? std::optional(JoinPath(*mirror, entry.name)) : std::nullopt);
            tree.entries += below.entries;
            tree.files += below.files;
            tree.clean = tree.clean && there && below.clean;
        }
        if (mirror && tree.clean) {
            // Only the outermost of an unchanged tree is kept: the walk never comes to the rest.
            UnchangedTrees& unchanged = totals.unchanged;
            unchanged.erase(unchanged.lower_bound(path + L'\\'),
                            unchanged.lower_bound(path + L']'));
            unchanged[path] = {tree.entries, tree.files};
        }
        return tree;
    }

private:
    FileSystem& fs_;
    std::optional<std::int64_t> lastCompleteRun_;
    bool fatDestination_;
    std::vector<FileId> walking_;
};

}  // namespace

ScanTotals PreScanSources(FileSystem& fs, const std::vector<std::wstring>& sources,
                          const std::wstring& target, std::optional<std::int64_t> lastCompleteRun) {
    const std::wstring destination = LongPath(target);
    PreScan scan(fs, lastCompleteRun, IsFatFileSystem(fs.VolumeFileSystem(destination)));
    scan.Walking(fs.Identity(destination));
    SourceNames taken;
    for (const std::wstring& source : sources) {
        if (taken.Take(source, target) != SourceRefusal::None) {
            continue;
        }
        const std::wstring path = LongPath(source);
        const std::optional<FileEntry> found = fs.Find(path);
        if (!found) {
            continue;
        }
        const std::wstring mirror = JoinPath(destination, found->name);
        if (found->folder) {
            scan.Folder(path, scan.Copying() ? std::optional(mirror) : std::nullopt);
        } else {
            const std::optional<FileEntry> copy = scan.Copying() ? fs.Find(mirror) : std::nullopt;
            scan.File(*found, copy ? &*copy : nullptr);
        }
    }
    return scan.totals;
}

}  // namespace bexlo
