#include <windows.h>

#include "app/BackupApp.h"
#include "app/CommandLine.h"
#include "framework/Guard.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    if (bexlo::ExitRequested(commandLine)) {
        int status = bexlo::kCopyStillRuns;
        bexlo::GuardCall(L"CloseRunningCopy",
                         [&] { status = bexlo::BackupApp::CloseRunningCopy(); });
        return status;
    }
    bexlo::GuardCall(L"Startup", [&] { bexlo::BackupApp(commandLine).Startup(); });
    return 0;
}
