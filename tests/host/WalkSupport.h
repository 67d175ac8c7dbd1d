#pragma once

// What the tests of walks on the memory disks share: their time units, a progress display that
// never moves, for walks made without pacing, the checks they make of every walk, and a whole
// press as the run makes it: the catalog opened, the counting pass, the walk, the records written.

#include <gtest/gtest.h>

#include <memory>

#include "backup/Catalog.h"
#include "backup/PressPlan.h"
#include "backup/ReplaceGuard.h"
#include "backup/Versions.h"
#include "backup/Walkers.h"
#include "tests/host/MemoryFileSystem.h"

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

struct PressOptions {
    bool sync = false;
    std::vector<std::wstring> sources = {L"C:\\Work"};
    bool versions = true;
    // The answer to the guard's question, whether it asks or not.
    GuardChoice choice = GuardChoice::BackUpAll;
    std::wstring machine = L"PC-A";
};

// What one press counted and did.
struct PressOutcome {
    // 1 when every item was walked to its end.
    int walked = 1;
    PressPlan plan;
    std::vector<CopyFailure> failures;
    std::uint64_t copied = 0;
    std::uint64_t replaced = 0;
    std::uint64_t unchanged = 0;
    std::vector<std::wstring> held;
    std::uint64_t versionsKept = 0;
    bool recorded = false;
    Catalog::Start catalog = Catalog::Start::New;
};

// One press at `now` into E:\FilesBackup, as the run makes it.
inline PressOutcome PressWith(MemoryFileSystem& fs, std::atomic<int>& present, std::int64_t now,
                              const PressOptions& options = {}) {
    StillBar bar;
    fs.SetClock(now);
    const std::int64_t started = fs.CurrentTime();
    const std::wstring target = L"E:\\FilesBackup";
    PressOutcome outcome;
    const std::unique_ptr<Catalog> catalog =
        Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", options.machine, started);
    if (catalog) {
        outcome.catalog = catalog->HowStarted();
    }
    const PressContext context{catalog.get(), started};
    outcome.plan = PlanPress(fs, context, options.sync, options.sources, target);
    if (catalog) {
        catalog->Commit();
    }
    BackupWalker walker(fs, present, bar, outcome.plan.totalBytes, context);
    walker.PassOverUnchanged(outcome.plan.unchanged);
    walker.OnlyNewFiles(options.choice == GuardChoice::OnlyNewFiles);
    VersionStore versions(fs, target, started);
    if (options.versions && options.choice == GuardChoice::BackUpAll) {
        std::vector<VersionRecord> planned;
        for (const Replacement& replacement : outcome.plan.replacements) {
            planned.push_back(replacement.replaced);
        }
        versions.Plan(std::move(planned));
        walker.KeepVersions(&versions);
    }
    for (const std::wstring& source : options.sources) {
        const int result =
            options.sync ? walker.SyncItem(source, target) : walker.CopyItem(source, target);
        if (result == 0) {
            outcome.walked = 0;
            break;
        }
    }
    outcome.recorded = present.load() != 0 && walker.WriteRecords();
    if (present.load() != 0 && options.versions) {
        versions.Finish();
    }
    if (outcome.walked == 1 && outcome.recorded && catalog) {
        catalog->Finish();
    }
    outcome.failures = walker.Failures();
    outcome.copied = walker.FilesCopied();
    outcome.replaced = walker.FilesReplaced();
    outcome.unchanged = walker.FilesUnchanged();
    outcome.held = walker.HeldBack();
    outcome.versionsKept = versions.Kept();
    return outcome;
}

}  // namespace bexlo
