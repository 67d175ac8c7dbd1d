#include "device/DeviceLayer.h"

#include <algorithm>

namespace bexlo {

int DeviceLayer::Start() {
    state.pollSkip = 2;
    state.notifyDevice = 0;
    if (scanner.ScanDevices() == 0) {
        return 0;
    }
    scanner.LookUpPhysicalDrives();
    state.devicePresent = 1;
    return 1;
}

DeviceChange DeviceLayer::OnDeviceChange(std::uint32_t event) {
    DeviceChange change;
    if (event == kDeviceArrival) {
        change.found = scanner.ScanDevices();
        if (change.found != 0 && state.devicePresent == 0) {
            state.devicePresent = 1;
            // A press held while the enclosure was plugged in starts nothing, as at start-up.
            state.pollSkip = 2;
            change.firstArrived = true;
        }
    } else if (event == kDeviceRemoveComplete) {
        change.found = scanner.ScanDevices();
        if (change.found == 0 && state.devicePresent == 1) {
            state.devicePresent = 0;
            change.lastRemoved = true;
        }
    }
    scanner.RefreshPhysicalDrives();
    change.presentDrives = seam_.LogicalDrives();
    return change;
}

void DeviceLayer::SendRunMessage(int mode) {
    if (state.notifyDevice != 1) {
        return;
    }
    poller.PollDevice(1, state.pressDrive, mode);
    if (mode != kPollItemStarting) {
        state.notifyDevice = 0;
    }
}

std::vector<int> DeviceLayer::KeyDrives() const {
    const int count =
        std::clamp(record.firstPartitionCount, 0, static_cast<int>(record.firstPartitions.size()));
    return {record.firstPartitions.begin(), record.firstPartitions.begin() + count};
}

}  // namespace bexlo
