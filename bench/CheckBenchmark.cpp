// Times the check that reads the backup back: the copies under BEXLO_BENCH_ROOT\FilesBackup\Work,
// each with a record that has no hash yet, so that the check reads and hashes every byte. Prints
// its figure; asserts nothing about it.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "backup/BackupCheck.h"
#include "backup/Catalog.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"

namespace bexlo {
namespace {

class NoFeedback : public CheckFeedback {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool StopRequested() override { return false; }
};

TEST(CheckBenchmark, ReadsBackEveryCopy) {
    const wchar_t* root = _wgetenv(L"BEXLO_BENCH_ROOT");
    ASSERT_NE(root, nullptr);
    const std::wstring destination = L"\\\\?\\" + std::wstring(root) + L"\\FilesBackup";
    const std::wstring work = destination + L"\\Work";
    WindowsFileSystem disk;
    const std::int64_t now = disk.CurrentTime();
    {
        const std::unique_ptr<Catalog> catalog = Catalog::Open(disk, destination, L"BENCH-PC", now);
        ASSERT_TRUE(catalog);
        const std::optional<std::vector<FileEntry>> files = disk.List(work);
        ASSERT_TRUE(files && !files->empty());
        for (const FileEntry& file : *files) {
            const std::optional<FileEntry> inspected = disk.Inspect(work + L"\\" + file.name);
            ASSERT_TRUE(inspected);
            const FileState state = StateOf(*inspected);
            catalog->Put(L"WORK", {file.name, state, state, now, now, false, std::nullopt});
        }
        ASSERT_TRUE(catalog->Commit() && catalog->Finish());
    }
    NoFeedback feedback;
    const auto start = std::chrono::steady_clock::now();
    const CheckOutcome outcome = CheckBackup(disk, destination, L"BENCH-PC", now + 1, 0, feedback);
    bench::Report("check-seconds", bench::SecondsSince(start));
    bench::Report("check-bytes", static_cast<double>(outcome.bytesRead));
    EXPECT_TRUE(outcome.damaged.empty());
    EXPECT_TRUE(outcome.allChecked);
}

}  // namespace
}  // namespace bexlo
