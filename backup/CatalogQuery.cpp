#include "backup/CatalogQuery.h"

#include <sqlite3.h>

#include <bit>

#include "backup/Utf16Text.h"

namespace bexlo {

CatalogQuery::CatalogQuery(sqlite3_stmt* statement)
    : statement_(statement), code_(statement != nullptr ? SQLITE_OK : SQLITE_ERROR) {}

CatalogQuery::~CatalogQuery() {
    if (statement_ != nullptr) {
        sqlite3_reset(statement_);
    }
}

CatalogQuery& CatalogQuery::Int(std::int64_t value) {
    if (code_ == SQLITE_OK) {
        code_ = sqlite3_bind_int64(statement_, ++bound_, value);
    }
    return *this;
}

CatalogQuery& CatalogQuery::Int(std::uint64_t value) {
    return Int(std::bit_cast<std::int64_t>(value));
}

CatalogQuery& CatalogQuery::Text(std::wstring_view text) {
    std::string bytes;
    for (const char16_t unit : ToUtf16(text)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    // A string's data is never null, so an empty text is an empty blob and not NULL.
    if (code_ == SQLITE_OK) {
        code_ =
            sqlite3_bind_blob64(statement_, ++bound_, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    }
    return *this;
}

CatalogQuery& CatalogQuery::Hash(const std::optional<ContentHash>& hash) {
    std::uint8_t bytes[16];
    for (int i = 0; hash && i < 8; ++i) {
        bytes[i] = static_cast<std::uint8_t>(hash->low >> (8 * i));
        bytes[8 + i] = static_cast<std::uint8_t>(hash->high >> (8 * i));
    }
    if (code_ == SQLITE_OK) {
        code_ = hash ? sqlite3_bind_blob(statement_, ++bound_, bytes, 16, SQLITE_TRANSIENT)
                     : sqlite3_bind_null(statement_, ++bound_);
    }
    return *this;
}

bool CatalogQuery::Next() {
    if (code_ != SQLITE_OK) {
        return false;
    }
    const int code = sqlite3_step(statement_);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        code_ = code;
    }
    return code == SQLITE_ROW;
}

bool CatalogQuery::Run() {
    while (Next()) {
    }
    return code_ == SQLITE_OK;
}

bool CatalogQuery::NullAt(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string CatalogQuery::Utf8At(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

std::int64_t CatalogQuery::IntAt(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::uint64_t CatalogQuery::UnsignedAt(int column) const {
    return std::bit_cast<std::uint64_t>(IntAt(column));
}

std::optional<std::wstring> CatalogQuery::TextAt(int column) const {
    const std::optional<std::string_view> bytes = BlobAt(column);
    if (!bytes || bytes->size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string units(bytes->size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<std::uint8_t>((*bytes)[2 * i]) |
                                         static_cast<std::uint8_t>((*bytes)[2 * i + 1]) << 8);
    }
    return FromUtf16(units);
}

std::optional<std::optional<ContentHash>> CatalogQuery::HashAt(int column) const {
    if (NullAt(column)) {
        return std::optional<ContentHash>();
    }
    const std::optional<std::string_view> bytes = BlobAt(column);
    if (!bytes || bytes->size() != 16) {
        return std::nullopt;
    }
    ContentHash hash;
    for (int i = 7; i >= 0; --i) {
        hash.low = (hash.low << 8) | static_cast<std::uint8_t>((*bytes)[i]);
        hash.high = (hash.high << 8) | static_cast<std::uint8_t>((*bytes)[8 + i]);
    }
    return std::optional<ContentHash>(hash);
}

std::optional<std::string_view> CatalogQuery::BlobAt(int column) const {
    if (sqlite3_column_type(statement_, column) != SQLITE_BLOB) {
        return std::nullopt;
    }
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data != nullptr ? std::string_view(data, static_cast<std::size_t>(size))
                           : std::string_view();
}

}  // namespace bexlo
