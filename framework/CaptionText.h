#pragma once

// Captions as the dialogs show them and as a screen reader says them. No window is needed here.

#include <span>
#include <string>

namespace bexlo {

// Gives each caption an access key where one is free: the first letter or digit that no other
// caption's key takes, marked with '&'. A caption that has a key keeps it; one with no free
// letter stays as it is.
void AddAccessKeys(std::span<std::wstring> captions);
// The caption as it reads: without its access-key mark, "&&" being a plain '&'.
std::wstring WithoutAccessKey(const std::wstring& caption);
// The text of a label ending in a colon and blanks ("Total copy progress: "), without them.
std::wstring WithoutTrailingColon(std::wstring text);

}  // namespace bexlo
