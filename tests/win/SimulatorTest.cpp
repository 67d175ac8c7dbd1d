// The simulator's Windows parts under Wine: the stand-in vendor libraries loaded by path and
// called through their exports, the state file they share, and the control surface.

#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "device/VendorLibraries.h"
#include "framework/Handles.h"
#include "sim/SimStateFile.h"
#include "sim/SimulatedHardware.h"

namespace bexlo {
namespace {

const char kBench[] =
    "enclosure family=1 letters=E signature=0x11 offsets=32256 physical=1\n"
    "enclosure family=3 letters=H signature=0x33 offsets=32256 physical=3\n"
    "enclosure family=6 letters=F signature=0x66 offsets=32256 physical=6\n"
    "enclosure family=7 letters=G signature=0x77 offsets=32256 physical=7\n"
    "enclosure family=9 letters=K signature=0x99 offsets=32256 physical=9\n"
    "enclosure family=10 letters=LM signature=0xAA offsets=32256,1048576 physical=10\n";

// A private simulator folder holding copies of the built stand-ins and control surface.
class SimulatorFolder : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"bexlo-sim-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        const std::wstring built = ModuleFolder(nullptr) + L"\\sim\\";
        for (const wchar_t* name :
             {L"PLx507.dll", L"JMUsbDll.dll", L"JMESata.dll", L"sp216.dll", L"BexloSim.exe"}) {
            ASSERT_TRUE(
                ::CopyFileW((built + name).c_str(), (folder_ + L"\\" + name).c_str(), FALSE))
                << "missing " << std::string(built.begin(), built.end()) << " file";
        }
        WriteState(kBench);
    }
    void TearDown() override {
        libraries_.clear();
        for (const wchar_t* name : {L"PLx507.dll", L"JMUsbDll.dll", L"JMESata.dll", L"sp216.dll",
                                    L"BexloSim.exe", L"enclosures.txt"}) {
            ::DeleteFileW((folder_ + L"\\" + name).c_str());
        }
        ::RemoveDirectoryW(folder_.c_str());
    }

