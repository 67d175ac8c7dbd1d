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

#include "backup/Catalog.h"
#include "backup/PressPlan.h"
#include "backup/ReplaceGuard.h"
#include "backup/Versions.h"
#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"
#include "framework/LongPath.h"
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

using bench::Median;
using bench::Report;

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
    // A press as the run makes it: its catalog, the count, the walk and the records.
    const auto press = [&](std::int64_t started, bool keep, std::uint64_t replacing) {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, LongPath(backup), L"bench", started);
        const PressContext context{catalog.get(), started};
        const PressPlan plan = PlanPress(disk, context, false, {source}, backup);
        EXPECT_EQ(plan.replacements.size(), replacing);
        catalog->Commit();
        VersionStore versions(disk, backup, started);
        BackupWalker walker(disk, present, progress, 0, context);
        walker.PassOverUnchanged(plan.unchanged);
        if (keep) {
            std::vector<VersionRecord> planned;
            for (const Replacement& replacement : plan.replacements) {
                planned.push_back(replacement.replaced);
            }
            versions.Plan(std::move(planned));
            walker.KeepVersions(&versions);
        }
        EXPECT_EQ(walker.CopyItem(source, backup), 1);
        EXPECT_EQ(walker.FilesReplaced(), replacing);
        EXPECT_TRUE(walker.WriteRecords());
        if (keep) {
            versions.Finish();
            EXPECT_EQ(versions.Kept(), replacing);
        }
        catalog->Finish();
    };
    press(disk.CurrentTime(), false, 0);

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
        const auto start = std::chrono::steady_clock::now();
        press(disk.CurrentTime(), keep, 1000);
        seconds[keep].push_back(bench::SecondsSince(start));
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
