#include "backup/CatalogStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <string_view>

#include "backup/CatalogQuery.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr int kApplicationId = 0x42786C43;
constexpr int kFormat = 3;
// The first format: its catalogs are brought to this one as they open.
constexpr int kFirstFormat = 1;
constexpr int kPageSize = 4096;

// Text is kept as CatalogQuery binds it: UTF-16LE units in blobs.
constexpr const char* kTables[] = {
    "CREATE TABLE meta(id INTEGER PRIMARY KEY CHECK(id = 1), volume INTEGER NOT NULL, "
    "folder_low INTEGER NOT NULL, folder_high INTEGER NOT NULL)",
    "CREATE TABLE machines(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE, "
    "unfinished INTEGER NOT NULL)",
    "CREATE TABLE folders(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE)",
    "CREATE TABLE listings(folder INTEGER NOT NULL, machine INTEGER NOT NULL, "
    "seen INTEGER NOT NULL, PRIMARY KEY(folder, machine)) WITHOUT ROWID",
    "CREATE TABLE records(folder INTEGER NOT NULL, machine INTEGER NOT NULL, "
    "folded BLOB NOT NULL, name BLOB NOT NULL, source_size INTEGER NOT NULL, "
    "source_write INTEGER NOT NULL, source_change INTEGER NOT NULL, source_id INTEGER NOT NULL, "
    "copy_size INTEGER NOT NULL, copy_write INTEGER NOT NULL, copy_change INTEGER NOT NULL, "
    "copy_id INTEGER NOT NULL, made INTEGER NOT NULL, seen INTEGER NOT NULL, "
    "gone INTEGER NOT NULL, hash BLOB, PRIMARY KEY(folder, machine, folded)) WITHOUT ROWID",
};

// What each format adds to the one before: the check's columns and `kept`, then `restored`. A new
// catalog is laid out the same way, so that every catalog of a format has the one schema.
constexpr const char* kSecondFormat[] = {
    "ALTER TABLE records ADD COLUMN checked INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE records ADD COLUMN damaged INTEGER NOT NULL DEFAULT 0",
    "CREATE TABLE kept(path BLOB PRIMARY KEY, checked INTEGER NOT NULL) WITHOUT ROWID",
};
constexpr const char* kThirdFormat[] = {
    "CREATE TABLE restored(folder INTEGER NOT NULL, machine INTEGER NOT NULL, "
    "folded BLOB NOT NULL, PRIMARY KEY(folder, machine, folded)) WITHOUT ROWID",
};
// kChanges[i] brings a catalog of format i + 1 to format i + 2.
constexpr std::span<const char* const> kChanges[] = {kSecondFormat, kThirdFormat};
static_assert(std::size(kChanges) == kFormat - kFirstFormat);

// The statements that bring a catalog of format `from` to format `to`.
std::string ChangesBetween(int from, int to) {
    std::string sql;
    for (int format = from; format < to; ++format) {
        for (const char* change : kChanges[format - kFirstFormat]) {
            sql += change;
            sql += ';';
        }
    }
    return sql;
}

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

// The file could not be read or written, as against holding what no catalog holds.
bool Unreachable(int code) {
    switch (code & 0xFF) {
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_FULL:
        case SQLITE_NOMEM:
        case SQLITE_READONLY:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_PERM:
        case SQLITE_ABORT:
        case SQLITE_INTERRUPT:
            return true;
        default:
            return false;
    }
}

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

using OneOff = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// The first column of the first row that `sql` gives, as text: "" for no row.
struct Answer {
    int code = SQLITE_OK;
    std::string text;
};

Answer Ask(sqlite3* connection, const std::string& sql) {
    sqlite3_stmt* prepared = nullptr;
    Answer answer{sqlite3_prepare_v2(connection, sql.c_str(), -1, &prepared, nullptr), {}};
    const OneOff statement(prepared, &sqlite3_finalize);
    CatalogQuery query(prepared);
    if (query.Next()) {
        answer.text = query.Utf8At(0);
    }
    answer.code = answer.code != SQLITE_OK ? answer.code : query.Code();
    return answer;
}

// The rows of the schema, one a line. It stops after a few more rows than a catalog has.
Answer SchemaOf(sqlite3* connection) {
    constexpr int kMostRows = 2 * static_cast<int>(std::size(kTables) + std::size(kSecondFormat) +
                                                   std::size(kThirdFormat)) +
                              1;
    sqlite3_stmt* prepared = nullptr;
    Answer answer{sqlite3_prepare_v2(connection,
                                     "SELECT type, name, tbl_name, sql FROM sqlite_schema "
                                     "ORDER BY name",
                                     -1, &prepared, nullptr),
                  {}};
    const OneOff statement(prepared, &sqlite3_finalize);
    CatalogQuery query(prepared);
    for (int rows = 0; rows < kMostRows && query.Next(); ++rows) {
        for (int column = 0; column < 4; ++column) {
            answer.text += query.NullAt(column) ? std::string("\x1e") : query.Utf8At(column);
            answer.text += '\x1f';
        }
        answer.text += '\n';
    }
    answer.code = answer.code != SQLITE_OK ? answer.code : query.Code();
    return answer;
}

