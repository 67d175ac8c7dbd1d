#pragma once

// Decides each pair of a press from the catalog, reading the files whose data decides, and keeps
// the records that need no copy: the counting pass before a press and the walk that acts judge
// alike, so that the one counts what the other does.

#include <cstdint>
#include <optional>
#include <string>

#include "backup/Catalog.h"
#include "backup/FileSystem.h"
#include "backup/PairDecision.h"

namespace bexlo {

// What every decision of one press shares.
struct PressContext {
    // None: every pair is decided as for a new catalog, and nothing is recorded.
    Catalog* catalog = nullptr;
    // The press's start, UTC.
    std::int64_t now = 0;
};

struct Judgement {
    Verdict verdict = Verdict::PassOver;
    // The file that could not be read (Unreadable), and why.
    std::wstring unreadable;
    std::uint32_t error = 0;
    // The file the verdict replaces reads as this, when that is known without reading it again.
    std::optional<ContentHash> replacedHash;
    // This PC's record of the copy before the press, if it had one.
    std::optional<CatalogRecord> record;
    // The verdict replaces a backup copy that a check found damaged: it goes aside, not as a
    // version.
    bool damagedCopy = false;
};

class PairJudge {
public:
    PairJudge(FileSystem& fs, PressContext context) : fs_(fs), context_(context) {}

    // The rules of one saved source: its mode and the traits of both volumes.
    void Item(bool synchronize, const std::wstring& source, const std::wstring& destination);
    const PairRules& Rules() const { return rules_; }

    // The records of one backup folder, and its key in the catalog.
    struct Folder {
        std::wstring key;
        FolderRecords records;
    };
    Folder Records(const std::wstring& destination, const std::wstring& backupFolder);

    // Judges the file `a` (source side) and its copy `b`, either of which may be missing, reading
    // whatever data decides; a pair found the same has its record staged.
    Judgement Judge(const std::wstring& a, const FileEntry* entryA, const std::wstring& b,
                    const FileEntry* entryB, const Folder& folder);

    // The record of a copy the walk made: `toBackup` when the source was copied to the backup,
    // else the backup copy was copied to the PC.
    CatalogRecord RecordOfCopy(const CopyMade& made, const std::wstring& name, bool toBackup,
                               const std::optional<CatalogRecord>& earlier) const;

    std::int64_t Now() const { return context_.now; }
    Catalog* CatalogOfPress() const { return context_.catalog; }

private:
    FileSystem& fs_;
    PressContext context_;
    PairRules rules_;
};

}  // namespace bexlo
