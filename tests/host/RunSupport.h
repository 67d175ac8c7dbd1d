#pragma once

// A press run over the in-memory disks: the main window and the device layer as a run sees them,
// and a few saved sources.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "backup/BackupRecord.h"
#include "backup/BackupRun.h"
#include "backup/PathList.h"
#include "backup/RunLog.h"
#include "backup/Utf16Text.h"
#include "backup/WalkRules.h"
#include "tests/host/MemoryFileSystem.h"

namespace bexlo {
namespace {

constexpr wchar_t kTarget[] = L"E:\\FilesBackup";
constexpr wchar_t kWork[] = L"C:\\Work";
constexpr wchar_t kPhotos[] = L"C:\\Photos";
constexpr std::uint32_t kEnclosureSerial = 0xBE7C;
constexpr int kDriveE = 4;
// Last-write times, in the platform's 100-ns units.
constexpr std::int64_t kMinute = 600'000'000;

std::string Narrow(const wchar_t* text) {
    return {text, text + std::wcslen(text)};
}

// The main window and the device layer as a run sees them, recording what it is asked in order.
class FakeRunHost : public RunHost {
public:
    // The box is answered at once; `onAnswered` runs while it is still on the screen.
    void ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon,
                    const std::function<void()>& answered) override {
        Record("box " + Narrow(caption), text);
        answered();
        onAnswered();
    }
    GuardChoice AskBeforeReplacing(const std::wstring& text) override {
        Record("ask", text);
        return guardAnswer;
    }
    std::wstring Text(Msg id) const override { return L"<" + std::to_wstring(int(id)) + L">"; }
    void HoldControls() override { Record("hold"); }
    void ReleaseControls(bool reselectTarget, std::atomic<int>& running) override {
        Record(reselectTarget ? "release reselecting" : "release");
        running = 0;
    }
    int CheckKey(int) override { return 1; }
    void NotifyDevice(RunMessage message) override {
        if (message != RunMessage::ItemStarting) {
            Record(message == RunMessage::Complete ? "told complete" : "told failed");
        }
    }
    const std::atomic<int>& EnclosurePresent() const override {
        ++presenceAsked;
        return present;
    }
    void ShowTargetHasFolders(const std::wstring&) override { Record("drive has folders"); }
    bool OpenProgressWindow() override {
        Record("window open");
        return true;
    }
    void CloseProgressWindow() override { Record("window closed"); }
    void SetProgress(int position) override { lastPosition = position; }
    void WaitPaintingProgress(int ms) override {
        onWait(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    std::vector<std::string> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::wstring> Texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    // Whether `wanted` happened each once and in this order, whatever came between.
    bool InOrder(const std::vector<std::string>& wanted) {
        std::vector<std::string> events = Events();
        std::erase_if(events, [&](const std::string& event) {
            return std::find(wanted.begin(), wanted.end(), event) == wanted.end();
        });
        return events == wanted;
    }
    int Count(const std::string& event) {
        const std::vector<std::string> events = Events();
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    std::atomic<int> present{1};
    std::atomic<int> lastPosition{0};
    // Runs before each event is recorded, on the thread that asks.
    std::function<void(const std::string&)> onEvent = [](const std::string&) {};
    // Runs before each wait of the progress display, on its thread.
    std::function<void(int ms)> onWait = [](int) {};
    std::function<void()> onAnswered = [] {};
    // The answer to the box that asks before replacing many files.
    GuardChoice guardAnswer = GuardChoice::BackUpAll;
    // How often the run asked whether the enclosure is there: a loop that never waits asks on
    // and on.
    mutable std::atomic<long> presenceAsked{0};

private:
    void Record(const std::string& event, std::optional<std::wstring> text = std::nullopt) {
        onEvent(event);
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        if (text) {
            texts_.push_back(*text);
        }
    }

    std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::wstring> texts_;
};

// Disks with a few saved sources, and a run over them.
struct MemoryRun {
    MemoryRun() {
        fs.AddFolder(L"C:\\Program Files\\Travenor\\BXL");
        fs.AddFolder(L"E:\\");
        fs.volumeSerials = {{L'C', 0x0C0C}, {L'E', kEnclosureSerial}};
        fs.AddFile(L"C:\\Work\\report.doc", "quarterly", 1 * kMinute);
        fs.AddFile(L"C:\\Work\\Notes\\todo.txt", "milk", 2 * kMinute);
        fs.AddFile(L"C:\\Photos\\cat.jpg", std::string(3000, 'c'), 3 * kMinute);
    }

    void Save(const std::wstring& target, const std::vector<std::wstring>& sources) {
        ASSERT_TRUE(fs.WriteFileReplacing(PathListFile(), PathListBytes(target, sources)));
    }

    // Sources saved, with no volume check to pass.
    void SaveUnchecked(const std::vector<std::wstring>& sources = {kWork, kPhotos},
                       const std::wstring& target = kTarget) {
        Save(target, sources);
        run.state.serialCheckArmed = 0;
    }

    std::wstring Log() {
        return FromUtf16(Utf16TextUpToNul(fs.ReadFileBytes(RunLogFile(), 1 << 20).value()));
    }

    void RecordVolume(BackupType type, std::uint32_t serial) {
        ASSERT_TRUE(fs.WriteFileReplacing(BackupRecordFile(), MakeBackupRecord(type, serial)));
    }

    std::vector<std::uint8_t> Record() {
        return fs.ReadFileBytes(BackupRecordFile(), 1000).value_or(std::vector<std::uint8_t>{});
    }

    // One press, waited for to its end.
    void Press(RunMode mode = RunMode::Copy, int pressKey = 1, bool inTray = false,
               std::vector<int> keyDrives = {}) {
        ASSERT_TRUE(run.Start({mode, pressKey, inTray, std::move(keyDrives)}));
        run.Join();
    }

    bool BackedUp() {
        return fs.Data(L"E:\\FilesBackup\\Work\\report.doc") == "quarterly" &&
               fs.Data(L"E:\\FilesBackup\\Work\\Notes\\todo.txt") == "milk" &&
               fs.Data(L"E:\\FilesBackup\\Photos\\cat.jpg") == std::string(3000, 'c');
    }

    // The backup copies on the enclosure, the program's own files aside.
    std::map<std::wstring, std::string> Copies() const {
        std::map<std::wstring, std::string> copies = fs.Snapshot(L'E');
        std::erase_if(copies, [](const auto& entry) {
            return IsWithin(entry.first, L"E:\\FilesBackup\\Bexlo versions");
        });
        return copies;
    }

    // Keeps in `running` whether the run was still going as the host recorded `event`.
    void WatchRunningAt(const std::string& event, int& running) {
        host.onEvent = [this, event, &running](const std::string& seen) {
            if (seen == event) {
                running = run.state.backupRunning;
            }
        };
    }

    void ExpectEndedAndIdle() {
        EXPECT_EQ(run.state.backupRunning, 0);
        EXPECT_EQ(host.Count("release") + host.Count("release reselecting"), 1)
            << "the controls come back exactly once";
    }

    MemoryFileSystem fs;
    FakeRunHost host;
    BackupRun run{host, fs};
};

}  // namespace
}  // namespace bexlo
