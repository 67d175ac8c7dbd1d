#pragma once

// Our data files hold UTF-16LE text, and their layouts count 16-bit units. wchar_t is 16 bits
// on Windows and 32 on the host, so the formats work on char16_t and convert at the edges.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bexlo {

// The text of `bytes` as read into a zeroed buffer: an odd last byte makes a unit of its own
// and the text ends at the first NUL unit.
std::u16string Utf16TextUpToNul(std::span<const std::uint8_t> bytes);

void AppendUtf16Le(std::vector<std::uint8_t>& bytes, std::u16string_view text);
// A byte-order mark, which Notepad goes by, then the text in UTF-16LE.
std::vector<std::uint8_t> Utf16LeWithMark(std::u16string_view text);

std::u16string ToUtf16(std::wstring_view text);
std::wstring FromUtf16(std::u16string_view text);

// " 5" or "99": the "%2d" form of a count from 0 to 99.
std::u16string TwoDigits(int value);

}  // namespace bexlo
