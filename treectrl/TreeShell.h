#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace bexlo {

// The shell's small-icon image list, shared by every tree; the shell owns it.
HIMAGELIST SystemImageList();
// The title the shell shows for a file name; empty when it gives none.
std::wstring ShellTitle(const std::wstring& name);

}  // namespace bexlo
