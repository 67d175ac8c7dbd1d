// Times the Copy and Synchronize walkers on the real disk next to the platform's xcopy, on the
// trees that bench/copy-bench.sh prepares. Prints its figures; asserts nothing about them.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"
#include "framework/Handles.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

void Report(const std::string& name, double seconds) {
    std::printf("bench %s %.3f\n", name.c_str(), seconds);
    std::fflush(stdout);
}

std::wstring Root() {
    const wchar_t* root = _wgetenv(L"BEXLO_BENCH_ROOT");
    return root != nullptr ? root : L"";
}

// Sets every file's last-write time in the tree to a day long past, so that the next Copy finds
// every backup copy out of date and replaces it.
void AgeFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) {
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        const std::wstring path = folder + L"\\" + name;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            AgeFiles(path);
            continue;
        }
        UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        const FILETIME longAgo{0, 0x01BF5000};
        ::SetFileTime(file.Get(), nullptr, nullptr, &longAgo);
    } while (::FindNextFileW(find.Get(), &entry));
}

// The best of a few rounds: the machine's other work only ever adds time.
template <typename Round>
double Best(int rounds, Round round) {
    double best = 0;
    for (int i = 0; i < rounds; ++i) {
        const double seconds = round();
        best = i == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

TEST(CopyBenchmark, WalkersNextToXcopy) {
    const std::wstring root = Root();
    if (root.empty()) {
        GTEST_SKIP() << "run through bench/copy-bench.sh";
    }
    WindowsFileSystem disk;
    const std::atomic<int> present{1};
    bench::NoProgress progress;
    for (const std::wstring tree : {L"small", L"large"}) {
        const std::string name(tree.begin(), tree.end());
        const int rounds = tree == L"small" ? 3 : 2;
        const std::wstring source = root + L"\\" + tree;
        const std::wstring walkerCopy = root + L"\\walker-" + tree;
        // A walker is one run: it takes a source's backup folder once.
        Report("walker-copy-" + name, Best(rounds, [&] {
                   test::RemoveTree(walkerCopy);
                   ::CreateDirectoryW(walkerCopy.c_str(), nullptr);
                   BackupWalker walker(disk, present, progress, 0);
                   const auto start = std::chrono::steady_clock::now();
                   EXPECT_EQ(walker.CopyItem(source, walkerCopy), 1);
                   EXPECT_TRUE(walker.Failures().empty());
                   EXPECT_GT(walker.FilesCopied(), 0u);
                   return bench::SecondsSince(start);
               }));
        // Over the copies of the first, each out of date: each new copy is written through to the
        // disk before it replaces its older self.
        if (tree == L"small") {
            Report("walker-recopy-" + name, Best(rounds, [&] {
                       AgeFiles(walkerCopy);
                       BackupWalker walker(disk, present, progress, 0);
                       const auto start = std::chrono::steady_clock::now();
                       EXPECT_EQ(walker.CopyItem(source, walkerCopy), 1);
                       EXPECT_TRUE(walker.Failures().empty());
                       EXPECT_GT(walker.FilesCopied(), 0u);
                       return bench::SecondsSince(start);
                   }));
        }
        Report("walker-sync-" + name, Best(rounds, [&] {
                   BackupWalker walker(disk, present, progress, 0);
                   const auto start = std::chrono::steady_clock::now();
                   EXPECT_EQ(walker.SyncItem(source, walkerCopy), 1);
                   EXPECT_TRUE(walker.Failures().empty());
                   return bench::SecondsSince(start);
               }));
        test::RemoveTree(walkerCopy);

        const std::wstring xcopyCopy = root + L"\\xcopy-" + tree;
        Report("xcopy-" + name, Best(rounds, [&] {
                   test::RemoveTree(xcopyCopy);
                   const auto start = std::chrono::steady_clock::now();
                   test::ChildProcess xcopy(
                       L"C:\\windows\\system32\\xcopy.exe",
                       L"/E /I /Q /Y \"" + source + L"\" \"" + xcopyCopy + L"\"");
                   EXPECT_EQ(xcopy.RunToEnd(600000), 0u);
                   return bench::SecondsSince(start);
               }));
        test::RemoveTree(xcopyCopy);
    }
}

}  // namespace
}  // namespace bexlo
