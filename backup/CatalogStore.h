#pragma once

// The catalog's SQLite database: opened defensively through the catalog's file layer, checked
// before anything in it is believed, and read and written by the statements here alone, each
// write in one transaction. Every call is made holding SqliteLock().
//
// Its tables: `meta`, one row naming the destination folder it belongs to; `machines`, each PC
// with the start of its earliest unfinished press; `folders`, each backup folder's folded path;
// `listings`, when each PC's press last listed a folder's source in full; `records`, the records,
// keyed by folder, PC and folded name, so that one range of the key holds a folder's records;
// `kept`, when each kept version was last read back; `restored`, by the records' key, the records
// whose PC file a restore wrote since. A catalog of an earlier format is brought to this one when
// it opens.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "backup/Catalog.h"
#include "backup/CatalogFiles.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bexlo {

// What a press has staged for one backup folder: records by folded name (none: forgotten), and
// whether its source folder was listed in full.
struct CatalogFolderStage {
    std::map<std::wstring, std::optional<CatalogRecord>> records;
    bool listed = false;
};
using CatalogStage = std::map<std::wstring, CatalogFolderStage>;

class CatalogStore {
public:
    // What the file turned out to hold.
    enum class Verdict {
        Catalog,           // a catalog of this destination
        Empty,             // nothing yet: a catalog can be laid out in it
        Damaged,           // no catalog of ours, or not one that can be read
        OtherDestination,  // a catalog of another destination folder
        Unreachable,       // it could not be read to the end: the disk refused, or went
    };

    // Opens the database at `path` (long form), made when `create`; nothing when the file cannot
    // be opened.
    static std::unique_ptr<CatalogStore> Open(FileSystem& fs, const std::wstring& path,
                                              bool create);
    // A journal emptied by the last commit goes with it.
    ~CatalogStore();
    CatalogStore(const CatalogStore&) = delete;
    CatalogStore& operator=(const CatalogStore&) = delete;

    // Sets the connection up and reads what the file holds, rolling back a transaction cut short.
    Verdict Check(const FileId& destination);
    // Lays out a catalog of `destination` in the empty database.
    bool Create(const FileId& destination);

    struct Press {
        std::int64_t machine = 0;
        // The start of the machine's earliest press that did not finish; 0 when none.
        std::int64_t unfinishedSince = 0;
    };
    // A press of `machine` (folded) began: the machine, made known when new, and its earliest
    // unfinished press.
    std::optional<Press> StartPress(const std::wstring& machine);
    // The machine's press that began at `now` is about to copy: it is unfinished unless an
    // earlier one still is.
    bool MarkUnfinished(std::int64_t machine, std::int64_t now);

    // The records of one backup folder as written: the machine's own with the `seen` they were
    // written with, the folded names of the others' records, and the machine's listing of it.
    std::optional<FolderRecords> Read(const std::wstring& folder, std::int64_t machine);
    // When the machine last listed the folder's source in full; 0 when it never did.
    std::optional<std::int64_t> Listed(const std::wstring& folder, std::int64_t machine);
    // Writes what is staged, the listings at `now`; with `finish`, the machine's presses are no
    // longer unfinished. Nothing is written when there is nothing to write.
    bool Write(const CatalogStage& stage, std::int64_t machine, std::int64_t now, bool finish);

    // The machine's records of every folder, the longest unchecked first.
    std::optional<std::vector<RecordToCheck>> RecordsToCheck(std::int64_t machine);
    // When each kept version was last read back, by its folded path below the versions folder.
    std::optional<std::map<std::wstring, std::int64_t>> VersionsChecked();
    // What a check read at `checked`, in one transaction.
    bool WriteChecks(std::int64_t machine, std::int64_t checked,
                     const std::vector<CopyChecked>& copies,
                     const std::vector<std::wstring>& versions);

private:
    enum Sql : std::size_t {
        kFindFolder,
        kAddFolder,
        kFindListing,
        kPutListing,
        kFolderRecords,
        kPutRecord,
        kDropRecord,
        kFindMachine,
        kAddMachine,
        kSetUnfinished,
        kRecordsToCheck,
        kSetChecked,
        kMarkDamaged,
        kVersionsChecked,
        kSetVersionChecked,
        kFolderRestored,
        kPutRestored,
        kDropRestored,
        kSqlCount
    };
    struct StatementEnd {
        void operator()(sqlite3_stmt* statement) const;
    };
    struct ConnectionEnd {
        void operator()(sqlite3* connection) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementEnd>;

    CatalogStore(FileSystem& fs, const std::wstring& path);
    // The cached statement; none when it cannot be prepared.
    sqlite3_stmt* Prepared(Sql sql);
    // Runs `body` in one write transaction, rolled back when anything in it fails.
    template <typename Body>
    bool Transaction(Body body);
    // Runs `sql` in one write transaction.
    bool Execute(const std::string& sql);
    // Brings a catalog of an earlier `format` to this one, in one transaction.
    bool Upgrade(int format);
    bool SetChecked(std::int64_t machine, std::int64_t checked, const CopyChecked& copy);
    bool MarkDamaged(std::int64_t machine, std::int64_t checked, const CopyChecked& copy);
    // The folder's id, made when `add` is set and it has none; 0 for none.
    std::optional<std::int64_t> FolderId(const std::wstring& folder, bool add);
    std::optional<std::int64_t> ListingOf(std::int64_t folder, std::int64_t machine);
    bool Put(std::int64_t folder, std::int64_t machine, const std::wstring& key,
             const CatalogRecord& record);
    // Marks this PC's records of the folder whose files were restored since.
    bool ReadRestored(std::int64_t folder, std::int64_t machine, FolderRecords& records);
    bool PutRestored(std::int64_t folder, std::int64_t machine, const std::wstring& key,
                     bool restored);

    FileSystem& fs_;
    std::wstring path_;
    CatalogFileLayer layer_;
    std::unique_ptr<sqlite3, ConnectionEnd> connection_;
    std::array<Statement, kSqlCount> statements_;
    std::map<std::wstring, std::int64_t> folderIds_;
    // No write has failed: a journal left behind holds nothing to roll back.
    bool clean_ = true;
};

}  // namespace bexlo
