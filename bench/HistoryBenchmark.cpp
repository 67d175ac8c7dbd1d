// Times getting files back on the trees that bench/history-bench.sh prepares: reading a backup of
// 50,000 files with 200 press folders as the restore window opens, switching its moment, and
// restoring 5,000 files of 4 KiB next to the first Copy press of the same files. Prints its
// figures; asserts nothing about them.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/BackupTimeline.h"
#include "backup/Catalog.h"
#include "backup/PressPlan.h"
#include "backup/Restore.h"
#include "backup/RestoreChoice.h"
#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"
#include "framework/LongPath.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using bench::Median;
using bench::Report;

// A first Copy press of `source` into `backup`, as the run makes it.
void FirstPress(FileSystem& disk, const std::wstring& source, const std::wstring& backup) {
    const std::atomic<int> present{1};
    bench::NoProgress progress;
    const std::int64_t started = disk.CurrentTime();
    const std::unique_ptr<Catalog> catalog =
        Catalog::Open(disk, LongPath(backup), L"BENCH-PC", started);
    ASSERT_TRUE(catalog);
    const PressContext context{catalog.get(), started};
    const PressPlan plan = PlanPress(disk, context, false, {source}, backup);
    catalog->Commit();
    BackupWalker walker(disk, present, progress, plan.totalBytes, context);
    walker.PassOverUnchanged(plan.unchanged);
    EXPECT_EQ(walker.CopyItem(source, backup), 1);
    EXPECT_TRUE(walker.WriteRecords());
    catalog->Finish();
}

TEST(HistoryBenchmark, OpeningSwitchingAndRestoring) {
    const wchar_t* root = _wgetenv(L"BEXLO_BENCH_ROOT");
    if (root == nullptr) {
        GTEST_SKIP() << "run through bench/history-bench.sh";
    }
    WindowsFileSystem disk;
    const std::wstring big = std::wstring(root) + L"\\big";
    const std::vector<std::wstring> bigSources = {L"C:\\Users\\Person\\Work"};
    // The records a press would have left for the 50,000 backup copies, first made before the
    // earliest press folder.
    const std::int64_t made = disk.CurrentTime() - 300 * 24 * 3600 * 10'000'000LL;
    {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, LongPath(big), L"BENCH-PC", disk.CurrentTime());
        ASSERT_TRUE(catalog);
        for (const auto& [path, contents] : test::ReadTree(big + L"\\Work")) {
            if (contents == "<folder>") {
                continue;
            }
            const std::wstring full = big + L"\\Work\\" + path;
            const std::optional<FileEntry> entry = FindWithChangeTime(disk, full);
            ASSERT_TRUE(entry);
            const std::wstring folder = full.substr(0, full.rfind(L'\\'));
            catalog->Put(CatalogFolderKey(big, folder),
                         {entry->name, StateOf(*entry), StateOf(*entry), made, made, false,
                          ContentHash{1, 2}});
            if (catalog->StagedCount() >= 1000) {
                ASSERT_TRUE(catalog->Commit());
            }
        }
        ASSERT_TRUE(catalog->Commit() && catalog->Finish());
    }
    std::vector<double> opening, switching;
    std::size_t files = 0, moments = 0;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, LongPath(big), L"BENCH-PC", disk.CurrentTime());
        const BackupTimeline history = BackupTimeline::Read(disk, big, bigSources, catalog.get());
        // The window's first tree level is the folders of the latest moment.
        RestoreChoice choice;
        choice.Show(history.At(BackupTimeline::kLatest), bigSources, L"From the PC");
        files = choice.Files().size();
        opening.push_back(bench::SecondsSince(start));
        const std::vector<std::int64_t> all = history.Moments();
        moments = all.size();
        start = std::chrono::steady_clock::now();
        choice.Show(history.At(all[all.size() / 2]), bigSources, L"From the PC");
        const std::size_t then = choice.Files().size();
        switching.push_back(bench::SecondsSince(start));
        EXPECT_GT(then, 0u);
    }
    Report("history-open", Median(opening));
    Report("history-switch", Median(switching));
    Report("history-files", static_cast<double>(files));
    Report("history-moments", static_cast<double>(moments));

    // 5,000 files of 4 KiB: the first Copy press, then their restore into an empty folder, in
    // turns, so that both meet the same load on the machine; each round's restore is weighed
    // against its own press.
    const std::wstring source = std::wstring(root) + L"\\Work";
    std::vector<double> pressing, restoring, ratios;
    for (int round = 0; round < 5; ++round) {
        const std::wstring backup = std::wstring(root) + L"\\backup" + std::to_wstring(round);
        const std::wstring back = std::wstring(root) + L"\\back" + std::to_wstring(round);
        test::MakeFolders({backup});
        auto start = std::chrono::steady_clock::now();
        FirstPress(disk, source, backup);
        pressing.push_back(bench::SecondsSince(start));
        // The window has read the backup when its Restore button is pressed: the restore is the
        // run and the marking of what it put back.
        std::vector<FileAtMoment> latest;
        {
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, LongPath(backup), L"BENCH-PC", disk.CurrentTime());
            latest = BackupTimeline::Read(disk, backup, {source}, catalog.get())
                         .At(BackupTimeline::kLatest);
        }
        start = std::chrono::steady_clock::now();
        {
            const std::atomic<bool> cancel{false};
            const RestoreOutcome outcome = Restorer(disk, backup, disk.CurrentTime())
                                               .Run(RestoreItems(latest, {source}, back), cancel);
            EXPECT_EQ(outcome.restored, 5000u);
            EXPECT_TRUE(outcome.problems.empty());
            const std::unique_ptr<Catalog> catalog =
                Catalog::Open(disk, LongPath(backup), L"BENCH-PC", disk.CurrentTime());
            ASSERT_TRUE(catalog);
            EXPECT_TRUE(MarkRestored(*catalog, backup, {source}, outcome));
        }
        restoring.push_back(bench::SecondsSince(start));
        ratios.push_back(restoring.back() / pressing.back());
    }
    Report("history-first-press", Median(pressing));
    Report("history-restore", Median(restoring));
    Report("history-restore-ratio", Median(ratios));
}

}  // namespace
}  // namespace bexlo
