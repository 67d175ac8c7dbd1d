#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "backup/BackupTimeline.h"
#include "backup/Restore.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

constexpr std::int64_t kDay = 24 * kHour;
// 2026-01-05 12:00 UTC, a Monday.
constexpr std::int64_t kStart = (134774LL + 20458) * kDay + 12 * kHour;
constexpr int kDays = 365;
constexpr wchar_t kBackup[] = L"E:\\FilesBackup";
constexpr wchar_t kWork[] = L"C:\\Work";
constexpr wchar_t kShared[] = L"C:\\Work\\Sub\\shared.txt";

// "data@lastWrite" of each file of the source, by path.
using Tree = std::map<std::wstring, std::string>;

// A year of daily presses of C:\Work into a small enclosure, with what the source held after each.
class Year : public testing::Test {
protected:
    void SetUp() override {
        fs.AddFolder(kBackup);
        fs.AddFolder(L"D:\\");
        // Versions outgrow a quarter of this long before the year is out.
        fs.capacities[L'E'] = 400000;
        for (int day = 0; day < kDays; ++day) {
            ChangeTheSource(day);
            const std::int64_t now = kStart + day * kDay;
            const PressOutcome outcome = PressWith(fs, present, now, {.sync = Syncs(day)});
            ASSERT_EQ(outcome.walked, 1) << day;
            ASSERT_TRUE(outcome.failures.empty()) << day << " " << outcome.failures.front().path;
            // A press's moment is the time it started: the first reading of the clock.
            moments.push_back(now + 1);
            held.push_back(Source());
        }
    }

    // Synchronize takes back to the PC what the source lost, so files are deleted in the year's
    // last weeks, pressed with Copy alone.
    static bool Syncs(int day) { return day % 10 == 9 && day < 300; }

    // Each file's bytes differ at each write, and so, mostly, does its size.
    void Write(const std::wstring& path, const std::string& what, int day, std::int64_t at) {
        fs.AddFile(path, what + " of day " + std::to_string(day) + std::string(day % 23, '.'), at,
                   1000 + day % 23);
    }

    void ChangeTheSource(int day) {
        const std::int64_t before = kStart + day * kDay - 6 * kHour;
        if (day == 0) {
            fs.AddFile(L"C:\\Work\\static.txt", "never changes", before);
            fs.AddFile(L"C:\\Work\\Sub\\Deep\\rare.txt", "rare at first", before);
            Write(kShared, "shared", day, before);
        }
        Write(L"C:\\Work\\daily.txt", "daily", day, before);
        if (day % 7 == 3 || day == 0) {
            Write(L"C:\\Work\\weekly.txt", "weekly", day, before);
        }
        if (day % 30 == 5 || day == 0) {
            Write(L"C:\\Work\\monthly.txt", "monthly", day, before);
        }
        if (day == 100 || day == 250) {
            Write(L"C:\\Work\\Sub\\Deep\\rare.txt", "rare", day, before);
        }
        if (day % 45 == 10) {
            Write(L"C:\\Work\\New\\" + std::to_wstring(day) + L".txt", "new", day, before);
        }
        if (day == 305 || day == 320 || day == 340) {
            fs.Remove(L"C:\\Work\\New\\" + std::to_wstring((day - 305) * 9 + 10) + L".txt");
        }
        if (day % 13 == 4) {
            Write(kShared, "shared", day, before);
        }
        // Changed on the enclosure before a Synchronize, which takes it to the PC.
        if (day % 20 == 19 && Syncs(day)) {
            Write(L"E:\\FilesBackup\\Work\\Sub\\shared.txt", "enclosure", day, before + kHour);
        }
    }

    Tree Source() const {
        Tree tree;
        for (const auto& [path, value] : fs.Snapshot(L'C')) {
            if (value != "<folder>" && IsWithin(path, kWork)) {
                tree.emplace(path, value);
            }
        }
        return tree;
    }

    BackupTimeline Read() {
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs, L"\\\\?\\E:\\FilesBackup", L"PC-A", fs.CurrentTime());
        EXPECT_TRUE(catalog);
        return BackupTimeline::Read(fs, kBackup, {kWork}, catalog.get());
    }

    std::string Held(const KeptState& state) const {
        return fs.Data(state.bytes).value_or("<none>") + "@" + std::to_string(state.lastWrite);
    }

    // What a restore of the moment `at` must bring back, given what the history says of it.
    Tree Expected(const BackupTimeline& history, std::size_t at) {
        Tree tree;
        for (const FileAtMoment& file : history.At(moments[at])) {
            if (!file.fromPc && !file.gone) {
                tree.emplace(file.original, Held(file.state));
            }
        }
        return tree;
    }

    MemoryFileSystem fs;
    std::atomic<int> present{1};
    std::vector<std::int64_t> moments;
    std::vector<Tree> held;
};

}  // namespace

