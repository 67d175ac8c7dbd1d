#pragma once

// The one rule that decides what becomes of a file and its backup copy: whatever counts, warns or
// shows progress asks it, as the walk that acts does. It decides from the two files as listed and
// from the copy's record in the catalog alone, never from anything another file met.

#include <cstdint>
#include <optional>

#include "backup/Catalog.h"
#include "backup/FileSystem.h"

namespace bexlo {

// What a volume keeps of its files' times and identities.
struct VolumeTraits {
    // FAT and exFAT: last-write times to 2 s, in local time, which a daylight-saving change moves
    // by an hour.
    bool coarseTimes = false;
    // A change time that no program can set back.
    bool changeTimes = true;
    // File ids that stay with a file for its life (not so on FAT or many network shares).
    bool stableIds = true;
};

// The traits of a volume by its file system's name ("NTFS", "FAT32", "exFAT" ...); `network`: a
// share, whose ids are not to be trusted.
VolumeTraits TraitsOf(const std::wstring& fileSystem, bool network);

enum class Verdict {
    PassOver,        // both are what the record says they were
    Record,          // nothing to copy; the record is made or brought up to date from the two
    CheckSource,     // the source's data decides: read it and hold it against the record's hash
    CheckCopy,       // the backup copy's data decides, the same way
    Compare,         // both files' data decide: read both and hold them against each other
    CopyNew,         // the backup has none: the source is copied
    CopyBack,        // Synchronize: the source is gone: the backup copy is copied back
    Replace,         // the backup copy is replaced by the source
    ReplaceSource,   // Synchronize: the source is replaced by the newer backup copy
    Conflict,        // Synchronize: neither can be taken for the newer; neither is overwritten
    Encrypted,       // the file to be read is encrypted: never copied in plain text
    TooLargeForFat,  // the file to be copied cannot be held by the destination's FAT
    Unreadable,      // a file whose data decides could not be read
};

// One source file and its backup copy, either of which may be missing (not both), neither a
// folder nor a link.
struct Pair {
    const FileEntry* source = nullptr;
    const FileEntry* copy = nullptr;
    // This PC's record of the copy.
    const CatalogRecord* record = nullptr;
    // Another PC keeps a record of a copy of this name.
    bool othersRecord = false;
};

struct PairRules {
    bool synchronize = false;
    VolumeTraits sourceVolume;
    VolumeTraits backupVolume;
    // The destination is FAT, which holds no file of 4 GiB or more.
    bool fatDestination = false;
    // UnfinishedSince of the catalog: a copy whose change time is not before it may have been
    // written by a press that was cut before its record was.
    std::int64_t unfinishedSince = 0;
};

Verdict Decide(const Pair& pair, const PairRules& rules);

// What a check or a comparison of the pair ends in: the same data (the record is brought up to
// date) or not.
Verdict AfterReading(const Pair& pair, bool same, const PairRules& rules);

// The verdict replaces a file (on either side).
inline bool Replaces(Verdict verdict) {
    return verdict == Verdict::Replace || verdict == Verdict::ReplaceSource;
}
// The verdict copies a file (on either side).
inline bool Copies(Verdict verdict) {
    return verdict == Verdict::CopyNew || verdict == Verdict::CopyBack || Replaces(verdict);
}
// The verdict must read data before it is final.
inline bool Reads(Verdict verdict) {
    return verdict == Verdict::CheckSource || verdict == Verdict::CheckCopy ||
           verdict == Verdict::Compare;
}

// The verdict replaces the backup copy that its record says a check found damaged.
bool ReplacesDamaged(const Pair& pair, Verdict verdict, const PairRules& rules);

// What the file about to be replaced holds, when its record says so without reading it.
std::optional<ContentHash> KnownReplacedHash(const Pair& pair, Verdict verdict,
                                             const PairRules& rules);

}  // namespace bexlo
