#pragma once

// SQLite's file layer for the catalog: the database and its rollback journal are opened through
// FileSystem::OpenOwnFile and nothing else, so that no path reaches a file behind the program's
// checks, and no other file is opened at all (temporary data stays in memory). SQLite is built
// without threads of its own: every call into it is made holding SqliteLock().

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "backup/FileSystem.h"

namespace bexlo {

// Held around every call into SQLite in the process, the file layers' own included.
std::mutex& SqliteLock();

// A file larger than this is no catalog of ours; the layer writes nothing past it.
inline constexpr std::uint64_t kCatalogFileLimit = 1ull << 30;

// The file layer of one FileSystem, registered with SQLite under a name of its own while any
// handle to it lives. Made and dropped with SqliteLock() held.
class CatalogFileLayer {
public:
    explicit CatalogFileLayer(FileSystem& fs);
    ~CatalogFileLayer();
    CatalogFileLayer(const CatalogFileLayer&) = delete;
    CatalogFileLayer& operator=(const CatalogFileLayer&) = delete;

    // The name to open a database with; none when SQLite could not be started.
    const char* Name() const;

private:
    FileSystem& fs_;
    const char* name_ = nullptr;
};

// A path as SQLite names files: UTF-8, with a surrogate that has no partner kept as one
// character, so that every name the platform allows comes back the same.
std::string CatalogFileName(std::wstring_view path);
std::wstring CatalogFilePath(std::string_view name);

}  // namespace bexlo
