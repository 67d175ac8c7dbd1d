#pragma once

#include <windows.h>

#include <string>

namespace bexlo {

// The application object: makes sure only one copy runs, then runs the main dialog for the life
// of the process.
class BackupApp {
public:
    explicit BackupApp(std::wstring commandLine) : commandLine(std::move(commandLine)) {}

    // Always false: there is no message loop of the application's own after the dialog.
    bool Startup();

    // The name a second copy looks for: the executable's base name.
    static std::wstring ApplicationName();
    // The executable's folder.
    static std::wstring ProgramFolder();

private:
    static bool SimulatorUsable(const std::wstring& folder);

    std::wstring commandLine;
};

inline constexpr wchar_t kInstanceMutexName[] = L"Bexlo";
inline constexpr wchar_t kSimulatorCaption[] = L"Bexlo Simulator";

}  // namespace bexlo
