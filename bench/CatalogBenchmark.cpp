// Times the catalog on the real disk: a press that writes 50,000 records in 500 folders,
// committing every 300, then presses that open the catalog and read every folder's records.
// Prints its figures; asserts nothing about them.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "backup/Catalog.h"
#include "backup/WindowsFileSystem.h"
#include "bench/Seconds.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using bench::Median;
using bench::Report;

std::wstring FolderKey(int i) {
    return L"PROJECTS\\FOLDER " + std::to_wstring(i);
}

TEST(CatalogBenchmark, FiftyThousandRecordsInFiveHundredFolders) {
    const std::wstring root = L"C:\\bexlo-catalog-bench";
    test::RemoveTree(root);
    test::MakeFolders({root});
    WindowsFileSystem disk;
    const std::int64_t now = disk.CurrentTime();
    auto start = std::chrono::steady_clock::now();
    {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, L"\\\\?\\" + root, L"BENCH-PC", now);
        ASSERT_TRUE(catalog);
        for (int folder = 0; folder < 500; ++folder) {
            catalog->Folder(FolderKey(folder));
            catalog->Seen(FolderKey(folder));
            for (int i = 0; i < 100; ++i) {
                const FileState state{40'000u + i, now - i, now - i, 1'000'000u + i};
                catalog->Put(FolderKey(folder),
                             {L"Quarterly report " + std::to_wstring(i) + L".docx", state, state,
                              now, now, false, ContentHash{1u + i, 2u + folder}});
                if (catalog->StagedCount() >= 300) {
                    ASSERT_TRUE(catalog->Commit());
                }
            }
        }
        ASSERT_TRUE(catalog->Commit() && catalog->Finish());
    }
    Report("catalog.write_50000_records", bench::SecondsSince(start));

    std::vector<double> opening, reading;
    for (int round = 0; round < 5; ++round) {
        start = std::chrono::steady_clock::now();
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(disk, L"\\\\?\\" + root, L"BENCH-PC", now + round + 1);
        ASSERT_TRUE(catalog);
        opening.push_back(bench::SecondsSince(start));
        start = std::chrono::steady_clock::now();
        std::size_t records = 0;
        for (int folder = 0; folder < 500; ++folder) {
            records += catalog->Folder(FolderKey(folder)).mine.size();
        }
        reading.push_back(bench::SecondsSince(start));
        ASSERT_EQ(records, 50'000u);
    }
    Report("catalog.open_and_check", Median(opening));
    Report("catalog.read_500_folders", Median(reading));
    WIN32_FILE_ATTRIBUTE_DATA file{};
    ASSERT_TRUE(::GetFileAttributesExW((root + L"\\Bexlo versions\\_Bexlo catalog.db").c_str(),
                                       GetFileExInfoStandard, &file));
    const double perFile = (double(file.nFileSizeHigh) * 4294967296.0 + file.nFileSizeLow) / 50'000;
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    std::printf(
        "the catalog of 50,000 files in 500 folders:\n"
        "  %.0f bytes a file (goal: at most 256): %s\n"
        "  opened and checked as a press starts in %.3f s (goal: at most 0.5 s): %s\n"
        "  every folder's records read in %.3f s (goal: at most 0.5 s): %s\n",
        perFile, verdict(perFile <= 256), Median(opening), verdict(Median(opening) <= 0.5),
        Median(reading), verdict(Median(reading) <= 0.5));
    test::RemoveTree(root);
}

}  // namespace
}  // namespace bexlo
