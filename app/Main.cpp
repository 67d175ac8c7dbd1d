#include <windows.h>

#include "app/BackupApp.h"
#include "app/CommandLine.h"
#include "framework/Guard.h"
#include "framework/SystemFunction.h"

namespace {

// The program runs as administrator: no library it or the platform loads later may come from
// the working folder or PATH, where a normal user could plant one. Only the program's folder and
// the system folder are searched (the call needs Windows 7 with KB2533623, hence the lookup).
void RestrictLibrarySearch() {
    ::SetDllDirectoryW(L"");
    auto restrict =
        bexlo::SystemFunction<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (restrict != nullptr) {
        restrict(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    RestrictLibrarySearch();
    if (bexlo::ExitRequested(commandLine)) {
        int status = bexlo::kCopyStillRuns;
        bexlo::GuardCall(L"CloseRunningCopy",
                         [&] { status = bexlo::BackupApp::CloseRunningCopy(); });
        return status;
    }
    bexlo::GuardCall(L"Startup", [&] { bexlo::BackupApp(commandLine).Startup(); });
    return 0;
}
