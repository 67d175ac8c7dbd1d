#include "framework/UiThreadCalls.h"

#include <algorithm>

#include "framework/Guard.h"

namespace bexlo {

void UiThreadCalls::Call(HWND window, const std::function<void()>& call) {
    if (window == nullptr) {
        return;
    }
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        call();
        return;
    }
    Queued queued{call};
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&queued);
    }
    // The wake-up is sent, so that it is answered in whatever loop the interface thread runs and
    // returns once the queue, this call with it, has been run.
    ::SendMessageW(window, wakeMessage_, 0, 0);
    std::unique_lock lock(mutex_);
    if (const auto waiting = std::find(queue_.begin(), queue_.end(), &queued);
        waiting != queue_.end()) {
        // The window went before it ran the call.
        queue_.erase(waiting);
        return;
    }
    // Taken by a run of the queue that is still going (one nested in a call before it).
    done_.wait(lock, [&] { return queued.done; });
}

void UiThreadCalls::RunQueued() {
    for (;;) {
        Queued* next = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            next = queue_.front();
            queue_.pop_front();
        }
        GuardCall(L"CallOnUiThread", [next] { next->call(); });
        {
            std::lock_guard lock(mutex_);
            next->done = true;
        }
        done_.notify_all();
    }
}

}  // namespace bexlo
