#pragma once

// Names compare the way the file system compares them: unit by unit, ordinal, each UTF-16 unit
// upper-cased by the platform's table, so "Été" and "été" are one name while "Straße" and
// "STRASSE" are two.

#include <string>
#include <string_view>

namespace bexlo {

// The name in the form two names that the file system takes for one share.
std::wstring FoldCase(std::wstring_view text);
bool SameName(std::wstring_view a, std::wstring_view b);

}  // namespace bexlo
