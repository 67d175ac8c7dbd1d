#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <ranges>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/win/TestSupport.h"
#include "treectrl/WatchThread.h"
#include "treectrl/Watcher.h"

namespace bexlo {
namespace {

using test::PumpUntil;

// What reached the tree's stand-in, in order: refresh requests (WM_USER) and markers (WM_APP).
std::vector<std::pair<UINT, WPARAM>> received;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER || message == WM_APP) {
        received.emplace_back(message, wParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class WatchThreads : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(kRoot);
        ::CreateDirectoryW(kRoot, nullptr);
        window.reset(test::MessageWindow(L"BexloTestWatchReceiver", ReceiverProc));
        ASSERT_NE(window.get(), nullptr);
        received.clear();
    }
    void TearDown() override { test::RemoveTree(kRoot); }

    std::unique_ptr<Watcher> Watch(const std::wstring& folder, int index) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        auto watcher = std::make_unique<Watcher>(folder, window.get(), refresh, false);
        EXPECT_TRUE(watcher->Start(index)) << folder;
        return watcher;
    }

    bool Heard(int index, std::size_t from = 0) const {
        return std::any_of(received.begin() + static_cast<std::ptrdiff_t>(from), received.end(),
                           [index](const auto& each) {
                               return each.first == WM_USER &&
                                      each.second == static_cast<WPARAM>(index);
                           });
    }

    static constexpr const wchar_t* kRoot = L"E:\\w";
    struct WindowEnd {
        void operator()(HWND handle) const { ::DestroyWindow(handle); }
    };
    std::unique_ptr<std::remove_pointer_t<HWND>, WindowEnd> window;
    std::atomic<int> refresh{1};
};

// One wait holds 63 watchers: those beyond go to a second thread, and every one is still heard.
TEST_F(WatchThreads, MoreWatchersThanOneWaitHoldAreAllHeardAndTheLastEndsTheThreads) {
    ASSERT_EQ(WatchThread::Count(), 0u) << "nothing watched, no thread";
    constexpr int kWatchers = 70;
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (int i = 0; i < kWatchers; ++i) {
        watchers.push_back(Watch(std::wstring(kRoot) + L"\\f" + std::to_wstring(i), i));
    }
    EXPECT_EQ(WatchThread::Count(), 2u);
    for (int i = 0; i < kWatchers; ++i) {
        ::CreateDirectoryW((std::wstring(kRoot) + L"\\f" + std::to_wstring(i) + L"\\new").c_str(),
                           nullptr);
    }
    const auto heardAll = [&] {
        return std::ranges::all_of(std::views::iota(0, kWatchers), [&](int i) { return Heard(i); });
    };
    EXPECT_TRUE(PumpUntil(heardAll, 30000)) << "waited for a request from every watcher";
    for (const auto& watcher : watchers) {
        EXPECT_TRUE(watcher->Running()) << watcher->Path();
    }

    watchers.erase(watchers.begin(), watchers.begin() + WatchThread::kCapacity);
    EXPECT_EQ(WatchThread::Count(), 1u) << "the emptied thread ended";
    watchers.push_back(Watch(std::wstring(kRoot) + L"\\f0", kWatchers));
    EXPECT_EQ(WatchThread::Count(), 1u) << "a thread with room takes the next watcher";
    watchers.clear();
    EXPECT_EQ(WatchThread::Count(), 0u);
}

// The watch thread may be handling a change of a watcher just as it is stopped: once Wait has
// returned, no request of that watcher may follow, even while its folder keeps changing.
TEST_F(WatchThreads, AWatcherStoppedAmidChangesNeverPostsAfterItsWait) {
    const std::wstring busyFolder = std::wstring(kRoot) + L"\\busy";
    const std::wstring calmFolder = std::wstring(kRoot) + L"\\calm";
    auto calm = Watch(calmFolder, 0);
    ::CreateDirectoryW(busyFolder.c_str(), nullptr);
    std::atomic<bool> churning{true};
    std::thread churn([&] {
        const std::wstring inner = busyFolder + L"\\x";
        while (churning.load()) {
            ::CreateDirectoryW(inner.c_str(), nullptr);
            ::RemoveDirectoryW(inner.c_str());
            ::Sleep(1);
        }
    });
    for (int round = 1; round <= 10; ++round) {
        auto busy = Watch(busyFolder, round);
        ASSERT_TRUE(PumpUntil([&] { return Heard(round); }, 20000)) << "round " << round;
        busy->RequestStop();
        busy->Wait();
        EXPECT_FALSE(busy->Running());
        ::PostMessageW(window.get(), WM_APP, static_cast<WPARAM>(round), 0);
        busy.reset();
        const std::size_t marker = received.size();
        ::CreateDirectoryW((calmFolder + L"\\r" + std::to_wstring(round)).c_str(), nullptr);
        // A request of the calm watcher after the marker: the thread has been round since.
        ASSERT_TRUE(PumpUntil(
            [&] {
                auto at = std::find(received.begin() + static_cast<std::ptrdiff_t>(marker),
                                    received.end(), std::pair<UINT, WPARAM>(WM_APP, round));
                return at != received.end() &&
                       Heard(0, static_cast<std::size_t>(at - received.begin()));
            },
            20000))
            << "round " << round;
        auto at =
            std::find(received.begin(), received.end(), std::pair<UINT, WPARAM>(WM_APP, round));
        EXPECT_FALSE(Heard(round, static_cast<std::size_t>(at - received.begin())))
            << "round " << round;
    }
    churning.store(false);
    churn.join();
}

}  // namespace
}  // namespace bexlo
