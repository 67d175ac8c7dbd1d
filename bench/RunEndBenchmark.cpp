// How soon the end of a run shows once its last byte is copied: a Copy run of 1 GiB (four files
// of 256 MiB, which paces the bar at 2.7 s a step) on the real disk, with a stand-in for the
// window. Prints the figure beside its goal; asserts nothing about it.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "backup/BackupRun.h"
#include "backup/BackupRecord.h"
#include "backup/PathList.h"
#include "backup/WindowsFileSystem.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using Clock = std::chrono::steady_clock;

const std::wstring kRoot = L"C:\\bexlo-run-end";

// The real disks, noting when the last copy of the run finished.
class TimedDisks : public WindowsFileSystem {
public:
    std::unique_ptr<StagedCopy> StageCopy(const std::wstring& from, const std::wstring& partial,
                                          const std::wstring& to) override {
        std::unique_ptr<StagedCopy> copied = WindowsFileSystem::StageCopy(from, partial, to);
        lastCopy = Clock::now();
        return copied;
    }
    Clock::time_point lastCopy;
};

class WindowlessHost : public RunHost {
public:
    void ShowEndBox(const wchar_t*, const std::wstring&, BoxIcon,
                    const std::function<void()>& answered) override {
        shown = Clock::now();
        ended = true;
        answered();
    }
    GuardChoice AskBeforeReplacing(const std::wstring&) override { return GuardChoice::BackUpAll; }
    std::wstring Text(Msg) const override { return L""; }
    void HoldControls() override {}
    void ReleaseControls(bool, std::atomic<int>& running) override { running = 0; }
    int CheckKey(int) override { return 1; }
    void NotifyDevice(RunMessage) override {}
    const std::atomic<int>& EnclosurePresent() const override { return present; }
    void ShowTargetHasFolders(const std::wstring&) override {}
    bool OpenProgressWindow() override { return false; }
    void CloseProgressWindow() override {}
    void SetProgress(int) override {}
    void WaitPaintingProgress(int) override {}

    std::atomic<int> present{1};
    std::atomic<bool> ended{false};
    Clock::time_point shown;
};

TEST(RunEndBenchmark, TheEndShowsSoonAfterTheLastByte) {
    test::ClearDataFolder();
    test::RemoveTree(kRoot);
    ::CreateDirectoryW(kRoot.c_str(), nullptr);
    ::CreateDirectoryW((kRoot + L"\\source").c_str(), nullptr);
    const std::string quarter(256u << 20, 'q');
    for (int i = 0; i < 4; ++i) {
        test::WriteBytes(kRoot + L"\\source\\part" + std::to_wstring(i) + L".bin", quarter);
    }
    TimedDisks disks;
    ASSERT_TRUE(disks.WriteFileReplacing(
        PathListFile(), PathListBytes(kRoot + L"\\backup", {kRoot + L"\\source"})));
    WindowlessHost host;
    BackupRun run(host, disks);
    run.state.serialCheckArmed = 0;
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(run.Start({RunMode::Copy, 1, false, {}}));
    run.Join();
    ASSERT_TRUE(host.ended);
    const double copySeconds = std::chrono::duration<double>(disks.lastCopy - start).count();
    const double lateMs =
        std::chrono::duration<double, std::milli>(host.shown - disks.lastCopy).count();
    std::printf(
        "bench run_end copy of 1 GiB %.2f s; end shown %.0f ms after the last byte "
        "(goal: at most 500 ms)\n",
        copySeconds, lateMs);
    std::fflush(stdout);
    test::RemoveTree(kRoot);
}

}  // namespace
}  // namespace bexlo
