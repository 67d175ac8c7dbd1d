#pragma once

// What a press folder of earlier versions records, and the rules that decide from the records
// alone what is kept: the index file's lines, where a version lies in its press folder, the
// thinning by age and the bound on space.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "backup/Catalog.h"
#include "backup/FileSystem.h"

namespace bexlo {

// Inside a press folder: the index, and the folder of the PC-side files it keeps.
inline constexpr wchar_t kVersionIndexName[] = L"_Bexlo index.txt";
inline constexpr wchar_t kFromThePcName[] = L"From the PC";
// Of each file, the newest versions that neither age nor space removes.
inline constexpr std::size_t kNewestVersionsKept = 3;

enum class VersionSide { Backup, Pc };
enum class VersionReason {
    Changed,  // Copy wrote the changed source file over the backup copy
    Older,    // Synchronize wrote the newer file of the other side over it
};

struct VersionRecord {
    VersionSide side = VersionSide::Backup;
    VersionReason reason = VersionReason::Changed;
    // When it was replaced, UTC, in 100-ns units since 1601.
    std::int64_t when = 0;
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    // Where it is kept, below its press folder.
    std::wstring stored;
    // Where it was, a plain full path.
    std::wstring original;
    // Its copy's record in the catalog when it was replaced, if it had one: what the copy was
    // made from and what it held. A catalog made anew loses none of it.
    std::optional<CatalogRecord> record;
};

// The index file's bytes: UTF-16LE with a byte-order mark, one record a line, the copy's record
// after its seven fields when it had one.
// `complete`: the press ended and every record names a file kept; an index without it was cut
// short, and its records name files that may never have been moved.
std::vector<std::uint8_t> FormatVersionIndex(const std::vector<VersionRecord>& records,
                                             bool complete);
struct VersionIndex {
    std::vector<VersionRecord> records;
    bool complete = false;
};
// The records of an index; lines that are not records, or whose stored path would lead out of
// the press folder, are left out.
VersionIndex ParseVersionIndex(std::span<const std::uint8_t> bytes);

// A file's path below the backup folder: on the backup side its path below `destination`; on the
// PC side the name of the saved `source` it lies in and its path inside it.
std::wstring PathInBackup(VersionSide side, const std::wstring& path,
                          const std::wstring& destination, const std::wstring& source);
// Where a version of a file is kept below its press folder, given its path below the backup folder
// (the source's name and its path inside the source).
std::wstring StoredName(VersionSide side, const std::wstring& relative);

// "2026-12-08 091502" for a UTC time in 100-ns units since 1601.
std::wstring PressFolderName(std::int64_t when);

// One version as thinning sees it: the file it was (side and folded path) and when it was made.
struct VersionAge {
    std::wstring file;
    std::int64_t when = 0;
};

// Which versions the thinning rule keeps at `now`: all from the last 7 days; after that the newest
// per day up to 30 days, per week up to 26 weeks, per month after that; and the newest 3 of each
// file whatever their age. A version is the newest of its period when no newer version of the
// file falls in that period, whatever the newer one's age. Weeks start on Mondays and a week
// belongs to the month of its Monday: each period lies within the next coarser one, so that
// thinning at every press keeps what thinning once would.
std::vector<bool> VersionsToKeep(const std::vector<VersionAge>& versions, std::int64_t now);

// The space versions may take: at most a quarter of the volume, and never its last twentieth.
// Whether `more` bytes of versions fit beside `inVersions` on a volume with this space, when the
// press writes `written` bytes to the volume for them: a version kept by a rename takes no room,
// but the new copy beside it does.
bool VersionsFit(const VolumeSpace& space, std::uint64_t inVersions, std::uint64_t more,
                 std::uint64_t written);
inline bool VersionsFit(const VolumeSpace& space, std::uint64_t inVersions, std::uint64_t more) {
    return VersionsFit(space, inVersions, more, more);
}

}  // namespace bexlo