    void WriteState(const std::string& text) {
        UniqueFileHandle file(::CreateFileW((folder_ + L"\\enclosures.txt").c_str(), GENERIC_WRITE,
                                            0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    SimEnclosure& Enclosure(SimState& state, char letter) { return *FindEnclosure(state, letter); }
    SimState State() { return SimStateFile(folder_).Read().value_or(SimState{}); }
    void Press(char letter, int presses = 1) {
        SimStateFile(folder_).Modify([&](SimState& state) {
            FindEnclosure(state, letter)->presses = presses;
            return true;
        });
    }

    template <typename Entry>
    Entry Export(const wchar_t* library, const char* name) {
        libraries_.emplace_back(::LoadLibraryW((folder_ + L"\\" + library).c_str()));
        EXPECT_TRUE(libraries_.back().Valid());
        Entry entry = ResolveVendorEntry<Entry>(libraries_.back().Get(), name);
        EXPECT_NE(entry, nullptr) << name;
        return entry;
    }

    // Runs the control surface on this folder; its exit code, or -1.
    DWORD Control(const std::wstring& arguments) {
        std::wstring line =
            L"\"" + folder_ + L"\\BexloSim.exe\" --folder \"" + folder_ + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process)) {
            return static_cast<DWORD>(-1);
        }
        UniqueKernelHandle owned(process.hProcess);
        UniqueKernelHandle thread(process.hThread);
        // The control surface sends its device change to our window: keep it answered.
        while (::MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 30000, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::DispatchMessageW(&message);
            }
        }
        DWORD code = static_cast<DWORD>(-1);
        ::GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    std::wstring folder_;
    std::vector<UniqueModule> libraries_;
};

TEST_F(SimulatorFolder, Plx507EnumeratesAndReadsTheGpio) {
    auto enumerate = Export<X507EnumDeviceFn>(L"PLx507.dll", "X507EnumDevice");
    auto getGpio = Export<X507GetGPIOFn>(L"PLx507.dll", "X507GetGPIO");
    auto close = Export<X507CloseDeviceFn>(L"PLx507.dll", "X507CloseDevice");
    ASSERT_TRUE(enumerate && getGpio && close);

    std::array<char, 260> identity{};
    std::strcpy(identity.data(), "USB\\VID_067B&PID_2506");
    std::array<std::uint8_t, 27> letters{};
    EXPECT_EQ(enumerate(identity.data(), 1, letters.data(), 27), 1);
    EXPECT_EQ(letters[0], 'H');
    close();
    std::strcpy(identity.data(), "USB\\VID_0402&PID_5627");
    EXPECT_EQ(enumerate(identity.data(), 1, letters.data(), 27), 1);
    EXPECT_EQ(letters[0], 'E');

    std::uint8_t gpio = 0;
    EXPECT_EQ(getGpio('H', &gpio), 0);
    EXPECT_EQ(gpio, 0x1F);
    Press('H');
    EXPECT_EQ(getGpio('H', &gpio), 0);
    EXPECT_EQ(gpio, 0x0F);
    EXPECT_EQ(State().enclosures[1].presses, 0) << "the reported press is taken";
    EXPECT_NE(getGpio('E', &gpio), 0);
}

TEST_F(SimulatorFolder, JmUsbListsItsBridgesAndReportsTheirButtons) {
    auto driveList = Export<GetDriveListFn>(L"JMUsbDll.dll", "GetDriveList");
    auto idList = Export<GetUsbIdListFn>(L"JMUsbDll.dll", "GetUsbIdList");
    auto layout = Export<JMGetButtonLayoutFn>(L"JMUsbDll.dll", "JMGetButtonLayout");
    auto status = Export<JMGetButtonStatusFn>(L"JMUsbDll.dll", "JMGetButtonStatus");
    auto atacb = Export<ATACBExecuteExFn>(L"JMUsbDll.dll", "ATACBExecuteEx");
    ASSERT_TRUE(driveList && idList && layout && status && atacb);

    std::array<std::uint8_t, 27> drives{};
    driveList(drives.data(), 27);
    std::array<char, 20 * 64> table{};
    ASSERT_EQ(idList(table.data(), 20), 2);
    const char* family6 = table.data();
    const char* family7 = table.data() + 64;
    EXPECT_EQ(std::strncmp(family6, "usb\\vid_152d&pid_2336\\", 22), 0) << family6;
    EXPECT_EQ(std::strncmp(family7, "usb\\vid_152d&pid_2338\\", 22), 0) << family7;

    Press('F');
    std::array<std::uint8_t, 10> buttons{};
    EXPECT_EQ(layout(family6, buttons.data(), 10), 1);
    EXPECT_NE(buttons[2], 0);
    EXPECT_NE(status(family6, buttons.data(), 10), 0);
    EXPECT_EQ(buttons[2], 1);
    EXPECT_NE(status(family6, buttons.data(), 10), 0);
    EXPECT_EQ(buttons[2], 0);

    Press('G');
    std::array<std::uint8_t, 24> block{};
    block[0] = 1;
    block[4] = 2;
    block[19] = 0xFF;
    std::uint16_t reply = 0;
    EXPECT_EQ(atacb(family7, block.data(), &reply, 2, 0), 0);
    EXPECT_EQ(reply, 0x01D2);
    EXPECT_EQ(atacb(family7, block.data(), &reply, 2, 0), 0);
    EXPECT_NE(reply, 0x01D2);
}

TEST_F(SimulatorFolder, JmEsataKnowsItsBridgeByTheSimulatedHandles) {
    auto identify = Export<JMIdentifyFirmwareFn>(L"JMESata.dll", "JMIdentifyFirmware");
    auto button = Export<JMButtonControlFn>(L"JMESata.dll", "JMButtonControl");
    ASSERT_TRUE(identify && button);

    const auto handle = [](DeviceHandle value) { return reinterpret_cast<HANDLE>(value); };
    std::uint32_t code = 0, value = 0;
    EXPECT_NE(identify(handle(kSimVolumeHandleBase + ('M' - 'A')), 1, &code, &value), 0);
    EXPECT_EQ(code, 0xF2u);
    code = 0;
    EXPECT_EQ(identify(handle(kSimVolumeHandleBase + ('E' - 'A')), 1, &code, &value), 0);
    EXPECT_EQ(code, 0u);

    Press('L');
    std::uint8_t pressed = 0;
    button(handle(kSimPhysicalHandleBase + 10), 1, &pressed);
    EXPECT_EQ(pressed, 1);
    button(handle(kSimPhysicalHandleBase + 10), 1, &pressed);
    EXPECT_EQ(pressed, 0);
}

TEST_F(SimulatorFolder, Sp216HandsOutDevicesAndTheirGpio) {
    auto enumerate = Export<EnumDeviceHandleFn>(L"sp216.dll", "EnumDeviceHandle");
    auto gpioRead = Export<Set_Get_GPIO_IndexFn>(L"sp216.dll", "Set_Get_GPIO_Index");
    auto close = Export<CloseDeviceFn>(L"sp216.dll", "CloseDevice");
    ASSERT_TRUE(enumerate && gpioRead && close);

    std::array<std::uint8_t, 52> identity{};
    std::memcpy(identity.data(), "04FC", 4);
    std::memcpy(identity.data() + 12, "0C25", 4);
    HANDLE device = enumerate(identity.data(), 1, 0);
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(enumerate(identity.data(), 1, 1), INVALID_HANDLE_VALUE);

    Press('K');
    std::uint8_t gpio = 0;
    gpioRead(0, 0, &gpio, device);
    EXPECT_EQ(gpio, 1);
    gpioRead(0, 0, &gpio, device);
    EXPECT_EQ(gpio, 1) << "read twice before the device is closed";
    close();
    gpioRead(0, 0, &gpio, device);
    EXPECT_EQ(gpio, 0);
    close();
}

// The program's main window, as the control surface finds it.
LRESULT CALLBACK RecordDeviceChange(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && lParam != 0) {
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
        auto* seen = reinterpret_cast<std::vector<std::pair<WPARAM, DWORD>>*>(
            ::GetWindowLongPtrW(window, GWLP_USERDATA));
        seen->emplace_back(
            wParam, volume->dbcv_devicetype == DBT_DEVTYP_VOLUME ? volume->dbcv_unitmask : 0);
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(SimulatorFolder, ControlSurfaceChangesTheStateAndTellsTheProgram) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordDeviceChange;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BexloSimTestProgram";
    ::RegisterClassW(&windowClass);
    HWND program = ::CreateWindowExW(0, windowClass.lpszClassName, L"Bexlo", WS_OVERLAPPED, 0, 0,
                                     10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(program, nullptr);
    std::vector<std::pair<WPARAM, DWORD>> seen;
    ::SetWindowLongPtrW(program, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));

    EXPECT_EQ(Control(L"press E"), 0u);
    EXPECT_EQ(Control(L"press e:"), 0u);
    EXPECT_EQ(Control(L"key E off"), 0u);
    SimState state = State();
    EXPECT_EQ(Enclosure(state, 'E').presses, 2);
    EXPECT_FALSE(Enclosure(state, 'E').keyPresent);

    EXPECT_EQ(Control(L"detach M"), 0u);
    EXPECT_EQ(Control(L"attach L"), 0u);
    state = State();
    EXPECT_TRUE(Enclosure(state, 'L').attached);
    const DWORD units = 1u << ('L' - 'A') | 1u << ('M' - 'A');
    const std::vector<std::pair<WPARAM, DWORD>> expected = {{DBT_DEVICEREMOVECOMPLETE, units},
                                                            {DBT_DEVICEARRIVAL, units}};
    EXPECT_EQ(seen, expected);

    EXPECT_EQ(Control(L"list"), 0u);
    EXPECT_EQ(Control(L"press Q"), 1u);
    EXPECT_EQ(Control(L"jump E"), 2u);
    WriteState("enclosure family=12\n");
    EXPECT_EQ(Control(L"press E"), 1u) << "a malformed file is not used";
    ::DestroyWindow(program);
}

}  // namespace
}  // namespace bexlo
