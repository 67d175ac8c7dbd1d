#pragma once

#include <string>
#include <vector>

namespace bexlo {

// The command line's arguments, split at blanks outside double quotes, the quotes dropped.
std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine);

// Whether `argument` begins with `option` ("/name", lower case), in any case.
bool StartsWithOption(const std::wstring& argument, const std::wstring& option);

// The exit option: "/exit" asks a running copy to end the way its tray menu's Exit does (the
// installer uses it before it replaces the program's files).
bool ExitRequested(const std::wstring& commandLine);

}  // namespace bexlo
