#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "treectrl/RemovalWatch.h"
#include "treectrl/Watcher.h"

namespace bexlo {

// What the watchers tell the tree.
class TreeWatchSink {
public:
    virtual ~TreeWatchSink() = default;
    // Something changed below the watched folder `path` (with its trailing backslash).
    virtual void FolderChanged(const std::wstring& path) = 0;
    virtual void TraceWatch(const std::wstring& operation, const std::wstring& message) const = 0;
};

// The folder watchers of a tree and the removal registrations of its watched drive roots. The
// watchers post their refresh requests to the tree's window, and Windows sends it the removal
// queries: the window hands both to OnRefreshRequest and OnDeviceChange.
class TreeWatchers {
public:
    TreeWatchers(const std::atomic<int>& autoRefresh, TreeWatchSink& sink);
    ~TreeWatchers();
    TreeWatchers(const TreeWatchers&) = delete;
    TreeWatchers& operator=(const TreeWatchers&) = delete;

    // Watches `path` for `owner`, and registers a drive root for the removal queries.
    void Watch(const std::wstring& path, HWND owner, bool watchFiles);
    // Stops the watcher of `path` and lets go of its drive's registration.
    void Stop(const std::wstring& path);
    void StopAll();

    // A refresh request of the watcher `index`, which may have stopped since it asked.
    void OnRefreshRequest(int index);
    // Windows asks whether a watched volume may go (the watcher lets go of it), says the removal
    // was cancelled (it takes the volume up again), or that the volume has gone. False when the
    // message is not about a watched drive.
    bool OnDeviceChange(WPARAM event, LPARAM data, HWND owner, bool watchFiles);

    size_t Count() const { return watchers_.size(); }
    size_t RunningCount() const;
    // The handle a removal query names for a watched drive root; null when it is not held.
    HANDLE RemovalHandle(const std::wstring& drive) const;
    // Whether the drive root is registered for removal queries, its handle held or not.
    bool RemovalRegistered(const std::wstring& drive) const;

private:
    RemovalWatch* FindRemovalWatch(const std::wstring& drive) const;
    void StopWatcher(const std::wstring& path);

    const std::atomic<int>& autoRefresh_;
    TreeWatchSink& sink_;
    std::vector<std::unique_ptr<Watcher>> watchers_;
    int nextIndex_ = 0;
    std::vector<std::unique_ptr<RemovalWatch>> removalWatches_;
};

}  // namespace bexlo
