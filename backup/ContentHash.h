#pragma once

// What a file holds, as one 128-bit hash (XXH3-128) computed as its data passes: a backup copy's
// record keeps it, so that the copy can be checked later without its source.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace bexlo {

struct ContentHash {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    bool operator==(const ContentHash&) const = default;
};

// 32 hex digits, the high half first; and back. Anything else reads as nothing.
std::string HashText(const ContentHash& hash);
bool ParseHashText(std::string_view text, ContentHash& hash);

// Hashes data handed over in pieces.
class ContentHasher {
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void Add(std::span<const std::uint8_t> bytes);
    // The hash of everything added so far.
    ContentHash Result() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

ContentHash HashOf(std::span<const std::uint8_t> bytes);

}  // namespace bexlo
