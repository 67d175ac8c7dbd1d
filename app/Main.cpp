#include <windows.h>

#include "app/BackupApp.h"
#include "framework/Guard.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    bexlo::GuardCall(L"Startup", [&] { bexlo::BackupApp(commandLine).Startup(); });
    return 0;
}
