#pragma once

#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "app/BackupDlg.h"
#include "device/DeviceRecord.h"
#include "tests/host/FakeDeviceSeam.h"
#include "tests/win/TestSupport.h"

namespace bexlo::test {

inline constexpr int kDriveC = 2;
inline constexpr int kDriveE = 4;
// GPIO states of a family-3 enclosure: idle, and the button held.
inline constexpr std::uint8_t kGpioIdle = 0x1F;
inline constexpr std::uint8_t kGpioPressed = 0x0F;

// A machine with its system disk C: and, when `attached`, an enclosure of `family` as E:.
inline void SetUpMachine(testing_device::FakeDeviceSeam& seam, bool attached, int family = 3) {
    seam.drives[kDriveC] = testing_device::FakeDrive{};
    if (attached) {
        seam.drives[kDriveE] = {.mounted = testing_device::MountedRecord(0x1234ABCD, 32256)};
        seam.enumLetters[kFamilyIdentities[family - 1]] = "E";
        seam.gpio['E'] = {0, kGpioIdle};
    }
}

// The main dialog on a scripted machine, with an empty data folder.
class DialogOnMachine : public testing::Test {
protected:
    void SetUp() override {
        ClearDataFolder();
        SetUpMachine(withEnclosure, true);
        SetUpMachine(withoutEnclosure, false);
    }

    // Opens the main dialog modeless, as the program would with or without an enclosure.
    std::unique_ptr<BackupDlg> Open(bool enclosure = true, BackupDlg::Options options = {}) {
        seam = enclosure ? &withEnclosure : &withoutEnclosure;
        auto dialog = std::make_unique<BackupDlg>(*seam, std::move(options));
        EXPECT_TRUE(dialog->Create(nullptr));
        EXPECT_TRUE(PumpPosted()) << "waited for the start-up messages";
        window = dialog->Handle();
        return dialog;
    }

    // The shipped language packs in the data folder, and `language`, when given, chosen.
    static void UseShippedPacks(const std::wstring& language = {}) {
        for (const wchar_t* file : {L"Setup.txt", L"UI_String(U).txt", L"Msg_String(U).txt"}) {
            ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"lang\\" + file).c_str(),
                                    DataFile(file).c_str(), FALSE));
        }
        if (!language.empty()) {
            WriteUtf16File(DataFile(L"Setup.txt"), L"[MAIN]\r\nUI_String=" + language +
                                                       L"\r\nMsg_String=" + language + L"\r\n");
        }
    }

    // The enclosure of the last dialog's machine goes, or comes back, as the platform tells.
    void Detach() {
        seam->drives.erase(kDriveE);
        seam->enumLetters.clear();
        ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    }
    void Attach() {
        SetUpMachine(*seam, true);
        ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    }

    testing_device::FakeDeviceSeam withEnclosure;
    testing_device::FakeDeviceSeam withoutEnclosure;
    testing_device::FakeDeviceSeam* seam = nullptr;  // the machine of the last dialog opened
    HWND window = nullptr;                           // the last dialog opened
};

}  // namespace bexlo::test
