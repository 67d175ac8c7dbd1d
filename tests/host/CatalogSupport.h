#pragma once

// What the catalog's tests share: a press's times, the destination on drive E, records that tell
// themselves apart, and a fixture with a disk holding the destination folder.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backup/Catalog.h"
#include "backup/CatalogFiles.h"
#include "framework/NameCase.h"
#include "tests/host/MemoryFileSystem.h"

namespace bexlo::catalog_test {

inline constexpr std::int64_t kSecond = 10'000'000;
inline constexpr std::int64_t kDay = 86400 * kSecond;
// 2026-01-05 12:00 UTC, in 100-ns units since 1601.
inline constexpr std::int64_t kStart = (134774LL + 20458) * kDay + 12 * 3600 * kSecond;
inline constexpr wchar_t kDestination[] = L"\\\\?\\E:\\FilesBackup";
inline constexpr wchar_t kVersions[] = L"E:\\FilesBackup\\Bexlo versions";
inline constexpr wchar_t kFile[] = L"E:\\FilesBackup\\Bexlo versions\\_Bexlo catalog.db";

// Runs SQL on a database file as any program could, none of the catalog's checks in the way.
inline void Tamper(MemoryFileSystem& fs, const std::wstring& path, const std::string& sql) {
    const std::lock_guard lock(SqliteLock());
    CatalogFileLayer layer(fs);
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open_v2(CatalogFileName(path).c_str(), &connection,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, layer.Name()),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(connection);
    sqlite3_close(connection);
}

// A record whose every field tells it from the others made with another `n`.
inline CatalogRecord Record(const std::wstring& name, std::uint64_t n, bool hashed = true) {
    CatalogRecord record;
    record.name = name;
    record.source = {n * 1000 + 1, kStart - kDay + static_cast<std::int64_t>(n), kStart - 7,
                     0xF000'0000'0000'0000ull + n};
    record.copy = {n * 1000 + 2, kStart - kDay + 3, kStart - 5 - static_cast<std::int64_t>(n),
                   900 + n};
    record.made = kStart - 2 * kDay;
    record.seen = kStart;
    if (hashed) {
        record.hash = ContentHash{0x0123'4567'89AB'CDEFull ^ n, 0xFEDC'BA98'7654'3210ull + n};
    }
    return record;
}

// What the catalog gives for `records` as this PC's, their source folder last listed at `listed`.
inline std::map<std::wstring, CatalogRecord> Mine(std::vector<CatalogRecord> records,
                                                  std::int64_t listed) {
    std::map<std::wstring, CatalogRecord> mine;
    for (CatalogRecord& record : records) {
        if (!record.gone) {
            record.seen = listed;
        }
        mine[FoldCase(record.name)] = record;
    }
    return mine;
}

class CatalogTest : public testing::Test {
protected:
    CatalogTest() { fs.AddFolder(L"E:\\FilesBackup"); }

    std::unique_ptr<Catalog> Open(std::int64_t now = kStart,
                                  const std::wstring& machine = L"PC-ONE") {
        return Catalog::Open(fs, kDestination, machine, now);
    }

    // A catalog holding `records` in the folder "WORK", listed at kStart.
    void Keep(const std::vector<CatalogRecord>& records) {
        const std::unique_ptr<Catalog> catalog = Open();
        ASSERT_TRUE(catalog);
        catalog->Seen(L"WORK");
        for (const CatalogRecord& record : records) {
            catalog->Put(L"WORK", record);
        }
        ASSERT_TRUE(catalog->Commit());
        ASSERT_TRUE(catalog->Finish());
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
};

}  // namespace bexlo::catalog_test
