#include "backup/Walkers.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/host/MemoryFileSystem.h"

namespace bexlo {
namespace {

// Cuts Copy and Synchronize runs at random steps, as a pulled enclosure or a failing copy
// does, then runs again: nothing may be lost or half written, and the second run must leave
// both sides as an uncut run would.

constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kBase = 5000 * kSecond;
constexpr wchar_t kTarget[] = L"E:\\FilesBackup";
constexpr wchar_t kDrives[] = {L'C', L'D', L'E'};

class NoBar : public ProgressFeedback {
public:
    int BarPosition() override { return 0; }
    void SlowDown() override {}
    void Copied(std::uint64_t) override {}
};

struct Scenario {
    std::vector<std::wstring> sources;
    // Every complete content a file may hold.
    std::set<std::string> contents;
};

class ScenarioBuilder {
public:
    ScenarioBuilder(std::uint32_t seed, MemoryFileSystem& fs) : random_(seed), fs_(fs) {}

    Scenario Build() {
        fs_.AddFolder(L"C:\\");
        fs_.AddFolder(L"D:\\");
        fs_.AddFolder(kTarget);
        Tree(L"C:\\Work", L"Work", 0);
        Tree(L"D:\\Photos", L"Photos", 1);
        scenario_.sources = {L"C:\\Work", L"D:\\Photos"};
        if (Chance(50)) {
            AddPair(L"C:\\notes.txt", L"notes.txt");
            scenario_.sources.push_back(L"C:\\notes.txt");
        }
        if (Chance(40)) {
            // Saved once, since deleted from the source; the backup still has it.
            Tree(L"D:\\Old", L"Old", 1, true);
            scenario_.sources.push_back(L"D:\\Old");
        }
        if (Chance(30)) {
            fs_.AddLink(L"C:\\Work\\Loop", L"C:\\Work");
        }
        if (Chance(30)) {
            fs_.AddLink(L"D:\\Photos\\Backup", kTarget);
        }
        return scenario_;
    }

private:
    bool Chance(int percent) { return static_cast<int>(random_() % 100) < percent; }

    std::string NewContent() {
        std::string data = "#" + std::to_string(scenario_.contents.size()) + ":";
        for (std::size_t n = 4 + random_() % 40; n > 0; --n) {
            data += static_cast<char>('a' + random_() % 26);
        }
        scenario_.contents.insert(data);
        return data;
    }

    // A file of the source side, perhaps with a backup copy that is older, newer or as new.
    void AddPair(const std::wstring& source, const std::wstring& relative) {
        const std::int64_t time = kBase + static_cast<std::int64_t>(random_() % 100) * kSecond;
        const bool inSource = !Chance(15);
        if (inSource) {
            fs_.AddFile(source, NewContent(), time);
        }
        if (!inSource || Chance(40)) {
            const std::int64_t shifts[] = {-30 * kSecond, 30 * kSecond, kSecond, 0};
            fs_.AddFile(std::wstring(kTarget) + L"\\" + relative, NewContent(),
                        time + shifts[random_() % 4]);
        }
    }

    void Tree(const std::wstring& source, const std::wstring& relative, int depth,
              bool backupOnly = false) {
        const std::wstring backup = std::wstring(kTarget) + L"\\" + relative;
        if (!backupOnly) {
            fs_.AddFolder(source);
        }
        const int files = static_cast<int>(random_() % 4);
        for (int i = 0; i < files; ++i) {
            const std::wstring name = L"f" + std::to_wstring(i) + L".txt";
            if (backupOnly) {
                fs_.AddFile(backup + L"\\" + name, NewContent(), kBase);
            } else {
                AddPair(source + L"\\" + name, relative + L"\\" + name);
            }
        }
        if (depth < 3) {
            for (int i = static_cast<int>(random_() % 3); i > 0; --i) {
                const std::wstring name = L"Sub" + std::to_wstring(i);
                Tree(source + L"\\" + name, relative + L"\\" + name, depth + 1,
                     backupOnly || Chance(10));
            }
        }
    }

