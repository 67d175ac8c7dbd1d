#include "treectrl/Watcher.h"

#include "framework/LongPath.h"
#include "treectrl/WatchThread.h"

namespace bexlo {

Watcher::Watcher(std::wstring watchedPath, HWND ownerWindow, const std::atomic<int>& refresh,
                 bool files)
    : path(std::move(watchedPath)), owner(ownerWindow), autoRefresh(refresh), watchFiles(files) {
    if (path.empty() || path.back() != L'\\') {
        path += L'\\';
    }
    done.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

Watcher::~Watcher() {
    RequestStop();
    Wait();
    if (watchThread != nullptr) {
        watchThread->Leave(*this);
    }
}

bool Watcher::Start(int position) {
    index = position;
    DWORD filter = FILE_NOTIFY_CHANGE_DIR_NAME;
    if (watchFiles) {
        filter |= FILE_NOTIFY_CHANGE_FILE_NAME;
    }
    // Opened here rather than on the watch thread: once Start returns, every change is seen.
    change.Reset(::FindFirstChangeNotificationW(LongPath(path).c_str(), TRUE, filter));
    if (!change || !done) {
        return false;
    }
    watchThread = WatchThread::Enlist(*this);
    return watchThread != nullptr;
}

void Watcher::RequestStop() const {
    stopRequested.store(true);
    if (watchThread != nullptr) {
        watchThread->Wake();
    }
}

void Watcher::Wait() const {
    if (watchThread != nullptr) {
        ::WaitForSingleObject(done.Get(), INFINITE);
    }
}

bool Watcher::OnChange() const {
    if (autoRefresh.load() == 0) {
        // Changes the tree makes itself are not watched; this watcher is done.
        return false;
    }
    ::PostMessageW(owner, WM_USER, static_cast<WPARAM>(index), 0);
    return ::FindNextChangeNotification(change.Get()) != FALSE;
}

}  // namespace bexlo
