#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

constexpr bool kWideIs32Bits = sizeof(wchar_t) == 4;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::u16string Utf16TextUpToNul(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint8_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const auto unit = static_cast<char16_t>(bytes[i] | (high << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

void AppendUtf16Le(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

std::vector<std::uint8_t> Utf16LeWithMark(std::u16string_view text) {
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    AppendUtf16Le(bytes, text);
    return bytes;
}

std::u16string ToUtf16(std::wstring_view text) {
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t c : text) {
        const auto code = static_cast<char32_t>(c);
        if (kWideIs32Bits && code > 0xFFFF && code <= 0x10FFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

std::wstring FromUtf16(std::u16string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (kWideIs32Bits && IsHighSurrogate(unit) && i + 1 < text.size() &&
            IsLowSurrogate(text[i + 1])) {
            const char32_t low = text[++i];
            wide.push_back(
                static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        } else {
            wide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return wide;
}

std::u16string TwoDigits(int value) {
    std::u16string text(2, u' ');
    if (value >= 10) {
        text[0] = static_cast<char16_t>(u'0' + value / 10 % 10);
    }
    text[1] = static_cast<char16_t>(u'0' + value % 10);
    return text;
}

}  // namespace bexlo
