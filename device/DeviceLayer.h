#pragma once

#include <cstdint>
#include <vector>

#include "device/ButtonPoll.h"
#include "device/DeviceRecord.h"
#include "device/DeviceScan.h"
#include "device/DeviceSeam.h"

namespace bexlo {

inline constexpr std::uint32_t kDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;

// What the dialog must do after a device-change event, besides copying the trees'
// DriveIncludeFlags from the record.
struct DeviceChange {
    int found = 0;  // the rescan's result; 0 for events that do not rescan
    // The first device arrived: start timer 5, add the tray icon when in the tray, enable
    // controls 1004, 1001 and 1026, and add the newly included drives to both trees.
    bool firstArrived = false;
    // The last device went: stop timer 5, delete the tray icon when in the tray, disable
    // controls 1004, 1001 and 1026.
    bool lastRemoved = false;
    // After an arrival add, after a removal delete, the trees' drive items by this mask.
    std::uint32_t presentDrives = 0;
};

// The device layer as the main dialog holds it: the record of the last scan, the poll state,
// and the scanner and poller working on them.
class DeviceLayer {
public:
    DeviceLayer(DeviceSeam& seam, PollHost& host)
        : scanner(seam, record), poller(seam, record, state, host), seam_(seam) {}

    // Dialog initialisation: 1 when a device was found, and then the dialog starts timers 5
    // and 4 at 750 ms.
    int Start();
    // Timer 5.
    void OnPollTimer() { poller.OnPollTimer(); }
    // At the end of a run, as its box is answered: one read drops the press made during the run
    // or while the box was open, so that the next tick already listens.
    void DrainAfterRun() { poller.PollButtons(kPollDrain); }
    // WM_DEVICECHANGE with its event code.
    DeviceChange OnDeviceChange(std::uint32_t event);

    // The key check of a family-1 enclosure drive.
    PollResult CheckKey(int drive) { return poller.PollDevice(1, drive, kPollKeyCheck); }
    // A run message for the pressed enclosure while it takes them (families 1 and 2); any
    // message but "item starting" is the run's last.
    void SendRunMessage(int mode);
    // The family-1 enclosure drives, which carry the key.
    std::vector<int> KeyDrives() const;
    // The close paths: "sp216.dll" (its device closed first when asked) and "JMUsbDll.dll" go.
    void ReleaseVendorLibraries(bool closeSp216Device) {
        seam_.ReleaseVendorLibraries(closeSp216Device);
    }

    DeviceRecord record;
    PollState state;
    DeviceScanner scanner;
    ButtonPoller poller;

private:
    DeviceSeam& seam_;
};

}  // namespace bexlo
