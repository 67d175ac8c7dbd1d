#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/Handles.h"

namespace bexlo {
namespace {

DWORD VolumeSerial(const wchar_t* root) {
    DWORD serial = 0;
    if (!::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
        return 0;
    }
    return serial;
}

// The test environment maps the drive letters a test asks for, with their types and serials.
TEST(WineEnvironment, MappedDrivesHaveTheRequestedTypeAndSerial) {
    EXPECT_EQ(::GetDriveTypeW(L"E:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(VolumeSerial(L"E:\\"), 0x1234ABCDu);
    EXPECT_EQ(::GetDriveTypeW(L"F:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(VolumeSerial(L"F:\\"), 0x0BADF00Du);
    EXPECT_TRUE(::GetLogicalDrives() & (1u << 4));
    EXPECT_FALSE(::GetLogicalDrives() & (1u << 6)) << "G: was not asked for";

    const std::wstring path = L"E:\\probe.txt";
    {
        UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(file.Get(), "data", 4, &written, nullptr));
    }
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

}  // namespace
}  // namespace bexlo
