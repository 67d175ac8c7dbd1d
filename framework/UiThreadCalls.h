#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace bexlo {

// Calls that other threads hand to a window's thread and wait for. The window wakes on
// `wakeMessage`, which carries nothing (sent by another process it can at most make the thread
// look at its own queue), and answers it with RunQueued.
class UiThreadCalls {
public:
    explicit UiThreadCalls(UINT wakeMessage) : wakeMessage_(wakeMessage) {}

    // Runs `call` on the thread of `window` and waits for it; nothing when there is no window
    // or it goes before it ran the call.
    void Call(HWND window, const std::function<void()>& call);
    void RunQueued();

private:
    struct Queued {
        const std::function<void()>& call;
        // Guarded by mutex_.
        bool done = false;
    };

    UINT wakeMessage_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<Queued*> queue_;
};

}  // namespace bexlo
