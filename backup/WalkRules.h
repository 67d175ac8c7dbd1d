#pragma once

// The rules the walkers go by that need no walk: which sources they take, which names are their
// own, when two last-write times are the same, and the paths they build.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

// A file is copied to a name of its own beside its destination and moved over the real name only
// when complete: "<name>.bexlo-<check>.partial", the check being 16 hex digits of a keyed hash of
// what precedes it, so that no file a person names is taken for one. The name is cut short
// enough to stay a valid name.
std::wstring PartialCopyName(const std::wstring& name);
// The name is one that PartialCopyName gives: a leftover of an interrupted copy, which the walkers
// remove where they find it.
bool IsPartialCopyName(const std::wstring& name);

// A saved source that the walkers take: a full path ("X:\..." or "\\server\share\...") naming an
// entry, with no "." or ".." in it, that neither contains the destination nor lies inside it.
bool IsUsableSource(const std::wstring& source, const std::wstring& target);
// The source holds the destination, or lies inside it, or is it.
bool SourceOverlapsTarget(const std::wstring& source, const std::wstring& target);

// Why a run passes over a saved source.
enum class SourceRefusal { None, Unusable, VersionsFolder, SameName };
// The saved sources one run takes, asked in saved order: a usable source whose backup folder's
// name is neither the versions folder's nor one an earlier source took, since two sources of one
// name would share one backup folder.
class SourceNames {
public:
    SourceRefusal Take(const std::wstring& source, const std::wstring& target);

private:
    // Folded.
    std::vector<std::wstring> taken_;
};

// Two last-write times less than 2 s apart are the same time: FAT keeps times to 2 s. Where
// either side is FAT or exFAT (`coarse`), two times an hour apart within that tolerance are the
// same time too: those keep local times, which shift by an hour at a daylight-saving change.
int CompareWriteTimes(std::int64_t a, std::int64_t b, bool coarse = false);
// FAT12, FAT16 or FAT32, which hold no file of 4 GiB or more.
bool IsFatFileSystem(const std::wstring& name);

// FAT and FAT32 hold no file of 4 GiB or more.
inline constexpr std::uint64_t kFatFileLimit = 1ull << 32;

// The folder holding `path`, with its trailing separator when it is a root.
std::wstring ParentOf(const std::wstring& path);
// `inner` is `outer` or lies below it.
bool IsWithin(const std::wstring& inner, const std::wstring& outer);

// The name the source's backup folder takes under the destination.
std::wstring LastSegment(const std::wstring& path);
// A leftover of an interrupted copy, which no walk copies or counts.
bool IsLeftover(const FileEntry& entry);
// Entries keyed by their folded names, the first of two that fold alike kept.
std::map<std::wstring, FileEntry> ByFoldedName(std::vector<FileEntry> entries);
// The entry named `name` among entries keyed by their folded names; null when there is none.
const FileEntry* Counterpart(const std::map<std::wstring, FileEntry>& entries,
                             const std::wstring& name);

// A source folder whose whole tree the counting pass found the same in the backup: what the walk
// counts in it.
struct UnchangedTree {
    std::uint64_t entries = 0;
    std::uint64_t files = 0;
};
// By the folder's path in the long form, as the walk builds it; only the outermost of a tree.
using UnchangedTrees = std::map<std::wstring, UnchangedTree>;

// The folders a walk is inside, outermost first: a folder that leads back to one of them (a link,
// or a folder swapped for one behind the walk's back) would walk it round without end. Each is
// known by the quick id its volume gives; the full identity is asked only where two quick ids
// match, as they may for two folders of ReFS or of two volumes.
class WalkChain {
public:
    explicit WalkChain(FileSystem& fs) : fs_(fs) {}
    WalkChain(const WalkChain&) = delete;
    WalkChain& operator=(const WalkChain&) = delete;

    struct Place {
        std::wstring path;
        std::optional<std::uint64_t> quick;
        std::optional<FileId> full;
    };
    // Where the folder at `path` leads, links followed.
    Place Find(const std::wstring& path);
    // The place is one the walk is inside.
    bool Inside(Place& place);

    // Keeps a place on the chain while the walker is inside it.
    class Link {
    public:
        Link(WalkChain& chain, Place place) : chain_(chain) {
            chain_.places_.push_back(std::move(place));
        }
        ~Link() { chain_.places_.pop_back(); }
        Link(const Link&) = delete;
        Link& operator=(const Link&) = delete;

    private:
        WalkChain& chain_;
    };

private:
    const std::optional<FileId>& Full(Place& place);

    FileSystem& fs_;
    std::vector<Place> places_;
};

// Creates every missing folder of `path`. 0 when the path has no parent left to create, else 1.
int CreateFolderPath(FileSystem& fs, const std::wstring& path);

// Every folder of `path` from its drive's root down that exists is a plain folder, no link, as
// both a search and its own open handle show it, and the deepest lies on the volume of the
// path's drive. A missing folder ends the check: it is made later, and checked again then.
bool PlainFolderPath(FileSystem& fs, const std::wstring& path);

// The folder of `identity`, at `path`, lies on the volume of the path's drive, not on one mounted
// on a folder; true where the drive's volume cannot be asked.
bool OnItsDrive(FileSystem& fs, const std::wstring& path, const FileId& identity);

// One folder of such a path, itself: missing, or a plain folder, with its identity, or anything
// else (a link, a file, a folder that cannot be opened).
enum class FolderStep { Missing, Plain, NotPlain };
FolderStep CheckFolderStep(FileSystem& fs, const std::wstring& folder,
                           std::optional<FileId>& identity);

}  // namespace bexlo