    std::mt19937 random_;
    MemoryFileSystem& fs_;
    Scenario scenario_;
};

struct RunResult {
    int result = 1;
    std::size_t failures = 0;
};

// `walking`, when given, is set once the pre-scan is over.
RunResult Run(MemoryFileSystem& fs, std::atomic<int>& devicePresent, const Scenario& scenario,
              bool sync, bool* walking = nullptr) {
    NoBar bar;
    fs.CreateFolder(kTarget);
    const ScanTotals totals = PreScanSources(fs, scenario.sources, kTarget);
    if (walking != nullptr) {
        *walking = true;
    }
    BackupWalker walker(fs, devicePresent, bar, totals.totalBytes);
    RunResult run;
    for (const std::wstring& source : scenario.sources) {
        if (!(sync ? walker.SyncItem(source, kTarget) : walker.CopyItem(source, kTarget))) {
            run.result = 0;
            break;
        }
    }
    run.failures = walker.Failures().size();
    return run;
}

using Snapshot = std::map<std::wstring, std::string>;

Snapshot Everything(const MemoryFileSystem& fs) {
    Snapshot all;
    for (wchar_t drive : kDrives) {
        all.merge(fs.Snapshot(drive));
    }
    return all;
}

Snapshot SourceSide(const MemoryFileSystem& fs) {
    Snapshot sources = fs.Snapshot(L'C');
    sources.merge(fs.Snapshot(L'D'));
    return sources;
}

Snapshot WithoutPartialCopies(Snapshot snapshot) {
    std::erase_if(snapshot, [](const auto& entry) { return IsPartialCopyName(entry.first); });
    return snapshot;
}

// Every file under its real name holds one whole content of the scenario.
void ExpectNoHalfFiles(const Snapshot& snapshot, const Scenario& scenario, const std::string& at) {
    for (const auto& [path, value] : WithoutPartialCopies(snapshot)) {
        if (value == "<folder>" || value == "<link>") {
            continue;
        }
        const std::string data = value.substr(0, value.rfind('@'));
        EXPECT_TRUE(scenario.contents.count(data)) << at << ": half written file";
    }
}

// What goes wrong during a run, as real disks and enclosures go wrong.
enum class Fault {
    Pull,      // the enclosure is pulled before an operation
    Refused,   // a copy's target cannot be written
    DiskFull,  // the destination disk fills up during a copy
    Unlisted,  // a folder cannot be listed, the enclosure still there
    HeldOpen,  // another program holds a source file open
    Vanished,  // a file goes between its listing and its copy
};

struct Cut {
    bool sync = false;
    Fault fault = Fault::Pull;
    // The operation (Pull), listing (Unlisted) or copy (the others) that goes wrong.
    int at = 0;
};

// "seed 7 sync fault 2 at 3": the fault by its number in Fault.
std::string Describe(std::uint32_t seed, const Cut& cut) {
    return "seed " + std::to_string(seed) + (cut.sync ? " sync" : " copy") + " fault " +
           std::to_string(static_cast<int>(cut.fault)) + " at " + std::to_string(cut.at);
}

// Every source-side file holds what it held before the run or what an uncut run leaves there:
// nothing was copied over it because a listing failed.
void ExpectSourcesBeforeOrAsExpected(const Snapshot& after, const Snapshot& before,
                                     const Snapshot& expected, const std::string& at) {
    for (const auto& [path, value] : WithoutPartialCopies(after)) {
        const auto old = before.find(path);
        const auto uncut = expected.find(path);
        const bool asBefore = old != before.end() && old->second == value;
        const bool asExpected = uncut != expected.end() && uncut->second == value;
        EXPECT_TRUE(asBefore || asExpected) << at << ": " << std::string(path.begin(), path.end());
    }
}

void CutAndRunAgain(std::uint32_t seed, const Cut& cut) {
    const std::string at = Describe(seed, cut);
    // The state an uncut run leaves.
    MemoryFileSystem expectedFs;
    std::atomic<int> present{1};
    const Scenario scenario = ScenarioBuilder(seed, expectedFs).Build();
    ASSERT_EQ(Run(expectedFs, present, scenario, cut.sync).result, 1) << at;
    const Snapshot expected = Everything(expectedFs);

    MemoryFileSystem fs;
    ScenarioBuilder(seed, fs).Build();
    const Snapshot sourcesBefore = SourceSide(fs);
    int operations = 0;
    int copies = 0;
    int listings = 0;
    bool walking = false;
    bool cutMade = false;
    fs.gateError = cut.fault == Fault::DiskFull ? file_error::kDiskFull : file_error::kAccessDenied;
    fs.gate = [&](MemoryFileSystem::Op op, const std::wstring&) {
        ++operations;
        listings += walking && op == MemoryFileSystem::Op::List ? 1 : 0;
        const bool isCopy = op == MemoryFileSystem::Op::CopyFileData;
        bool cutHere = false;
        switch (cut.fault) {
            case Fault::Pull:
                cutHere = operations == cut.at;
                break;
            case Fault::Unlisted:
                cutHere = walking && op == MemoryFileSystem::Op::List && listings == cut.at;
                break;
            case Fault::Refused:
            case Fault::DiskFull:
                cutHere = isCopy && ++copies == cut.at;
                break;
            case Fault::HeldOpen:
            case Fault::Vanished:
                break;
        }
        if (!cutHere) {
            return true;
        }
        cutMade = true;
        if (cut.fault == Fault::Pull) {
            present = 0;
            fs.Detach(L'E');
        }
        return false;
    };
    fs.beforeCopy = [&](const std::wstring& from) {
        const bool source = cut.fault == Fault::HeldOpen || cut.fault == Fault::Vanished;
        if (!source || ++copies != cut.at) {
            return;
        }
        cutMade = true;
        if (cut.fault == Fault::HeldOpen) {
            fs.HoldOpen(from);
        } else {
            fs.gate = nullptr;
            fs.RemoveFile(from);
        }
    };
    const RunResult cutRun = Run(fs, present, scenario, cut.sync, &walking);
    ASSERT_TRUE(cutMade) << at << ": the run ended before the cut";
    if (cut.fault == Fault::Pull || cut.fault == Fault::DiskFull) {
        EXPECT_EQ(cutRun.result, 0) << at << ": the cut run went on";
    } else {
        EXPECT_EQ(cutRun.result, 1) << at << ": one entry ended the whole run";
    }
    if (cut.fault != Fault::Pull) {
        EXPECT_GE(cutRun.failures, 1u) << at << ": the cut run did not say what failed";
    }

    const Snapshot afterCut = Everything(fs);
    ExpectNoHalfFiles(afterCut, scenario, at);
    if (cut.fault == Fault::Vanished) {
        return;
    }
    if (!cut.sync) {
        EXPECT_EQ(SourceSide(fs), sourcesBefore) << at;
    } else {
        ExpectSourcesBeforeOrAsExpected(SourceSide(fs), sourcesBefore, expected, at);
    }

    fs.gate = nullptr;
    fs.beforeCopy = nullptr;
    fs.LetGo();
    fs.Attach(L'E');
    present = 1;
    ASSERT_EQ(Run(fs, present, scenario, cut.sync).result, 1) << at;
    // Partial copies the cut left behind are gone too.
    EXPECT_EQ(Everything(fs), expected) << at;
}

struct Steps {
    int operations = 0;
    int copies = 0;
    int listings = 0;
};

// How many operations, copies and listings an uncut run makes.
Steps CountSteps(std::uint32_t seed, bool sync) {
    MemoryFileSystem fs;
    std::atomic<int> present{1};
    const Scenario scenario = ScenarioBuilder(seed, fs).Build();
    Steps steps;
    bool walking = false;
    fs.gate = [&](MemoryFileSystem::Op op, const std::wstring&) {
        ++steps.operations;
        steps.copies += op == MemoryFileSystem::Op::CopyFileData ? 1 : 0;
        steps.listings += walking && op == MemoryFileSystem::Op::List ? 1 : 0;
        return true;
    };
    Run(fs, present, scenario, sync, &walking);
    return steps;
}

TEST(WalkerFaults, CutRunsLoseNothingSayWhatFailedAndTheNextRunFinishesTheJob) {
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        std::mt19937 random(seed * 7919);
        for (bool sync : {false, true}) {
            const Steps steps = CountSteps(seed, sync);
            const auto pick = [&](int count) { return 1 + static_cast<int>(random() % count); };
            CutAndRunAgain(seed, {sync, Fault::Pull, pick(steps.operations)});
            if (steps.listings > 0) {
                CutAndRunAgain(seed, {sync, Fault::Unlisted, pick(steps.listings)});
            }
            if (steps.copies > 0) {
                for (Fault fault :
                     {Fault::Refused, Fault::DiskFull, Fault::HeldOpen, Fault::Vanished}) {
                    CutAndRunAgain(seed, {sync, fault, pick(steps.copies)});
                }
            }
        }
        if (testing::Test::HasFailure()) {
            return;
        }
    }
}

}  // namespace
}  // namespace bexlo
