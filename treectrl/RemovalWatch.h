#pragma once

#include <windows.h>
#include <dbt.h>

#include <string>

#include "framework/Handles.h"

namespace bexlo {

// A drive root a tree watches, registered for the platform's removal queries: when Windows asks
// whether the volume may be removed, the tree lets go of it (its watcher and this handle close,
// the registration stays), and takes it up again when the removal is cancelled.
class RemovalWatch {
public:
    // Opens the drive's root and registers it with `owner`, which then receives the queries.
    RemovalWatch(std::wstring drive, HWND owner);
    RemovalWatch(const RemovalWatch&) = delete;
    RemovalWatch& operator=(const RemovalWatch&) = delete;

    const std::wstring& Drive() const { return drive_; }
    // The handle the queries name; null while released.
    HANDLE Handle() const { return volume_.Valid() ? volume_.Get() : nullptr; }
    bool Released() const { return !volume_.Valid(); }
    bool Registered() const { return notification_.Valid(); }
    // Whether a device-change message speaks of this drive, released or not.
    bool Concerns(const DEV_BROADCAST_HANDLE& change) const;
    // Closes the handle only: Windows tells the outcome of the removal to a live registration.
    void Release();
    // Opens the root again under a new registration, which replaces the old one.
    void Reopen();

private:
    std::wstring drive_;
    HWND owner_;
    UniqueFileHandle volume_;
    UniqueDeviceNotification notification_;
    // What the messages about a released drive still name.
    HANDLE namedHandle_ = nullptr;
    HDEVNOTIFY namedNotification_ = nullptr;
};

}  // namespace bexlo
