#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
