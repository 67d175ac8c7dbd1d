#include "device/DeviceLayer.h"

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

}  // namespace bexlo
