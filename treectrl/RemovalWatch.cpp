#include "treectrl/RemovalWatch.h"

#include <utility>

#include "framework/LongPath.h"

namespace bexlo {

RemovalWatch::RemovalWatch(std::wstring drive, HWND owner)
    : drive_(std::move(drive)), owner_(owner) {
    Reopen();
}

bool RemovalWatch::Concerns(const DEV_BROADCAST_HANDLE& change) const {
    return (change.dbch_handle != nullptr && change.dbch_handle == namedHandle_) ||
           (change.dbch_hdevnotify != nullptr && change.dbch_hdevnotify == namedNotification_);
}

void RemovalWatch::Release() {
    volume_.Reset();
}

void RemovalWatch::Reopen() {
    // Opening the root asks for no access to its data: it only names the volume.
    volume_.Reset(::CreateFileW(LongPath(drive_).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!volume_) {
        return;
    }
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = volume_.Get();
    notification_.Reset(
        ::RegisterDeviceNotificationW(owner_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    namedHandle_ = volume_.Get();
    namedNotification_ = notification_.Get();
}

}  // namespace bexlo
