#include "backup/CatalogStore.h"

#include <sqlite3.h>

#include <algorithm>

#include "backup/CatalogQuery.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr const char* kStatements[] = {
    "SELECT id FROM folders WHERE path = ?1",
    "INSERT INTO folders(path) VALUES(?1)",
    "SELECT seen FROM listings WHERE folder = ?1 AND machine = ?2",
    "INSERT OR REPLACE INTO listings VALUES(?1, ?2, ?3)",
    "SELECT machine, folded, name, source_size, source_write, source_change, source_id, "
    "copy_size, copy_write, copy_change, copy_id, made, seen, gone, hash, checked, damaged "
    "FROM records WHERE folder = ?1",
    "INSERT OR REPLACE INTO records "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)",
    "DELETE FROM records WHERE folder = ?1 AND machine = ?2 AND folded = ?3",
    "SELECT id, unfinished FROM machines WHERE name = ?1",
    "INSERT INTO machines(name, unfinished) VALUES(?1, ?2)",
    "UPDATE machines SET unfinished = ?2 WHERE id = ?1",
    "SELECT r.machine, r.folded, r.name, r.source_size, r.source_write, r.source_change, "
    "r.source_id, r.copy_size, r.copy_write, r.copy_change, r.copy_id, r.made, r.seen, r.gone, "
    "r.hash, r.checked, r.damaged, f.path FROM records r JOIN folders f ON f.id = r.folder "
    "WHERE r.machine = ?1 ORDER BY r.checked, f.path, r.folded",
    "UPDATE records SET checked = ?4, hash = coalesce(hash, ?5) "
    "WHERE folder = (SELECT id FROM folders WHERE path = ?1) AND machine = ?2 AND folded = ?3",
    "UPDATE records SET checked = ?4, damaged = 1 "
    "WHERE folder = (SELECT id FROM folders WHERE path = ?1) AND machine = ?2 AND folded = ?3",
    "SELECT path, checked FROM kept",
    "INSERT OR REPLACE INTO kept VALUES(?1, ?2)",
    "SELECT folded FROM restored WHERE folder = ?1 AND machine = ?2",
    "INSERT OR REPLACE INTO restored VALUES(?1, ?2, ?3)",
    "DELETE FROM restored WHERE folder = ?1 AND machine = ?2 AND folded = ?3",
};

// A record row of the folder's records; none when it is not one this program writes.
std::optional<CatalogRecord> RecordAt(const CatalogQuery& row, const std::wstring& key) {
    std::optional<std::wstring> name = row.TextAt(2);
    const std::optional<std::optional<ContentHash>> hash = row.HashAt(14);
    if (!name || !hash || FoldCase(*name) != key) {
        return std::nullopt;
    }
    return CatalogRecord{
        .name = std::move(*name),
        .source = {row.UnsignedAt(3), row.IntAt(4), row.IntAt(5), row.UnsignedAt(6)},
        .copy = {row.UnsignedAt(7), row.IntAt(8), row.IntAt(9), row.UnsignedAt(10)},
        .made = row.IntAt(11),
        .seen = row.IntAt(12),
        .gone = row.IntAt(13) != 0,
        .hash = *hash,
        .checked = row.IntAt(15),
        .damaged = row.IntAt(16) != 0};
}

}  // namespace

void CatalogStore::StatementEnd::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void CatalogStore::ConnectionEnd::operator()(sqlite3* connection) const {
    sqlite3_close(connection);
}

CatalogStore::CatalogStore(FileSystem& fs, const std::wstring& path)
    : fs_(fs), path_(path), layer_(fs) {}

