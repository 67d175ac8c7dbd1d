#include "backup/Restore.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "backup/VersionIndex.h"
#include "backup/Versions.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
constexpr std::int64_t kStart = (134774LL + 20458) * kDay + 12 * kHour;
constexpr wchar_t kBackup[] = L"E:\\FilesBackup";
constexpr wchar_t kWork[] = L"C:\\Work";

// Two presses of C:\Work: the first backs up a.txt "a1", b.txt "b1" and Sub\c.txt "c1"; the
// second replaces a.txt with "a2", keeping "a1".
class Restoring : public testing::Test {
protected:
    Restoring() { Prepare(); }

    void Prepare() {
        fs.AddFolder(kBackup);
        fs.AddFile(L"C:\\Work\\a.txt", "a1", kStart - kDay);
        fs.AddFile(L"C:\\Work\\b.txt", "b1", kStart - kDay);
        fs.AddFile(L"C:\\Work\\Sub\\c.txt", "c1", kStart - kDay);
        first = Press(kStart);
        fs.AddFile(L"C:\\Work\\a.txt", "a2", kStart + kHour);
        Press(kStart + kDay);
    }

    std::int64_t Press(std::int64_t now) {
        const PressOutcome outcome = PressWith(fs, present, now);
        EXPECT_EQ(outcome.walked, 1);
        return now + 1;
    }

    std::vector<RestoreItem> Items(std::int64_t moment, const std::wstring& elsewhere = {}) {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", L"PC-A", fs.CurrentTime());
        std::vector<FileAtMoment> files =
            BackupTimeline::Read(fs, kBackup, {kWork}, catalog.get()).At(moment);
        // The backup's files, not the PC's own kept ones.
        std::erase_if(files, [](const FileAtMoment& file) { return file.fromPc; });
        return RestoreItems(files, {kWork}, elsewhere);
    }

    RestoreOutcome Restore(const std::vector<RestoreItem>& items) {
        Restorer restorer(fs, kBackup, fs.CurrentTime());
        restorer.progress = [this](std::uint64_t files, std::uint64_t bytes) {
            progress.emplace_back(files, bytes);
        };
        return restorer.Run(items, cancel);
    }

    // The PC's files kept by restores, by their path below their press folder.
    std::map<std::wstring, std::string> KeptFromThePc() {
        std::map<std::wstring, std::string> kept;
        const std::wstring versions = std::wstring(kBackup) + L"\\Bexlo versions\\";
        for (const auto& [path, value] : fs.Snapshot(L'E')) {
            const std::size_t at = path.find(L"\\From the PC\\");
            if (path.starts_with(versions) && at != std::wstring::npos && value != "<folder>") {
                kept[path.substr(at + 13)] = value.substr(0, value.rfind('@'));
            }
        }
        return kept;
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
    std::atomic<bool> cancel{false};
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::int64_t first = 0;
};

}  // namespace

// Back to the first press over the PC's own files: the one that differs is kept from the PC first,
// the one that is the same is not touched, and the progress counts every file and its bytes.
TEST_F(Restoring, ADifferingPcFileIsKeptFirstAndAnEqualOneLeftAlone) {
    fs.AddFile(L"C:\\Work\\a.txt", "mine", kStart + 2 * kDay);
    const FileState before = StateOf(*fs.Inspect(L"C:\\Work\\b.txt"));
    const RestoreOutcome outcome = Restore(Items(first));
    EXPECT_TRUE(outcome.problems.empty());
    EXPECT_EQ(outcome.restored, 1u);
    EXPECT_EQ(outcome.same, 2u);
    EXPECT_EQ(fs.Snapshot(L'C')[L"C:\\Work\\a.txt"], "a1@" + std::to_string(kStart - kDay));
    EXPECT_EQ(StateOf(*fs.Inspect(L"C:\\Work\\b.txt")), before) << "an equal file is left alone";
    EXPECT_EQ(KeptFromThePc(), (std::map<std::wstring, std::string>{{L"Work\\a.txt", "mine"}}));
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t{3}, std::uint64_t{6}));

    // A restore again finds everything in place and keeps nothing more.
    const RestoreOutcome again = Restore(Items(first));
    EXPECT_EQ(again.restored, 0u);
    EXPECT_EQ(again.same, 3u);
    EXPECT_EQ(KeptFromThePc().size(), 1u);
}

