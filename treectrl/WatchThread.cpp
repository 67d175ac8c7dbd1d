#include "treectrl/WatchThread.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "framework/Guard.h"
#include "treectrl/Watcher.h"

namespace bexlo {

namespace {

constexpr SIZE_T kStackBytes = 64 * 1024;

// One lock for the list of threads and every thread's places: enlisting and leaving are rare.
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::vector<std::unique_ptr<WatchThread>>& Threads() {
    static std::vector<std::unique_ptr<WatchThread>> threads;
    return threads;
}

}  // namespace

WatchThread::~WatchThread() {
    ending.store(true);
    Wake();
    if (thread) {
        ::WaitForSingleObject(thread.Get(), INFINITE);
    }
}

WatchThread* WatchThread::Enlist(Watcher& watcher) {
    std::lock_guard hold(Lock());
    auto& threads = Threads();
    auto room = std::find_if(threads.begin(), threads.end(),
                             [](const auto& each) { return each->places.size() < kCapacity; });
    WatchThread* chosen = room != threads.end() ? room->get() : nullptr;
    if (chosen == nullptr) {
        std::unique_ptr<WatchThread> made(new WatchThread());
        if (!made->Launch()) {
            return nullptr;
        }
        chosen = made.get();
        threads.push_back(std::move(made));
    }
    chosen->places.push_back({&watcher, false});
    chosen->Wake();
    return chosen;
}

void WatchThread::Leave(Watcher& watcher) {
    std::unique_ptr<WatchThread> last;
    {
        std::lock_guard hold(Lock());
        std::erase_if(places, [&](const Place& place) { return place.watcher == &watcher; });
        if (!places.empty()) {
            return;
        }
        auto& threads = Threads();
        auto self = std::find_if(threads.begin(), threads.end(),
                                 [this](const auto& each) { return each.get() == this; });
        if (self == threads.end()) {
            return;
        }
        last = std::move(*self);
        threads.erase(self);
    }
    // Ended and waited for outside the lock: the thread takes it on its way round.
}

void WatchThread::Wake() const {
    if (wake) {
        ::SetEvent(wake.Get());
    }
}

std::size_t WatchThread::Count() {
    std::lock_guard hold(Lock());
    return Threads().size();
}

bool WatchThread::Launch() {
    wake.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake) {
        return false;
    }
    // The thread waits and posts and little else: a small stack, not the program's default.
    thread.Reset(::CreateThread(nullptr, kStackBytes, &WatchThread::Run, this,
                                CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) {
        return false;
    }
    ::SetThreadPriority(thread.Get(), THREAD_PRIORITY_IDLE);
    ::ResumeThread(thread.Get());
    return true;
}

DWORD WINAPI WatchThread::Run(void* self) {
    GuardCall(L"WatchThread", [&] { static_cast<WatchThread*>(self)->Loop(); });
    return 0;
}

void WatchThread::Loop() {
    std::vector<Watcher*> active;
    std::vector<HANDLE> waits;
    while (!ending.load()) {
        {
            std::lock_guard hold(Lock());
            for (Place& place : places) {
                if (!place.taken) {
                    place.taken = true;
                    active.push_back(place.watcher);
                }
            }
        }
        std::erase_if(active, [](const Watcher* watcher) {
            if (!watcher->StopRequested()) {
                return false;
            }
            watcher->Finish();
            return true;
        });
        waits.assign(1, wake.Get());
        for (const Watcher* watcher : active) {
            waits.push_back(watcher->ChangeHandle());
        }
        const DWORD woken = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(),
                                                     FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            continue;
        }
        const std::size_t which = woken - WAIT_OBJECT_0 - 1;
        if (which >= active.size()) {
            // The wait itself failed: no watcher would see another change.
            for (const Watcher* watcher : active) {
                watcher->Finish();
            }
            active.clear();
            continue;
        }
        auto changed = active.begin() + static_cast<std::ptrdiff_t>(which);
        if ((*changed)->StopRequested() || !(*changed)->OnChange()) {
            (*changed)->Finish();
            active.erase(changed);
        } else {
            // The wait favours its first signalled handle: a drive that changes all the time
            // (a run writing to it) goes to the back so that the others are still heard.
            std::rotate(changed, changed + 1, active.end());
        }
    }
}

}  // namespace bexlo
