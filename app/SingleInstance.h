#pragma once

#include <windows.h>

#include <string>

#include "app/InstanceRules.h"
#include "framework/Handles.h"

namespace bexlo {

// The caption of the program's main dialog, and of the window a copy waiting for the enclosures
// shows instead.
inline constexpr wchar_t kMainCaption[] = L"Bexlo";

// Whether two paths name the same file (compared by volume and file number, so that case, short
// names and links make no difference; by name when a file cannot be opened).
bool SameFile(const std::wstring& a, const std::wstring& b);

// The program file that process `processId` runs; empty when it cannot be asked.
std::wstring ProcessProgramFile(DWORD processId);

// Whether `process` runs with administrator rights: its token's Administrators group is enabled,
// not kept only to deny. False when its token cannot be read.
bool HasAdministratorRights(HANDLE process);

// The main window of a copy of the program: the top-level dialog window captioned `caption` that
// a process running `programFile` shows, that process having administrator rights when `rights`
// asks. A window of any other program or class that carries the caption (a folder window named
// so), or of a copy started without rights when they are asked for, is passed over. Null when
// there is none.
HWND FindProgramWindow(const std::wstring& caption, const std::wstring& programFile,
                       CopyRights rights);

}  // namespace bexlo
