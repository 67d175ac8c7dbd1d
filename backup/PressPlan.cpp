#include "backup/PressPlan.h"

#include <map>

#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

// A folder's entries by folded name, leftovers of interrupted copies left out; nothing when it
// cannot be listed. `leftovers` is set for a side the walk writes, which removes them there, so
// that a folder holding one is not passed over; the walk leaves a side it only reads alone.
std::optional<std::map<std::wstring, FileEntry>> EntriesByName(FileSystem& fs,
                                                               const std::wstring& folder,
                                                               bool written, bool& leftovers) {
    std::optional<std::vector<FileEntry>> listed = fs.List(folder);
    if (!listed) {
        return std::nullopt;
    }
    leftovers = (std::erase_if(*listed, IsLeftover) != 0 && written) || leftovers;
    return ByFoldedName(std::move(*listed));
}

// Only the system's compatibility links in user profiles are passed over without a word.
bool SilentLink(const FileEntry& entry, const FileEntry* counterpart) {
    return counterpart == nullptr && entry.link && entry.folder && entry.hidden && entry.system;
}

using Entries = std::map<std::wstring, FileEntry>;

class PressCount {
public:
    PressCount(FileSystem& fs, PressContext context, bool synchronize,
               const std::wstring& destination)
        : walking_(fs),
          fs_(fs),
          judge_(fs, context),
          sync_(synchronize),
          destination_(destination),
          inDestination_(walking_, walking_.Find(destination)) {}

    void Source(const std::wstring& source) {
        source_ = source;
        judge_.Item(sync_, source, destination_);
        std::optional<FileEntry> found = FindWithChangeTime(fs_, source);
        // A saved folder that is a link was checked against where it led when it was saved.
        if (found && found->folder) {
            found->link = false;
        }
        const std::wstring mirror =
            JoinPath(destination_, found ? found->name : LastSegment(source));
        const std::optional<FileEntry> copy = FindWithChangeTime(fs_, mirror);
        if (!found) {
            if (sync_ && copy && !copy->link) {
                Fresh(mirror, *copy, source, false);
            }
            return;
        }
        if (!found->folder) {
            ++plan.allEntries;
        }
        if (!copy) {
            if (sync_) {
                Fresh(source, *found, mirror, true);
            } else if (found->folder) {
                Folder(source, mirror, false);
            } else if (!found->link) {
                Pair(source, &*found, mirror, nullptr, Records(destination_));
            }
            return;
        }
        if (copy->link) {
            return;
        }
        if (found->folder) {
            Folder(source, mirror, copy->folder);
        } else if (!found->link && !copy->folder) {
            Pair(source, &*found, mirror, &*copy, Records(destination_));
        }
    }

    PressPlan plan;

private:
    // What the walk would do in a folder's tree. `clean`: nothing, not even a failure to name or
    // a leftover to remove, so that the walk may pass over it.
    struct Subtree {
        std::uint64_t entries = 0;
        std::uint64_t files = 0;
        bool clean = true;
    };

    PairJudge::Folder Records(const std::wstring& backupFolder) {
        return judge_.Records(destination_, backupFolder);
    }

    void Work(std::uint64_t bytes) {
        ++plan.entryCount;
        plan.totalBytes += bytes;
    }

    // A whole file or folder copied to the side that has none of it.
    void Fresh(const std::wstring& from, const FileEntry& entry, const std::wstring& to,
               bool toBackup) {
        if (!entry.link) {
            Fresh(from, entry, to, toBackup, Records(toBackup ? ParentOf(to) : ParentOf(from)));
        }
    }

    // `folder`: the records of the backup folder that holds the file, or is to.
    void Fresh(const std::wstring& from, const FileEntry& entry, const std::wstring& to,
               bool toBackup, const PairJudge::Folder& folder) {
        if (!entry.folder) {
            toBackup ? Pair(from, &entry, to, nullptr, folder)
                     : Pair(to, nullptr, from, &entry, folder);
            return;
        }
        WalkChain::Place place = walking_.Find(from);
        if (walking_.Inside(place)) {
            return;
        }
        const WalkChain::Link link(walking_, std::move(place));
        bool leftovers = false;
        const auto entries = EntriesByName(fs_, from, false, leftovers);
        const PairJudge::Folder inside = Records(toBackup ? to : from);
        for (const auto& [name, below] : entries.value_or(Entries{})) {
            plan.allEntries += toBackup ? 1 : 0;
            if (below.link) {
                continue;
            }
            if (below.folder) {
                Work(0);
            }
            Fresh(JoinPath(from, below.name), below, JoinPath(to, below.name), toBackup, inside);
        }
    }

    // Judges a pair as the walk will and counts what it does.
    bool Pair(const std::wstring& a, const FileEntry* entryA, const std::wstring& b,
              const FileEntry* entryB, const PairJudge::Folder& folder) {
        const Judgement judgement = judge_.Judge(a, entryA, b, entryB, folder);
        const Verdict verdict = judgement.verdict;
        plan.onBothSides += entryA != nullptr && entryB != nullptr ? 1 : 0;
        if (verdict == Verdict::CopyNew || verdict == Verdict::Replace) {
            Work(entryA->size);
        } else if (verdict == Verdict::CopyBack || verdict == Verdict::ReplaceSource) {
            Work(entryB->size);
        }
        if (verdict == Verdict::Replace && !judgement.damagedCopy) {
            Add(a, *entryA, VersionSide::Backup, b, *entryB, judgement);
        } else if (verdict == Verdict::ReplaceSource) {
            Add(b, *entryB, VersionSide::Pc, a, *entryA, judgement);
        }
        return verdict == Verdict::PassOver || verdict == Verdict::Record;
    }