// The schema a catalog of `format` has, as SQLite records the tables this program makes: read
// from a catalog laid out in memory once.
std::optional<std::string> CatalogSchema(int format) {
    static std::optional<std::string> schemas[kFormat + 1];
    std::optional<std::string>& schema = schemas[format];
    if (schema) {
        return schema;
    }
    sqlite3* made = nullptr;
    const int code = sqlite3_open_v2(":memory:", &made, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> connection(made, &sqlite3_close);
    if (code != SQLITE_OK) {
        return std::nullopt;
    }
    std::string sql;
    for (const char* table : kTables) {
        sql += table;
        sql += ';';
    }
    sql += ChangesBetween(kFirstFormat, format);
    if (sqlite3_exec(made, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        return std::nullopt;
    }
    const Answer read = SchemaOf(made);
    if (read.code == SQLITE_OK) {
        schema = read.text;
    }
    return schema;
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

CatalogStore::Verdict CatalogStore::Check(const FileId& destination) {
    sqlite3* connection = connection_.get();
    const auto failed = [](int code) {
        return Unreachable(code) ? Verdict::Unreachable : Verdict::Damaged;
    };
    // The settings read the file first, and the first read rolls back a transaction cut short.
    // The journal's mode comes last: its answer is checked.
    const std::string settings[] = {
        "PRAGMA locking_mode = EXCLUSIVE",
        "PRAGMA synchronous = FULL",
        "PRAGMA cell_size_check = ON",
        "PRAGMA cache_size = -16384",
        "PRAGMA max_page_count = " + std::to_string(kCatalogFileLimit / kPageSize),
        "PRAGMA journal_mode = TRUNCATE"};
    Answer answer;
    for (const std::string& setting : settings) {
        if ((answer = Ask(connection, setting)).code != SQLITE_OK) {
            return failed(answer.code);
        }
    }
    if (answer.text != "truncate") {
        return Verdict::Damaged;
    }
    if ((answer = Ask(connection, "PRAGMA page_count")).code != SQLITE_OK) {
        return failed(answer.code);
    }
    if (answer.text == "0") {
        return Verdict::Empty;
    }
    if ((answer = Ask(connection, "PRAGMA application_id")).code != SQLITE_OK) {
        return failed(answer.code);
    }
    if (answer.text != std::to_string(kApplicationId)) {
        return Verdict::Damaged;
    }
    if ((answer = Ask(connection, "PRAGMA user_version")).code != SQLITE_OK) {
        return failed(answer.code);
    }
    int format = 0;
    for (int known = kFirstFormat; known <= kFormat; ++known) {
        format = answer.text == std::to_string(known) ? known : format;
    }
    if (format == 0) {
        return Verdict::Damaged;
    }
    const std::optional<std::string> schema = CatalogSchema(format);
    if (!schema) {
        return Verdict::Unreachable;
    }
    if ((answer = SchemaOf(connection)).code != SQLITE_OK) {
        return failed(answer.code);
    }
    if (answer.text != *schema) {
        return Verdict::Damaged;
    }
    if ((answer = Ask(connection, "PRAGMA quick_check(1)")).code != SQLITE_OK) {
        return failed(answer.code);
    }
    if (answer.text != "ok") {
        return Verdict::Damaged;
    }
    sqlite3_stmt* prepared = nullptr;
    const int code = sqlite3_prepare_v2(
        connection, "SELECT volume, folder_low, folder_high FROM meta", -1, &prepared, nullptr);
    const OneOff statement(prepared, &sqlite3_finalize);
    CatalogQuery meta(prepared);
    const bool found = meta.Next();
    // Windows 7 names a volume by 32 bits where later versions give 64.
    const bool same = found && meta.UnsignedAt(0) == (destination.volume & 0xFFFFFFFF) &&
                      meta.UnsignedAt(1) == destination.index &&
                      meta.UnsignedAt(2) == destination.indexHigh;
    const bool single = found && !meta.Next();
    if (code != SQLITE_OK || meta.Code() != SQLITE_OK) {
        return failed(code != SQLITE_OK ? code : meta.Code());
    }
    if (!single) {
        return Verdict::Damaged;
    }
    if (!same) {
        return Verdict::OtherDestination;
    }
    return format == kFormat || Upgrade(format) ? Verdict::Catalog : Verdict::Unreachable;
}

bool CatalogStore::Upgrade(int format) {
    const std::string sql =
        ChangesBetween(format, kFormat) + "PRAGMA user_version = " + std::to_string(kFormat);
    return Transaction([&] {
        return sqlite3_exec(connection_.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    });
}

bool CatalogStore::Create(const FileId& destination) {
    std::string sql = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                      "; PRAGMA user_version = " + std::to_string(kFormat) + ";";
    for (const char* table : kTables) {
        sql += table;
        sql += ';';
    }
    sql += ChangesBetween(kFirstFormat, kFormat);
    sql += "INSERT INTO meta VALUES(1, " + std::to_string(destination.volume & 0xFFFFFFFF) + ", " +
           std::to_string(std::bit_cast<std::int64_t>(destination.index)) + ", " +
           std::to_string(std::bit_cast<std::int64_t>(destination.indexHigh)) + ")";
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