// Into another folder, each source lands below a folder of its name, with its own times; bytes
// that are not what the record names are named and not restored, and no link is written through.
TEST_F(Restoring, AnotherFolderBytesNotAsKeptAndLinks) {
    std::vector<RestoreItem> items = Items(first, L"D:\\Back");
    fs.AddFolder(L"D:\\");
    ASSERT_EQ(items.size(), 3u);
    // The kept "a1" rots on the enclosure: same size, other bytes.
    const auto a = std::find_if(items.begin(), items.end(), [](const RestoreItem& item) {
        return item.target == L"D:\\Back\\Work\\a.txt";
    });
    ASSERT_NE(a, items.end());
    ASSERT_FALSE(a->state.press.empty());
    fs.AddFile(a->state.bytes, "x1", a->state.lastWrite);
    fs.AddFile(L"C:\\Elsewhere\\c.txt", "elsewhere", kStart);
    fs.AddLink(L"D:\\Back\\Work\\Sub", L"C:\\Elsewhere");

    const RestoreOutcome outcome = Restore(items);
    EXPECT_EQ(outcome.restored, 1u);
    ASSERT_EQ(outcome.problems.size(), 2u);
    std::map<std::wstring, RestoreTrouble> problems;
    for (const RestoreProblem& problem : outcome.problems) {
        problems[problem.target] = problem.trouble;
    }
    EXPECT_EQ(problems[L"D:\\Back\\Work\\a.txt"], RestoreTrouble::NotAsKept);
    EXPECT_EQ(problems[L"D:\\Back\\Work\\Sub\\c.txt"], RestoreTrouble::Link);
    EXPECT_EQ(fs.Snapshot(L'D'),
              (std::map<std::wstring, std::string>{
                  {L"D:\\Back", "<folder>"},
                  {L"D:\\Back\\Work", "<folder>"},
                  {L"D:\\Back\\Work\\Sub", "<link>"},
                  {L"D:\\Back\\Work\\b.txt", "b1@" + std::to_string(kStart - kDay)}}));
    EXPECT_EQ(fs.Data(L"C:\\Elsewhere\\c.txt"), "elsewhere");
}

// A file put back in its place wins the next Synchronize over its backup copy's newer time, which
// is kept as a version; one put back as its backup copy holds it is taken for that copy's source.
TEST_F(Restoring, RestoredFilesWinTheNextSynchronize) {
    fs.Remove(L"C:\\Work\\Sub\\c.txt");
    {
        const std::vector<RestoreItem> items = Items(first);
        const RestoreOutcome outcome = Restore(items);
        EXPECT_EQ(outcome.restored, 2u);
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", L"PC-A", fs.CurrentTime());
        ASSERT_TRUE(catalog);
        EXPECT_TRUE(MarkRestored(*catalog, L"\\\\?\\E:\\FilesBackup", {kWork}, outcome));
    }
    const PressOutcome press = PressWith(fs, present, kStart + 3 * kDay, {.sync = true});
    EXPECT_EQ(press.replaced, 1u) << "c.txt is its backup copy's source";
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), "a1");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "a1");
    EXPECT_EQ(fs.Data(std::wstring(kBackup) + L"\\Bexlo versions\\" +
                      PressFolderName(kStart + 3 * kDay + 1) + L"\\Work\\a.txt"),
              "a2");
    const PressOutcome again = PressWith(fs, present, kStart + 4 * kDay, {.sync = true});
    EXPECT_EQ(again.copied + again.replaced, 0u);
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), "a1");
}

