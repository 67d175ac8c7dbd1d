#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <vector>

#include "framework/Handles.h"

namespace bexlo {

class Watcher;

// A thread that waits for the changes of many watchers at once: under Wine every thread costs
// about a megabyte whatever its stack, so the process's watchers share as few as can hold them.
// One wait takes at most 64 handles, its own wake event and 63 watchers; each further 63 get
// another thread. A thread starts with its first watcher and ends with its last, so a program
// that watches nothing has none.
class WatchThread {
public:
    static constexpr std::size_t kCapacity = MAXIMUM_WAIT_OBJECTS - 1;

    ~WatchThread();
    WatchThread(const WatchThread&) = delete;
    WatchThread& operator=(const WatchThread&) = delete;

    // Gives the watcher (its change handle open) a place on a thread with room; null when no
    // thread could be made.
    static WatchThread* Enlist(Watcher& watcher);
    // Takes back the place of a watcher the thread has finished with (see Watcher::Wait); the
    // last watcher to go ends its thread and waits for it.
    void Leave(Watcher& watcher);
    // Makes the thread look again at its watchers' stop requests.
    void Wake() const;

    // How many watch threads the process has.
    static std::size_t Count();

private:
    WatchThread() = default;
    bool Launch();
    static DWORD WINAPI Run(void* self);
    void Loop();

    struct Place {
        Watcher* watcher;
        bool taken;  // the thread has it in its wait
    };
    // Guarded by the lock in WatchThread.cpp, shared by every thread's list.
    std::vector<Place> places;
    std::atomic<bool> ending{false};
    UniqueKernelHandle wake;
    UniqueKernelHandle thread;
};

}  // namespace bexlo
