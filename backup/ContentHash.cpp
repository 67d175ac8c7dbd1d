#include "backup/ContentHash.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace bexlo {

struct ContentHasher::State {
    XXH3_state_t xxh;
};

ContentHasher::ContentHasher() : state_(std::make_unique<State>()) {
    XXH3_128bits_reset(&state_->xxh);
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::Add(std::span<const std::uint8_t> bytes) {
    XXH3_128bits_update(&state_->xxh, bytes.data(), bytes.size());
}

ContentHash ContentHasher::Result() const {
    const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh);
    return {hash.low64, hash.high64};
}

ContentHash HashOf(std::span<const std::uint8_t> bytes) {
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
    return {hash.low64, hash.high64};
}

std::string HashText(const ContentHash& hash) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[15 - i] = kDigits[(hash.high >> (4 * i)) & 0xF];
        text[31 - i] = kDigits[(hash.low >> (4 * i)) & 0xF];
    }
    return text;
}

bool ParseHashText(std::string_view text, ContentHash& hash) {
    if (text.size() != 32) {
        return false;
    }
    ContentHash parsed;
    for (std::size_t i = 0; i < 32; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) {
            return false;
        }
        std::uint64_t& half = i < 16 ? parsed.high : parsed.low;
        half = (half << 4) | static_cast<std::uint64_t>(digit);
    }
    hash = parsed;
    return true;
}

}  // namespace bexlo