// Every file a restore writes is given to the person logged on, and nothing it keeps on the
// enclosure is; a file whose owner cannot be set is restored all the same, and named.
TEST_F(Restoring, RestoredFilesAreGivenToThePerson) {
    fs.AddFile(L"C:\\Work\\a.txt", "mine", kStart + 2 * kDay);
    fs.Remove(L"C:\\Work\\Sub");
    const RestoreOutcome outcome = Restore(Items(first));
    EXPECT_EQ(outcome.restored, 2u);
    EXPECT_TRUE(outcome.notOwned.empty());
    EXPECT_EQ(fs.givenToThePerson,
              (std::set<std::wstring>{L"C:\\Work\\a.txt", L"C:\\Work\\Sub\\c.txt"}));
    EXPECT_EQ(KeptFromThePc().size(), 1u) << "the PC's file is kept, not given";

    fs.givenToThePerson.clear();
    fs.AddFolder(L"D:\\");
    fs.gate = [](MemoryFileSystem::Op op, const std::wstring&) {
        return op != MemoryFileSystem::Op::GiveToThePerson;
    };
    const RestoreOutcome refused = Restore(Items(first, L"D:\\Back"));
    fs.gate = nullptr;
    EXPECT_TRUE(refused.problems.empty());
    EXPECT_EQ(refused.restored, 3u);
    ASSERT_EQ(refused.notOwned.size(), 3u);
    EXPECT_EQ(refused.notOwned[0].trouble, RestoreTrouble::NotOwned);
    EXPECT_EQ(refused.notOwned[0].error, file_error::kAccessDenied);
    EXPECT_EQ(fs.Data(L"D:\\Back\\Work\\a.txt"), "a1");
    EXPECT_TRUE(fs.givenToThePerson.empty());

    // With no person logged on to be found, the first file tells for the whole run.
    int asked = 0;
    fs.gate = [&asked](MemoryFileSystem::Op op, const std::wstring&) {
        asked += op == MemoryFileSystem::Op::GiveToThePerson;
        return op != MemoryFileSystem::Op::GiveToThePerson;
    };
    fs.gateError = file_error::kNoSuchLogonSession;
    const RestoreOutcome nobody = Restore(Items(first, L"D:\\Elsewhere"));
    fs.gate = nullptr;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(nobody.restored, 3u);
    ASSERT_EQ(nobody.notOwned.size(), 3u);
    EXPECT_EQ(nobody.notOwned[2].error, file_error::kNoSuchLogonSession);
}

// A file another program puts at a free name while the restore copies is left as it is, and the
// file the restore was writing there is named, not placed.
TEST_F(Restoring, AFileThatAppearsAtAFreeNameIsNeverOverwritten) {
    fs.Remove(L"C:\\Work\\b.txt");
    fs.beforeCopy = [this](const std::wstring& from) {
        if (from.ends_with(L"b.txt") && !fs.Data(L"C:\\Work\\b.txt")) {
            fs.AddFile(L"C:\\Work\\b.txt", "theirs", kStart + 2 * kDay);
        }
    };
    const RestoreOutcome outcome = Restore(Items(first));
    fs.beforeCopy = nullptr;
    ASSERT_EQ(outcome.problems.size(), 1u);
    EXPECT_EQ(outcome.problems[0].target, L"C:\\Work\\b.txt");
    EXPECT_EQ(fs.Data(L"C:\\Work\\b.txt"), "theirs");
    for (const auto& [path, value] : fs.Snapshot(L'C')) {
        EXPECT_FALSE(IsPartialCopyName(LastSegment(path))) << path;
    }
}