    void Add(const std::wstring& from, const FileEntry& entry, VersionSide side,
             const std::wstring& replaced, const FileEntry& old, const Judgement& judgement) {
        const std::wstring relative = PathInBackup(side, replaced, destination_, source_);
        VersionRecord record{side,
                             sync_ ? VersionReason::Older : VersionReason::Changed,
                             0,
                             old.size,
                             old.lastWrite,
                             StoredName(side, relative),
                             PlainPath(replaced),
                             judgement.record};
        plan.replacements.push_back({from, entry.size, std::move(record)});
    }

    // The files of a backup folder whose sources a listing no longer found: their records say
    // when their sources were last seen. A record of a copy that is gone too vouches for nothing.
    void Gone(const Entries& copies, const Entries& sources, const PairJudge::Folder& folder) {
        Catalog* catalog = judge_.CatalogOfPress();
        if (catalog == nullptr) {
            return;
        }
        for (const auto& [name, record] : folder.records.mine) {
            if (!copies.contains(name) && !sources.contains(name)) {
                catalog->Forget(folder.key, record.name);
            } else if (!record.gone && !sources.contains(name)) {
                CatalogRecord gone = record;
                gone.gone = true;
                gone.seen = folder.records.seen;
                catalog->Put(folder.key, gone);
            }
        }
    }

    Subtree Folder(const std::wstring& a, const std::wstring& b, bool there) {
        Subtree tree;
        WalkChain::Place place = walking_.Find(a);
        if (walking_.Inside(place)) {
            return tree;
        }
        const WalkChain::Link link(walking_, std::move(place));
        bool leftovers = false;
        const auto listedA = EntriesByName(fs_, a, sync_, leftovers);
        const auto listedB = there ? EntriesByName(fs_, b, true, leftovers) : std::nullopt;
        tree.clean = listedA && listedB && !leftovers;
        const std::map<std::wstring, FileEntry> sources = listedA.value_or(Entries{});
        const std::map<std::wstring, FileEntry> copies = listedB.value_or(Entries{});
        const PairJudge::Folder folder = Records(b);
        if (listedA && judge_.CatalogOfPress() != nullptr) {
            judge_.CatalogOfPress()->Seen(folder.key);
        }
        for (const auto& [name, entry] : sources) {
            ++tree.entries;
            ++plan.allEntries;
            const auto counterpart = copies.find(name);
            const FileEntry* copy = counterpart != copies.end() ? &counterpart->second : nullptr;
            const std::wstring pathA = JoinPath(a, entry.name);
            const std::wstring pathB = JoinPath(b, entry.name);
            if (entry.link || (copy != nullptr && copy->link)) {
                tree.clean = tree.clean && SilentLink(entry, copy);
                continue;
            }
            if (!entry.folder) {
                ++tree.files;
                const bool mismatch = copy != nullptr && copy->folder;
                tree.clean = !mismatch && Pair(pathA, &entry, pathB, copy, folder) && tree.clean;
                continue;
            }
            const bool folderThere = copy != nullptr && copy->folder;
            if (!folderThere) {
                Work(0);
            }
            const Subtree below = Folder(pathA, pathB, folderThere);
            tree.entries += below.entries;
            tree.files += below.files;
            tree.clean = tree.clean && folderThere && below.clean;
        }
        for (const auto& [name, copy] : copies) {
            if (!sources.contains(name) && sync_) {
                tree.clean = false;
                Fresh(JoinPath(b, copy.name), copy, JoinPath(a, copy.name), false);
            }
        }
        if (!sync_ && listedA && listedB) {
            Gone(copies, sources, folder);
        }
        if (there && tree.clean) {
            // Only the outermost of an unchanged tree is kept: the walk never comes to the rest.
            UnchangedTrees& unchanged = plan.unchanged;
            unchanged.erase(unchanged.lower_bound(a + L'\\'), unchanged.lower_bound(a + L']'));
            unchanged[a] = {tree.entries, tree.files};
        }
        return tree;
    }

    WalkChain walking_;
    FileSystem& fs_;
    PairJudge judge_;
    bool sync_;
    std::wstring destination_;
    std::wstring source_;
    // The count is inside the destination throughout.
    const WalkChain::Link inDestination_;
};

}  // namespace

PressPlan PlanPress(FileSystem& fs, PressContext context, bool synchronize,
                    const std::vector<std::wstring>& sources, const std::wstring& target) {
    const std::wstring destination = LongPath(target);
    PressCount count(fs, context, synchronize, destination);
    SourceNames taken;
    for (const std::wstring& source : sources) {
        if (taken.Take(source, target) == SourceRefusal::None) {
            count.Source(LongPath(source));
        }
    }
    return std::move(count.plan);
}

}  // namespace bexlo
