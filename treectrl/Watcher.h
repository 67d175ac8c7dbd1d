#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "framework/Handles.h"

namespace bexlo {

class WatchThread;

// One watched folder: the process's watch thread waits for changes anywhere below `path` and
// posts a refresh request (WM_USER, `index`) to the tree window.
class Watcher {
public:
    Watcher(std::wstring path, HWND owner, const std::atomic<int>& autoRefresh, bool watchFiles);
    ~Watcher();  // stops the watch and waits for it
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts watching; false when the folder cannot be watched or no watch thread could be made.
    bool Start(int index);
    // Asks the watch to end; Wait then waits until the watch thread has let go of this watcher.
    void RequestStop() const;
    void Wait() const;

    bool Running() const {
        return watchThread != nullptr && ::WaitForSingleObject(done.Get(), 0) == WAIT_TIMEOUT;
    }
    const std::wstring& Path() const { return path; }
    int Index() const { return index; }

private:
    friend class WatchThread;

    // Called on the watch thread. Asks the tree for a refresh; false when this watcher is done.
    bool OnChange() const;
    bool StopRequested() const { return stopRequested.load(); }
    HANDLE ChangeHandle() const { return change.Get(); }
    // The watch thread lets go: after this it never touches the watcher again.
    void Finish() const { ::SetEvent(done.Get()); }

    std::wstring path;
    HWND owner;
    const std::atomic<int>& autoRefresh;
    bool watchFiles;
    int index = -1;
    UniqueChangeHandle change;
    UniqueKernelHandle done;
    mutable std::atomic<bool> stopRequested{false};
    WatchThread* watchThread = nullptr;
};

}  // namespace bexlo
