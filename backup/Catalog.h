#pragma once

// The catalog of a destination: for each backup copy, a record of what it was made from and of
// what it was when written, kept per PC in one SQLite database inside the versions folder. A
// press decides each file from its own record, never from a mark for the whole run. The database
// is opened only through the program's own file calls, defensively: the enclosure is a disk
// anyone may have prepared. A catalog that is damaged, not one of ours, or another destination's
// is set aside and a new one started, which costs one slower press and no history (the versions'
// indexes keep the records of what they keep).

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/ContentHash.h"
#include "backup/FileSystem.h"

namespace bexlo {

inline constexpr wchar_t kCatalogName[] = L"_Bexlo catalog.db";

struct CatalogRecord {
    // The copy's name as it was written.
    std::wstring name;
    // The PC's file as the copy read it, or, where Synchronize wrote the PC's file, as written.
    FileState source;
    // The backup copy as it was once written.
    FileState copy;
    // When the copy was first made, and the start of the last press that saw its source (UTC, in
    // the units of the entries' times).
    std::int64_t made = 0;
    std::int64_t seen = 0;
    // A press that listed the source's folder after `seen` did not find the source.
    bool gone = false;
    // What both files held; none for a record made without reading them.
    std::optional<ContentHash> hash;
    // When a check last read the copy back (0: never), and whether it then read different from
    // `hash` or could not be read: the next press copies it again.
    std::int64_t checked = 0;
    bool damaged = false;
    // A restore wrote the PC's file since: the next press takes it over the backup copy, whatever
    // their times. A record written anew drops the mark.
    bool restored = false;

    bool operator==(const CatalogRecord&) const = default;
};

// A record as a check of the backup copies meets it: in its folder, by the folder's key.
struct RecordToCheck {
    std::wstring folder;
    CatalogRecord record;
};

// What a check read of one backup copy.
struct CopyChecked {
    std::wstring folder;
    std::wstring name;
    // The hash read, for a record that had none: from now on the copy is held against it.
    std::optional<ContentHash> hash;
    bool damaged = false;
};

// The records of one backup folder.
struct FolderRecords {
    // This PC's, by folded name. A record's `seen` is the folder's while its source is not gone.
    std::map<std::wstring, CatalogRecord> mine;
    // The folded names another PC keeps a record of.
    std::set<std::wstring> others;
    // The start of the last press before this one that listed the source folder in full; 0 when
    // none did.
    std::int64_t seen = 0;
};

class Catalog {
public:
    // How the catalog this press uses came to be.
    enum class Start {
        Kept,              // the one there, checked
        New,               // none was there
        Damaged,           // the one there could not be read as a catalog: set aside
        OtherDestination,  // the one there was made for another destination folder: set aside
    };

    // Opens the catalog of `destination` (the long form of the destination folder), making the
    // versions folder and the catalog when missing, for the PC `machine` (its name in any case),
    // at a press that began at `now`. The catalog file is open for this program alone until the
    // catalog is gone: a second Open meanwhile gives nothing. Nothing when no catalog can be kept
    // there (the versions folder is a link or cannot be made, the disk refuses): the press then
    // decides every file as for a new catalog.
    static std::unique_ptr<Catalog> Open(FileSystem& fs, const std::wstring& destination,
                                         const std::wstring& machine, std::int64_t now);
    ~Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    Start HowStarted() const;
    // The start of this PC's earliest press that did not end with its records written, this one
    // aside: a copy written since may have no record, or one its data never reached the disk
    // for. 0 when there is none.
    std::int64_t UnfinishedSince() const;

    // The records of one backup folder, by its CatalogFolderKey ("" for the destination itself),
    // with what is staged.
    FolderRecords Folder(const std::wstring& folder);
    // Stage a change for the next Commit: a record replaces the one of its name in any case.
    void Put(const std::wstring& folder, const CatalogRecord& record);
    void Forget(const std::wstring& folder, const std::wstring& name);
    // The source folder of this backup folder was listed in full by this press.
    void Seen(const std::wstring& folder);
    std::size_t StagedCount() const;
    // Writes what is staged in one transaction, which a cut leaves before or after. False when it
    // could not be written; the catalog is then of no more use to this press.
    bool Commit();
    // The press is about to write its first copy: from now until Finish, a copy it makes may be
    // on the disk without its record, and the next press must not take it on trust. Written at
    // once; a press that copies nothing writes nothing for it.
    bool BeforeCopying();
    // This press ended with every record of its copies written: copies made since the earliest
    // unfinished press are no longer in doubt.
    bool Finish();

    // This PC's records, the longest unchecked first; nothing when the catalog cannot be read.
    std::optional<std::vector<RecordToCheck>> RecordsToCheck();
    // When each kept version was last read back, by its folded path below the versions folder.
    std::optional<std::map<std::wstring, std::int64_t>> VersionsChecked();
    // Writes in one transaction what a check read at `checked`: the copies, and the kept versions
    // by their folded path below the versions folder.
    bool WriteChecks(std::int64_t checked, const std::vector<CopyChecked>& copies,
                     const std::vector<std::wstring>& versions);

    class Database;

private:
    explicit Catalog(std::unique_ptr<Database> database);
    std::unique_ptr<Database> database_;
};

// The catalog's folder key of a backup folder: its path below the destination, folded
// ("WORK\SUB" for E:\FilesBackup\Work\Sub). Both paths long form, or both plain.
std::wstring CatalogFolderKey(const std::wstring& destination, const std::wstring& folder);

}  // namespace bexlo
