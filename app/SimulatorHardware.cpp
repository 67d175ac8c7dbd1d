#include <windows.h>

#include "app/BackupApp.h"
#include "app/Hardware.h"
#include "app/SimulatorOption.h"
#include "device/WindowsDeviceSeam.h"
#include "sim/SimStateFile.h"
#include "sim/SimulatorSeam.h"

namespace bexlo {

namespace {

constexpr wchar_t kSimulatorCaption[] = L"Bexlo Simulator";

// The stand-in vendor libraries run inside an elevated program: only the simulator's own folder
// beside the program (which the installer never ships) may provide them.
bool SimulatorAllowed(const std::wstring& folder) {
    wchar_t full[MAX_PATH]{};
    const DWORD length = ::GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    if (length > 0 && length < MAX_PATH &&
        SimulatorFolderAllowed(std::wstring(full, length), BackupApp::ProgramFolder())) {
        return true;
    }
    const std::wstring text = L"The simulated enclosures cannot be used.\n\n" + folder +
                              L"\nOnly the folder \"sim\" beside the program, or a folder in it, "
                              L"may hold them.";
    ::MessageBoxW(nullptr, text.c_str(), kSimulatorCaption, MB_OK | MB_ICONERROR);
    return false;
}

// A simulator description the program could only half read would run it on enclosures nobody
// described: it says what is wrong and the program does not start.
bool SimulatorUsable(const std::wstring& folder) {
    SimStateFile description(folder);
    if (description.Read()) {
        return true;
    }
    const std::string& error = description.LastError();
    const std::wstring text = L"The simulated enclosures cannot be used.\n\n" + description.Path() +
                              L"\n" + std::wstring(error.begin(), error.end());
    ::MessageBoxW(nullptr, text.c_str(), kSimulatorCaption, MB_OK | MB_ICONERROR);
    return false;
}

}  // namespace

// The simulator changes the hardware the device layer sees and nothing else.
HardwareMaker ChooseHardware(const std::wstring& commandLine) {
    const std::optional<std::wstring> folder =
        SimulatorFolder(commandLine, BackupApp::ProgramFolder());
    if (!folder) {
        return [] { return std::make_unique<WindowsDeviceSeam>(); };
    }
    if (!SimulatorAllowed(*folder) || !SimulatorUsable(*folder)) {
        return {};
    }
    return [folder = *folder] { return std::make_unique<SimulatorSeam>(folder); };
}

}  // namespace bexlo
