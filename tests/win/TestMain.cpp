#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A prefix starts its notification area with its first window: an icon added before it is up
    // is refused, as at a logon before the taskbar, which a tray test would take for a fault.
    for (int tries = 0; tries < 200 && ::FindWindowW(L"Shell_TrayWnd", nullptr) == nullptr;
         ++tries) {
        ::Sleep(100);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
