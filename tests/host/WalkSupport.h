#pragma once

// What the tests of walks on the memory disks share: their time units, a progress display that
// never moves, for walks made without pacing, and the checks they make of every walk.

#include <gtest/gtest.h>

#include "backup/Walkers.h"

namespace bexlo {

// Times in the platform's 100-ns units.
constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kHour = 3600 * kSecond;
constexpr std::int64_t kMonday = 1000 * kSecond;

class StillBar : public ProgressFeedback {
public:
    int BarPosition() override { return 0; }
    void SlowDown() override {}
    void Copied(std::uint64_t) override {}
};

// A Synchronize or a Copy of `source` into the backup folder.
inline int Walk(BackupWalker& walker, bool sync, const std::wstring& source = L"C:\\Work") {
    return sync ? walker.SyncItem(source, L"E:\\FilesBackup")
                : walker.CopyItem(source, L"E:\\FilesBackup");
}

// The walk failed on `path` alone, for `reason`.
inline void ExpectOnlyFailure(const BackupWalker& walker, const std::wstring& path,
                              FailureReason reason) {
    ASSERT_EQ(walker.Failures().size(), 1u);
    EXPECT_EQ(walker.Failures()[0].path, path);
    EXPECT_EQ(walker.Failures()[0].reason, reason);
}

}  // namespace bexlo
