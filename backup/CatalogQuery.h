#pragma once

// One use of one of the catalog's SQLite statements: its parameters bound in order, its rows
// stepped through, and the statement reset for its next use when done. Text goes in and comes
// out as its UTF-16LE units in a blob, so that every name the platform allows, a surrogate without
// its partner included, comes back as it went in and compares unit by unit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "backup/ContentHash.h"

struct sqlite3_stmt;

namespace bexlo {

class CatalogQuery {
public:
    // None, a statement that could not be prepared, fails at once.
    explicit CatalogQuery(sqlite3_stmt* statement);
    ~CatalogQuery();
    CatalogQuery(const CatalogQuery&) = delete;
    CatalogQuery& operator=(const CatalogQuery&) = delete;

    CatalogQuery& Int(std::int64_t value);
    CatalogQuery& Int(std::uint64_t value);
    CatalogQuery& Text(std::wstring_view text);
    // NULL for none.
    CatalogQuery& Hash(const std::optional<ContentHash>& hash);

    // Steps to the next row: false at the end, or on an error that Code() then gives.
    bool Next();
    // Steps to the end: false on an error.
    bool Run();
    int Code() const { return code_; }

    bool NullAt(int column) const;
    std::string Utf8At(int column) const;
    std::int64_t IntAt(int column) const;
    std::uint64_t UnsignedAt(int column) const;
    // Text as Text() binds it; none for anything else.
    std::optional<std::wstring> TextAt(int column) const;
    // A hash as Hash() binds it, none for NULL; nothing at all for anything else.
    std::optional<std::optional<ContentHash>> HashAt(int column) const;

private:
    std::optional<std::string_view> BlobAt(int column) const;

    sqlite3_stmt* statement_;
    int code_;
    int bound_ = 0;
};

}  // namespace bexlo
