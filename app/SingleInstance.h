#pragma once

#include <windows.h>

#include <string>

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

// The top-level dialog window captioned `caption` that a process running `programFile` shows:
// a window of any other program or class that carries the caption (a folder window named so)
// is passed over. Null when there is none.
HWND FindProgramWindow(const std::wstring& caption, const std::wstring& programFile);

// The machine-wide guard: whoever holds it polls the enclosures and runs backups, in whichever
// session it runs. Only administrators and the system may open it, so that no other program can
// hold it or wait on it. Null when it cannot be had (a name held by someone else's object).
UniqueKernelHandle OpenMachineGuard();

inline constexpr wchar_t kMachineGuardName[] = L"Global\\BexloEnclosures";

}  // namespace bexlo
