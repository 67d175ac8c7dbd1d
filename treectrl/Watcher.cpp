#include "treectrl/Watcher.h"

#include "framework/Guard.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

constexpr SIZE_T kStackBytes = 64 * 1024;

}  // namespace

Watcher::Watcher(std::wstring watchedPath, HWND ownerWindow, const std::atomic<int>& refresh,
                 bool files)
    : path(std::move(watchedPath)), owner(ownerWindow), autoRefresh(refresh), watchFiles(files) {
    if (path.empty() || path.back() != L'\\') {
        path += L'\\';
    }
    stopEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

Watcher::~Watcher() {
    RequestStop();
    Wait();
}

bool Watcher::Start(int position) {
    index = position;
    // The worker waits on two handles and little else: a small stack, not the program's default.
    thread.Reset(::CreateThread(nullptr, kStackBytes, &Watcher::Run, this,
                                CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) {
        return false;
    }
    ::SetThreadPriority(thread.Get(), THREAD_PRIORITY_IDLE);
    ::ResumeThread(thread.Get());
    return true;
}

void Watcher::RequestStop() const {
    if (stopEvent) {
        ::SetEvent(stopEvent.Get());
    }
}

void Watcher::Wait() const {
    if (thread) {
        ::WaitForSingleObject(thread.Get(), INFINITE);
    }
}

DWORD WINAPI Watcher::Run(void* self) {
    DWORD result = 0;
    GuardCall(L"Watcher", [&] { result = static_cast<Watcher*>(self)->Watch(); });
    return result;
}

DWORD Watcher::Watch() {
    DWORD filter = FILE_NOTIFY_CHANGE_DIR_NAME;
    if (watchFiles) {
        filter |= FILE_NOTIFY_CHANGE_FILE_NAME;
    }
    UniqueChangeHandle change(::FindFirstChangeNotificationW(LongPath(path).c_str(), TRUE, filter));
    if (!change || !stopEvent) {
        return 0;
    }
    const HANDLE waits[] = {change.Get(), stopEvent.Get()};
    for (;;) {
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            return 0;
        }
        if (autoRefresh.load() == 0) {
            // Changes the tree makes itself are not watched; this watcher is done.
            return 0;
        }
        ::PostMessageW(owner, WM_USER, static_cast<WPARAM>(index), 0);
        if (!::FindNextChangeNotification(change.Get())) {
            return 0;
        }
    }
}

}  // namespace bexlo
