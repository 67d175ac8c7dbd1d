// The layout of the catalog's file: its tables in each format, the check that a file holds a
// catalog of this program's, and the making and bringing up to date of one.

#include "backup/CatalogStore.h"

#include <sqlite3.h>

#include <bit>
#include <span>
#include <string>

#include "backup/CatalogQuery.h"

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
    return Execute(sql);
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
    return Execute(sql);
}

}  // namespace bexlo