// Cancelled, a restore stops before its next file: what it restored stays.
TEST_F(Restoring, CancelStopsBeforeTheNextFile) {
    fs.Remove(kWork);
    Restorer restorer(fs, kBackup, fs.CurrentTime());
    restorer.progress = [this](std::uint64_t, std::uint64_t) { cancel = true; };
    const RestoreOutcome outcome = restorer.Run(Items(first), cancel);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.restored, 1u);
    std::size_t files = 0;
    for (const auto& [path, value] : fs.Snapshot(L'C')) {
        files += IsWithin(path, kWork) && value != "<folder>" ? 1 : 0;
    }
    EXPECT_EQ(files, 1u);
}

// The power goes at each step of a restore in turn: afterwards every file under its own name
// holds what it held before or all of what was restored, and the PC's file is kept or still there.
namespace {

// Where the PC's volume cannot be flushed as a whole, each file is flushed on its own.
void CutAtEveryStep(bool volumeFlushes) {
    bool finished = false;
    for (int cut = 1; !finished && cut < 500; ++cut) {
        MemoryFileSystem fs;
        std::atomic<int> present{1};
        if (!volumeFlushes) {
            fs.volumeFlushRefused.insert(L'C');
        }
        fs.AddFolder(kBackup);
        fs.AddFile(L"C:\\Work\\a.txt", "first a", kStart - kDay);
        fs.AddFile(L"C:\\Work\\Sub\\c.txt", "first c", kStart - kDay);
        PressWith(fs, present, kStart);
        fs.AddFile(L"C:\\Work\\a.txt", "second a", kStart + kHour);
        fs.Remove(L"C:\\Work\\Sub");
        PressWith(fs, present, kStart + kDay);
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", L"PC-A", fs.CurrentTime());
        const std::vector<RestoreItem> items = RestoreItems(
            BackupTimeline::Read(fs, kBackup, {kWork}, catalog.get()).At(kStart + 1), {kWork}, {});
        ASSERT_EQ(items.size(), 2u);

        int steps = 0;
        bool struck = false;
        fs.gate = [&](MemoryFileSystem::Op, const std::wstring&) {
            struck = struck || ++steps >= cut;
            return !struck;
        };
        std::atomic<bool> cancel{false};
        const RestoreOutcome outcome = Restorer(fs, kBackup, fs.CurrentTime()).Run(items, cancel);
        fs.gate = nullptr;
        if (!struck) {
            EXPECT_EQ(fs.volumeFlushes[L'C'] > 0, volumeFlushes);
        }
        fs.PowerCut();
        finished = !struck;
        if (finished) {
            EXPECT_EQ(outcome.restored, 2u);
        }
        const std::map<std::wstring, std::string> pc = fs.Snapshot(L'C');
        for (const auto& [path, value] : pc) {
            if (value == "<folder>" || IsPartialCopyName(LastSegment(path))) {
                continue;
            }
            const std::string data = value.substr(0, value.rfind('@'));
            if (path == L"C:\\Work\\a.txt") {
                EXPECT_TRUE(data == "first a" || data == "second a") << cut << ": " << data;
            } else {
                EXPECT_EQ(path, L"C:\\Work\\Sub\\c.txt") << cut;
                EXPECT_EQ(data, "first c") << cut;
            }
        }
        const std::string a = pc.contains(L"C:\\Work\\a.txt") ? pc.at(L"C:\\Work\\a.txt") : "";
        if (a.starts_with("first a")) {
            // "second a" was replaced only once it was kept.
            bool kept = false;
            for (const auto& [path, value] : fs.Snapshot(L'E')) {
                kept = kept || (path.find(L"\\From the PC\\Work\\a.txt") != std::wstring::npos &&
                                value.starts_with("second a@"));
            }
            EXPECT_TRUE(kept) << cut;
        }
    }
    EXPECT_TRUE(finished);
}

}  // namespace

TEST(RestoreCut, AtEveryStepNothingIsHalfWrittenUnderARealName) {
    CutAtEveryStep(true);
    CutAtEveryStep(false);
}

}  // namespace bexlo
