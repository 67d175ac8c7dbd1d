#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "framework/Handles.h"

namespace bexlo {

// One watched folder: a worker thread waits for changes anywhere below `path` and posts a refresh
// request (WM_USER, `index`) to the tree window.
class Watcher {
public:
    Watcher(std::wstring path, HWND owner, const std::atomic<int>& autoRefresh, bool watchFiles);
    ~Watcher();  // stops the worker and waits for it
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts the worker (at idle priority); false when no thread could be made.
    bool Start(int index);
    // Asks the worker to end; Wait then waits for it.
    void RequestStop() const;
    void Wait() const;

    bool Running() const {
        return thread && ::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT;
    }
    const std::wstring& Path() const { return path; }
    int Index() const { return index; }

private:
    static DWORD WINAPI Run(void* self);
    DWORD Watch();

    std::wstring path;
    HWND owner;
    const std::atomic<int>& autoRefresh;
    bool watchFiles;
    int index = -1;
    UniqueKernelHandle stopEvent;
    UniqueKernelHandle thread;
};

}  // namespace bexlo
