#pragma once

// The backup as it was at any press, by the sources' original paths. What each file held at a
// moment is read from the records alone: the catalog's record of each backup copy, and the
// indexes of the press folders, which say what each press replaced and what the copy it replaced
// was made from. A file's state at moment T is the version kept by the earliest press after T
// that replaced it, or, when no press after T replaced it, the backup copy itself.

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/Catalog.h"
#include "backup/ContentHash.h"
#include "backup/FileSystem.h"

namespace bexlo {

// One state of a file as the backup keeps it.
struct KeptState {
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    // Where its bytes lie, a plain path: the backup copy, or a version in a press folder.
    std::wstring bytes;
    // The press folder's name; empty for the backup copy.
    std::wstring press;
    // When a press replaced it; 0 for the backup copy, which no press replaced yet.
    std::int64_t replaced = 0;
    // What it held, when its record says.
    std::optional<ContentHash> hash;
    // When the file was first backed up; 0 when no record says.
    std::int64_t made = 0;
    // When these bytes were written, as the record keeps it; 0 when not known.
    std::int64_t written = 0;
    // When the PC's file they were copied from had last changed before it was read, as the record
    // keeps it; 0 when not known.
    std::int64_t sourceChanged = 0;
    // The source was found missing at presses after `seen`.
    bool gone = false;
    std::int64_t seen = 0;
    // For a version: the backup copy as the catalog recorded it before the press that replaced
    // this, which a Synchronize of a copy changed on the enclosure leaves apart from it.
    std::optional<FileState> recordedCopy;
};

// A file as the backup holds it at one moment.
struct FileAtMoment {
    // Its full original path on the PC.
    std::wstring original;
    KeptState state;
    // The state of that moment was thinned away: this is the newest kept before it, or, if none,
    // the oldest after it.
    bool thinned = false;
    // The source no longer held it at that moment.
    bool gone = false;
    // A state of the PC's own file that Synchronize replaced, kept from the PC.
    bool fromPc = false;
};

class BackupTimeline {
public:
    static constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();

    // Reads the backup of the saved `sources` (plain full paths) in `destination` (a plain
    // path): the backup copies, the catalog's records of them (none without `catalog`) and every
    // press folder's index. Never follows a link.
    static BackupTimeline Read(FileSystem& fs, const std::wstring& destination,
                               const std::vector<std::wstring>& sources, Catalog* catalog);

    // The presses that changed something, newest first (UTC, in 100-ns units since 1601).
    std::vector<std::int64_t> Moments() const;
    // Every file of the backup at `moment` (a press from Moments, or kLatest), by original path;
    // the PC's own kept states after the backup's.
    std::vector<FileAtMoment> At(std::int64_t moment) const;
    // Every kept state of one file, oldest first, the backup copy last; the PC's own when
    // `fromPc`.
    std::vector<KeptState> VersionsOf(const std::wstring& original, bool fromPc) const;

private:
    struct File {
        std::wstring original;
        bool fromPc = false;
        // Oldest first.
        std::vector<KeptState> versions;
        std::optional<KeptState> copy;
    };

    // `folded`: the original path folded, which keys the file.
    File& FileFor(const std::wstring& original, std::wstring_view folded, bool fromPc);
    void ReadCopies(FileSystem& fs, const std::wstring& destination, const std::wstring& source,
                    Catalog* catalog);
    void ReadVersions(FileSystem& fs, const std::wstring& destination,
                      const std::vector<std::wstring>& sources);
    std::optional<FileAtMoment> StateAt(const File& file, std::int64_t moment) const;
    // Where the backup copy was changed on the enclosure after `moment`, apart from any press, the
    // candidate is not the state of the moment: a Synchronize that then took the change to the PC
    // kept the PC's file, which is. That file, or none where nothing kept it; nothing where the
    // candidate is the state.
    std::optional<const KeptState*> KeptFromThePc(const File& file, std::int64_t moment,
                                                  const KeptState& candidate) const;
    // The first press known to have started after `moment`.
    std::int64_t PressAfter(std::int64_t moment) const;

    // By side and folded original path.
    std::map<std::wstring, File> files_;
    std::set<std::int64_t> moments_;
    // Every press a record names, changed something or not.
    std::set<std::int64_t> presses_;
};

}  // namespace bexlo
