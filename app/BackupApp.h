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

    // Ends a running copy the way its tray menu's Exit does, so that it releases the vendor
    // libraries, and waits a while for it to end. Returns kNoCopyRuns when no copy runs any more,
    // kCopyBusy when the copy refused (a backup is running), kCopyStillRuns when it did not end.
    static int CloseRunningCopy();

    // The name a second copy looks for: the executable's base name.
    static std::wstring ApplicationName();
    // The executable's folder.
    static std::wstring ProgramFolder();

private:
    std::wstring commandLine;
};

inline constexpr int kNoCopyRuns = 0;
inline constexpr int kCopyBusy = 1;
inline constexpr int kCopyStillRuns = 2;

}  // namespace bexlo
