// Times a Copy press that replaces 1,000 of 5,000 files with earlier versions kept and without,
// and the thinning of a versions folder of 50,000 files, on the trees that bench/versions-bench.sh
// prepares. Prints its figures; asserts nothing about them.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/ReplaceGuard.h"
#include "backup/Versions.h"
#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

// The trees lie on this machine's disk, whose free space is whatever it has left: the disk is
// asked, for what asking costs, and answers as a roomy enclosure would.
class RoomyDisk : public WindowsFileSystem {
public:
    std::optional<VolumeSpace> Space(const std::wstring& path) override {
        WindowsFileSystem::Space(path);
        return VolumeSpace{1ull << 40, 1ull << 39};
    }
};

void Report(const char* name, double value) {
    std::printf("bench %s %.3f\n", name, value);
    std::fflush(stdout);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

TEST(VersionsBenchmark, APressWithVersionsAndTheThinningOfFiftyThousand) {
    const wchar_t* root = _wgetenv(L"BEXLO_BENCH_ROOT");
    if (root == nullptr) {
        GTEST_SKIP() << "run through bench/versions-bench.sh";
    }
    RoomyDisk disk;
    const std::atomic<int> present{1};
    bench::NoProgress progress;
    const std::wstring source = std::wstring(root) + L"\\Work";
    const std::wstring backup = std::wstring(root) + L"\\backup";
    ::CreateDirectoryW(backup.c_str(), nullptr);
    std::int64_t lastRun = disk.CurrentTime();
    ASSERT_EQ(BackupWalker(disk, present, progress, 0).CopyItem(source, backup), 1);

    std::vector<double> seconds[2];
    std::string data(4096, '\0');
    // Off and on in turns, so that both meet the same load on the machine.
    for (int round = 0; round < 20; ++round) {
        const bool keep = round % 2 == 1;
        for (int folder = 0; folder < 50; ++folder) {
            for (int file = 0; file < 100; file += 5) {
                data[0] = static_cast<char>(round);
                data[1] = static_cast<char>(file);
                wchar_t name[64];
                std::swprintf(name, 64, L"\\folder%02d\\file%03d.dat", folder, file);
                test::WriteBytes(source + name, data);
            }
        }
        const std::int64_t started = disk.CurrentTime();
        const auto start = std::chrono::steady_clock::now();
        const ReplacePlan plan = PlanReplacements(disk, {source}, backup, lastRun);
        EXPECT_EQ(plan.replacements.size(), 1000u);
        VersionStore versions(disk, backup, started);
        BackupWalker walker(disk, present, progress, 0, lastRun);
        if (keep) {
            std::vector<VersionRecord> planned;
            for (const Replacement& replacement : plan.replacements) {
                planned.push_back(replacement.replaced);
            }
            versions.Plan(std::move(planned));
            walker.KeepVersions(&versions);
        }
        EXPECT_EQ(walker.CopyItem(source, backup), 1);
        EXPECT_EQ(walker.FilesCopied(), 1000u);
        if (keep) {
            versions.Finish();
            EXPECT_EQ(versions.Kept(), 1000u);
        }
        seconds[keep].push_back(bench::SecondsSince(start));
        lastRun = started;
    }
    Report("versions-press-off", Median(seconds[0]));
    Report("versions-press-on", Median(seconds[1]));

    for (const std::string tree : {"thin-steady", "thin", "thin-daily"}) {
        const std::wstring thin =
            std::wstring(root) + L"\\" + std::wstring(tree.begin(), tree.end());
        VersionStore store(disk, thin, disk.CurrentTime());
        const auto start = std::chrono::steady_clock::now();
        store.Finish();
        Report(("versions-" + tree).c_str(), bench::SecondsSince(start));
        std::size_t left = 0;
        for (const auto& [path, contents] : test::ReadTree(thin + L"\\Bexlo versions")) {
            left += contents != "<folder>" && !path.ends_with(kVersionIndexName) ? 1 : 0;
        }
        Report(("versions-" + tree + "-left").c_str(), static_cast<double>(left));
    }
}

}  // namespace
}  // namespace bexlo