std::unique_ptr<CatalogStore> CatalogStore::Open(FileSystem& fs, const std::wstring& path,
                                                 bool create) {
    std::unique_ptr<CatalogStore> store(new CatalogStore(fs, path));
    if (store->layer_.Name() == nullptr) {
        return nullptr;
    }
    sqlite3* connection = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE | (create ? SQLITE_OPEN_CREATE : 0);
    const int code =
        sqlite3_open_v2(CatalogFileName(path).c_str(), &connection, flags, store->layer_.Name());
    std::unique_ptr<sqlite3, ConnectionEnd> opened(connection);
    if (code != SQLITE_OK) {
        return nullptr;
    }
    // Whoever prepared the disk wrote the file: nothing in it may run code, change how SQLite
    // reads it, or make a statement grow past what the catalog's own statements need.
    int set = 0;
    sqlite3_db_config(connection, SQLITE_DBCONFIG_DEFENSIVE, 1, &set);
    sqlite3_db_config(connection, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &set);
    sqlite3_db_config(connection, SQLITE_DBCONFIG_ENABLE_VIEW, 0, &set);
    sqlite3_db_config(connection, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &set);
    sqlite3_limit(connection, SQLITE_LIMIT_LENGTH, 1 << 20);
    sqlite3_limit(connection, SQLITE_LIMIT_SQL_LENGTH, 8192);
    sqlite3_limit(connection, SQLITE_LIMIT_COLUMN, 32);
    sqlite3_limit(connection, SQLITE_LIMIT_EXPR_DEPTH, 20);
    sqlite3_limit(connection, SQLITE_LIMIT_COMPOUND_SELECT, 2);
    sqlite3_limit(connection, SQLITE_LIMIT_VDBE_OP, 25000);
    sqlite3_limit(connection, SQLITE_LIMIT_FUNCTION_ARG, 8);
    sqlite3_limit(connection, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(connection, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 64);
    sqlite3_limit(connection, SQLITE_LIMIT_VARIABLE_NUMBER, 32);
    sqlite3_limit(connection, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    sqlite3_limit(connection, SQLITE_LIMIT_WORKER_THREADS, 0);
    store->connection_ = std::move(opened);
    return store;
}

CatalogStore::~CatalogStore() {
    // A connection closes only once its statements are gone.
    for (Statement& statement : statements_) {
        statement.reset();
    }
    if (!connection_) {
        return;
    }
    connection_.reset();
    // A commit leaves the journal empty, and an empty journal never holds a transaction to roll
    // back; its size is read through its handle, which no listing's stale size can mislead.
    const std::wstring journal = path_ + L"-journal";
    std::unique_ptr<RandomAccessFile> file = fs_.OpenOwnFile(journal, false);
    const bool empty = file && file->Size() == std::optional<std::uint64_t>(0);
    file.reset();
    if (empty) {
        fs_.RemoveFile(journal);
    }
}

sqlite3_stmt* CatalogStore::Prepared(Sql sql) {
    Statement& statement = statements_[sql];
    if (!statement) {
        sqlite3_stmt* prepared = nullptr;
        sqlite3_prepare_v3(connection_.get(), kStatements[sql], -1, SQLITE_PREPARE_PERSISTENT,
                           &prepared, nullptr);
        statement.reset(prepared);
    }
    return statement.get();
}

template <typename Body>
bool CatalogStore::Transaction(Body body) {
    sqlite3* connection = connection_.get();
    if (sqlite3_exec(connection, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK &&
        body() && sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        return true;
    }
    if (sqlite3_get_autocommit(connection) == 0) {
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    // Folders added in the transaction are gone with it.
    folderIds_.clear();
    return false;
}

bool CatalogStore::Execute(const std::string& sql) {
    return Transaction([&] {
        return sqlite3_exec(connection_.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    });
}

std::optional<CatalogStore::Press> CatalogStore::StartPress(const std::wstring& machine) {
    {
        CatalogQuery find(Prepared(kFindMachine));
        find.Text(machine);
        if (find.Next()) {
            return Press{find.IntAt(0), find.IntAt(1)};
        }
        if (find.Code() != SQLITE_OK) {
            return std::nullopt;
        }
    }
    Press press;
    const bool added = Transaction([&] {
        if (!CatalogQuery(Prepared(kAddMachine)).Text(machine).Int(std::int64_t{0}).Run()) {
            return false;
        }
        press.machine = sqlite3_last_insert_rowid(connection_.get());
        return true;
    });
    return added ? std::optional(press) : std::nullopt;
}

bool CatalogStore::MarkUnfinished(std::int64_t machine, std::int64_t now) {
    return Transaction(
        [&] { return CatalogQuery(Prepared(kSetUnfinished)).Int(machine).Int(now).Run(); });
}

std::optional<std::int64_t> CatalogStore::FolderId(const std::wstring& folder, bool add) {
    if (const auto known = folderIds_.find(folder); known != folderIds_.end()) {
        return known->second;
    }
    {
        CatalogQuery find(Prepared(kFindFolder));
        find.Text(folder);
        if (find.Next()) {
            return folderIds_[folder] = find.IntAt(0);
        }
        if (find.Code() != SQLITE_OK) {
            return std::nullopt;
        }
    }
    if (!add) {
        return 0;
    }
    if (!CatalogQuery(Prepared(kAddFolder)).Text(folder).Run()) {
        return std::nullopt;
    }
    return folderIds_[folder] = sqlite3_last_insert_rowid(connection_.get());
}

std::optional<std::int64_t> CatalogStore::Listed(const std::wstring& folder, std::int64_t machine) {
    const std::optional<std::int64_t> id = FolderId(folder, false);
    return id && *id != 0 ? ListingOf(*id, machine) : id;
}

std::optional<std::int64_t> CatalogStore::ListingOf(std::int64_t folder, std::int64_t machine) {
    CatalogQuery find(Prepared(kFindListing));
    find.Int(folder).Int(machine);
    const std::int64_t seen = find.Next() ? find.IntAt(0) : 0;
    return find.Code() == SQLITE_OK ? std::optional(seen) : std::nullopt;
}

std::optional<FolderRecords> CatalogStore::Read(const std::wstring& folder, std::int64_t machine) {
    const std::optional<std::int64_t> id = FolderId(folder, false);
    if (!id || *id == 0) {
        return id ? std::optional(FolderRecords{}) : std::nullopt;
    }
    const std::optional<std::int64_t> seen = ListingOf(*id, machine);
    if (!seen) {
        return std::nullopt;
    }
    FolderRecords records;
    records.seen = *seen;
    CatalogQuery rows(Prepared(kFolderRecords));
    rows.Int(*id);
    while (rows.Next()) {
        // A row this program would not have written is as good as none.
        std::optional<std::wstring> key = rows.TextAt(1);
        if (!key) {
            continue;
        }
        if (rows.IntAt(0) != machine) {
            records.others.insert(std::move(*key));
        } else if (std::optional<CatalogRecord> record = RecordAt(rows, *key)) {
            records.mine.emplace(std::move(*key), std::move(*record));
        }
    }
    if (rows.Code() != SQLITE_OK || !ReadRestored(*id, machine, records)) {
        return std::nullopt;
    }
    return records;
}

bool CatalogStore::ReadRestored(std::int64_t folder, std::int64_t machine, FolderRecords& records) {
    CatalogQuery rows(Prepared(kFolderRestored));
    rows.Int(folder).Int(machine);
    while (rows.Next()) {
        const std::optional<std::wstring> key = rows.TextAt(0);
        const auto record = key ? records.mine.find(*key) : records.mine.end();
        if (record != records.mine.end()) {
            record->second.restored = true;
        }
    }
    return rows.Code() == SQLITE_OK;
}

bool CatalogStore::PutRestored(std::int64_t folder, std::int64_t machine, const std::wstring& key,
                               bool restored) {
    return CatalogQuery(Prepared(restored ? kPutRestored : kDropRestored))
        .Int(folder)
        .Int(machine)
        .Text(key)
        .Run();
}

bool CatalogStore::Put(std::int64_t folder, std::int64_t machine, const std::wstring& key,
                       const CatalogRecord& record) {
    return PutRestored(folder, machine, key, record.restored) &&
           CatalogQuery(Prepared(kPutRecord))
               .Int(folder)
               .Int(machine)
               .Text(key)
               .Text(record.name)
               .Int(record.source.size)
               .Int(record.source.lastWrite)
               .Int(record.source.changeTime)
               .Int(record.source.fileId)
               .Int(record.copy.size)
               .Int(record.copy.lastWrite)
               .Int(record.copy.changeTime)
               .Int(record.copy.fileId)
               .Int(record.made)
               .Int(record.seen)
               .Int(std::int64_t{record.gone})
               .Hash(record.hash)
               .Int(record.checked)
               .Int(std::int64_t{record.damaged})
               .Run();
}

bool CatalogStore::Write(const CatalogStage& stage, std::int64_t machine, std::int64_t now,
                         bool finish) {
    return Transaction([&] {
        for (const auto& [folder, staged] : stage) {
            const bool adds =
                staged.listed || std::any_of(staged.records.begin(), staged.records.end(),
                                             [](const auto& r) { return r.second; });
            const std::optional<std::int64_t> id = FolderId(folder, adds);
            if (!id) {
                return false;
            }
            if (*id == 0) {
                continue;
            }
            for (const auto& [key, record] : staged.records) {
                const bool written = record ? Put(*id, machine, key, *record)
                                            : PutRestored(*id, machine, key, false) &&
                                                  CatalogQuery(Prepared(kDropRecord))
                                                      .Int(*id)
                                                      .Int(machine)
                                                      .Text(key)
                                                      .Run();
                if (!written) {
                    return false;
                }
            }
            if (staged.listed &&
                !CatalogQuery(Prepared(kPutListing)).Int(*id).Int(machine).Int(now).Run()) {
                return false;
            }
        }
        return !finish ||
               CatalogQuery(Prepared(kSetUnfinished)).Int(machine).Int(std::int64_t{0}).Run();
    });
}

std::optional<std::vector<RecordToCheck>> CatalogStore::RecordsToCheck(std::int64_t machine) {
    std::vector<RecordToCheck> records;
    CatalogQuery rows(Prepared(kRecordsToCheck));
    rows.Int(machine);
    while (rows.Next()) {
        std::optional<std::wstring> key = rows.TextAt(1);
        std::optional<std::wstring> folder = rows.TextAt(17);
        std::optional<CatalogRecord> record = key && folder ? RecordAt(rows, *key) : std::nullopt;
        if (record) {
            records.push_back({std::move(*folder), std::move(*record)});
        }
    }
    return rows.Code() == SQLITE_OK ? std::optional(std::move(records)) : std::nullopt;
}

std::optional<std::map<std::wstring, std::int64_t>> CatalogStore::VersionsChecked() {
    std::map<std::wstring, std::int64_t> checked;
    CatalogQuery rows(Prepared(kVersionsChecked));
    while (rows.Next()) {
        if (std::optional<std::wstring> path = rows.TextAt(0)) {
            checked[std::move(*path)] = rows.IntAt(1);
        }
    }
    return rows.Code() == SQLITE_OK ? std::optional(std::move(checked)) : std::nullopt;
}

bool CatalogStore::SetChecked(std::int64_t machine, std::int64_t checked, const CopyChecked& copy) {
    return CatalogQuery(Prepared(kSetChecked))
        .Text(copy.folder)
        .Int(machine)
        .Text(FoldCase(copy.name))
        .Int(checked)
        .Hash(copy.hash)
        .Run();
}

bool CatalogStore::MarkDamaged(std::int64_t machine, std::int64_t checked,
                               const CopyChecked& copy) {
    return CatalogQuery(Prepared(kMarkDamaged))
        .Text(copy.folder)
        .Int(machine)
        .Text(FoldCase(copy.name))
        .Int(checked)
        .Run();
}

bool CatalogStore::WriteChecks(std::int64_t machine, std::int64_t checked,
                               const std::vector<CopyChecked>& copies,
                               const std::vector<std::wstring>& versions) {
    return Transaction([&] {
        for (const CopyChecked& copy : copies) {
            if (!(copy.damaged ? MarkDamaged(machine, checked, copy)
                               : SetChecked(machine, checked, copy))) {
                return false;
            }
        }
        for (const std::wstring& version : versions) {
            if (!CatalogQuery(Prepared(kSetVersionChecked)).Text(version).Int(checked).Run()) {
                return false;
            }
        }
        return true;
    });
}

}  // namespace bexlo