// At every press of the year, each file of the backup holds what the source held then, where
// thinning kept that state; a thinned state gives way to the newest kept before it, or the oldest
// after; a file the source had lost is marked so; and a whole restore of a moment, near or far
// back, brings the source back as it was then.
TEST_F(Year, EveryPressShowsWhatTheSourceHeldAndRestoresIt) {
    const BackupTimeline history = Read();
    std::map<std::wstring, std::set<std::string>> keptOf;
    int thinnedSeen = 0;
    for (std::size_t at = 0; at < moments.size(); ++at) {
        const Tree& source = held[at];
        std::set<std::wstring> shown;
        for (const FileAtMoment& file : history.At(moments[at])) {
            if (file.fromPc) {
                continue;
            }
            shown.insert(file.original);
            const auto then = source.find(file.original);
            EXPECT_EQ(file.gone, then == source.end()) << "day " << at << " " << file.original;
            if (then == source.end()) {
                continue;
            }
            // The file's kept states: the backup's, and the PC's own that Synchronize replaced.
            const auto [known, added] = keptOf.try_emplace(file.original);
            if (added) {
                for (const bool fromPc : {false, true}) {
                    for (const KeptState& state : history.VersionsOf(file.original, fromPc)) {
                        known->second.insert(Held(state));
                    }
                }
            }
            const std::set<std::string>& kept = known->second;
            if (kept.contains(then->second)) {
                EXPECT_FALSE(file.thinned) << "day " << at << " " << file.original;
                EXPECT_EQ(Held(file.state), then->second) << "day " << at << " " << file.original;
                continue;
            }
            ++thinnedSeen;
            EXPECT_TRUE(file.thinned) << "day " << at << " " << file.original;
            std::string expected;
            for (std::size_t day = at; day-- > 0 && expected.empty();) {
                const auto before = held[day].find(file.original);
                if (before != held[day].end() && kept.contains(before->second)) {
                    expected = before->second;
                }
            }
            for (std::size_t day = at + 1; day < held.size() && expected.empty(); ++day) {
                const auto after = held[day].find(file.original);
                if (after != held[day].end() && kept.contains(after->second)) {
                    expected = after->second;
                }
            }
            EXPECT_EQ(Held(file.state), expected) << "day " << at << " " << file.original;
        }
        for (const auto& [path, value] : source) {
            EXPECT_TRUE(shown.contains(path)) << "day " << at << " " << path;
        }
    }
    EXPECT_GT(thinnedSeen, 100) << "thinning took states within the year";
    EXPECT_TRUE(fs.givenToThePerson.empty()) << "a press gives nothing away";

    int restore = 0;
    std::size_t given = 0;
    for (const std::size_t at : {std::size_t{20}, std::size_t{75}, std::size_t{140},
                                 std::size_t{199}, std::size_t{300}, std::size_t{kDays - 1}}) {
        const std::wstring into = L"D:\\Restored" + std::to_wstring(++restore);
        std::vector<FileAtMoment> files = history.At(moments[at]);
        std::erase_if(files, [](const FileAtMoment& file) { return file.fromPc || file.gone; });
        std::atomic<bool> cancel{false};
        const RestoreOutcome outcome =
            Restorer(fs, kBackup, fs.CurrentTime()).Run(RestoreItems(files, {kWork}, into), cancel);
        EXPECT_TRUE(outcome.problems.empty()) << "day " << at;
        EXPECT_TRUE(outcome.notOwned.empty()) << "day " << at;
        Tree restored;
        for (const auto& [path, value] : fs.Snapshot(L'D')) {
            if (value != "<folder>" && IsWithin(path, into)) {
                restored.emplace(kWork + path.substr(into.size() + 5), value);
            }
        }
        for (const auto& [path, value] : restored) {
            EXPECT_TRUE(fs.givenToThePerson.contains(into + path.substr(2))) << path;
        }
        EXPECT_EQ(restored, Expected(history, at)) << "day " << at;
        given += restored.size();
        EXPECT_EQ(fs.givenToThePerson.size(), given) << "nothing but the files restored";
        // Where thinning kept the state, the source itself.
        for (const auto& [path, value] : held[at]) {
            if (keptOf[path].contains(value)) {
                EXPECT_EQ(restored[path], value) << "day " << at << " " << path;
            }
        }
    }
}

}  // namespace bexlo
