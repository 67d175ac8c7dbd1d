#include "treectrl/TreeWatchers.h"

#include <dbt.h>

#include <algorithm>

#include "framework/NameCase.h"
#include "treectrl/TreePath.h"

namespace bexlo {

TreeWatchers::TreeWatchers(const std::atomic<int>& autoRefresh, TreeWatchSink& sink)
    : autoRefresh_(autoRefresh), sink_(sink) {}

TreeWatchers::~TreeWatchers() {
    StopAll();
}

RemovalWatch* TreeWatchers::FindRemovalWatch(const std::wstring& drive) const {
    for (const auto& watch : removalWatches_) {
        if (SameName(watch->Drive(), drive)) {
            return watch.get();
        }
    }
    return nullptr;
}

HANDLE TreeWatchers::RemovalHandle(const std::wstring& drive) const {
    const RemovalWatch* watch = FindRemovalWatch(drive);
    return watch != nullptr ? watch->Handle() : nullptr;
}

bool TreeWatchers::RemovalRegistered(const std::wstring& drive) const {
    const RemovalWatch* watch = FindRemovalWatch(drive);
    return watch != nullptr && watch->Registered();
}

size_t TreeWatchers::RunningCount() const {
    return static_cast<size_t>(
        std::count_if(watchers_.begin(), watchers_.end(),
                      [](const auto& watcher) { return watcher->Running(); }));
}

void TreeWatchers::OnRefreshRequest(int index) {
    if (autoRefresh_.load() == 0) {
        return;
    }
    auto found = std::find_if(watchers_.begin(), watchers_.end(),
                              [index](const auto& watcher) { return watcher->Index() == index; });
    if (found != watchers_.end()) {
        // A copy: the relisting may stop the watcher.
        const std::wstring watched = (*found)->Path();
        sink_.FolderChanged(watched);
    }
}

bool TreeWatchers::OnDeviceChange(WPARAM event, LPARAM data, HWND owner, bool watchFiles) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    const bool gone = event == DBT_DEVICEREMOVEPENDING || event == DBT_DEVICEREMOVECOMPLETE;
    if ((event != DBT_DEVICEQUERYREMOVE && event != DBT_DEVICEQUERYREMOVEFAILED && !gone) ||
        header == nullptr || header->dbch_devicetype != DBT_DEVTYP_HANDLE) {
        return false;
    }
    const auto& change = *reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
    for (const auto& watch : removalWatches_) {
        if (!watch->Concerns(change)) {
            continue;
        }
        const std::wstring drive = watch->Drive();
        if (gone) {
            // Also after a removal that asked nothing first; the registration goes with it.
            Stop(drive);
        } else if (event == DBT_DEVICEQUERYREMOVE) {
            StopWatcher(drive);
            watch->Release();
        } else if (watch->Released()) {
            Watch(drive, owner, watchFiles);
        }
        return true;
    }
    return false;
}

void TreeWatchers::StopWatcher(const std::wstring& path) {
    std::erase_if(watchers_, [&](const auto& watcher) { return SameName(watcher->Path(), path); });
}

void TreeWatchers::Watch(const std::wstring& path, HWND owner, bool watchFiles) {
    if (IsDrivePath(path)) {
        RemovalWatch* watch = FindRemovalWatch(path);
        if (watch == nullptr) {
            removalWatches_.push_back(std::make_unique<RemovalWatch>(path, owner));
        } else if (watch->Released()) {
            watch->Reopen();
        }
    }
    // One watcher a path: another would hold a second handle open on the drive for nothing.
    const bool watched = std::any_of(watchers_.begin(), watchers_.end(), [&](const auto& watcher) {
        return SameName(watcher->Path(), path);
    });
    if (watched) {
        return;
    }
    sink_.TraceWatch(L"CreateMonitoringThread", L"Creating monitoring thread for " + path);
    // Indexes are never reused: a refresh request still queued from a stopped watcher must not
    // reach a newer one.
    const int index = nextIndex_++;
    watchers_.push_back(std::make_unique<Watcher>(path, owner, autoRefresh_, watchFiles));
    watchers_.back()->Start(index);
}

void TreeWatchers::StopAll() {
    // Every watcher is asked first, then each is waited for in turn: any number of them.
    for (const auto& watcher : watchers_) {
        watcher->RequestStop();
    }
    for (const auto& watcher : watchers_) {
        watcher->Wait();
    }
    watchers_.clear();
    removalWatches_.clear();
}

void TreeWatchers::Stop(const std::wstring& path) {
    sink_.TraceWatch(L"KillNotificationThread", L"Killing monitoring thread for " + path);
    StopWatcher(path);
    std::erase_if(removalWatches_,
                  [&](const auto& watch) { return SameName(watch->Drive(), path); });
}

}  // namespace bexlo
