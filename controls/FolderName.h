#pragma once

#include <string>
#include <string_view>

namespace bexlo {

// The nine characters no file or folder name may hold: / \ : * ? " < > |
bool IsRefusedNameChar(wchar_t c);

// Whether a name typed or pasted for a new folder makes exactly one folder inside the chosen
// one: none of the nine characters nor a control character, not blank, not made of dots alone
// ("." and ".." walk out of the folder), and none of the device names the platform keeps for
// itself (CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9), with or without an extension.
bool IsAcceptableFolderName(std::wstring_view name);

// `parent` + `name`, with one '\' between them: a drive root keeps its own.
std::wstring JoinFolderPath(const std::wstring& parent, const std::wstring& name);

}  // namespace bexlo
