#include "backup/BackupRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "backup/BackupRecord.h"
#include "backup/Pacing.h"
#include "backup/PathList.h"
#include "backup/RunLog.h"
#include "backup/Utf16Text.h"
#include "backup/WalkRules.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/RunSupport.h"

namespace bexlo {
namespace {

TEST(BackupRunOnMemoryDisks, APressCopiesEverySourceEndsWithTheBoxAndRecordsTheVolume) {
    MemoryRun t;
    t.Save(kTarget, {kWork, kPhotos});
    t.RecordVolume(BackupType::Sync, kEnclosureSerial);
    t.Press(RunMode::Copy, 1, true);

    EXPECT_TRUE(t.BackedUp());
    // The run thread's and the progress thread's own events, each in its order; the progress
    // window goes and the enclosure is told before the box, whose answer gives everything back.
    const std::vector<std::string> events = t.host.Events();
    ASSERT_EQ(events.size(), 7u);
    EXPECT_TRUE(t.host.InOrder({"hold", "drive has folders"}));
    EXPECT_TRUE(t.host.InOrder({"hold", "window open", "window closed"}));
    EXPECT_EQ(
        std::vector<std::string>(events.end() - 3, events.end()),
        (std::vector<std::string>{"told complete", "box Information", "release reselecting"}));
    EXPECT_EQ(t.host.Texts(), std::vector<std::wstring>{t.host.Text(Msg::CopyOver)});
    EXPECT_EQ(t.host.lastPosition, 100);
    const auto record = MakeBackupRecord(BackupType::Copy, kEnclosureSerial);
    EXPECT_EQ(t.Record(), std::vector<std::uint8_t>(record.begin(), record.end()));
    EXPECT_EQ(t.run.state.backupRunning, 0);
    EXPECT_EQ(t.run.state.serialCheckArmed, 1);
    EXPECT_EQ(t.run.state.totalBytes, 9u + 4u + 3000u);

    // Synchronize then merges both ways, deletes nothing and records its own type.
    t.fs.AddFile(L"E:\\FilesBackup\\Work\\only-in-backup.txt", "kept", 4 * kMinute);
    t.fs.AddFile(L"C:\\Work\\report.doc", "quarterly v2", 5 * kMinute);
    t.Press(RunMode::Sync);
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\report.doc"), "quarterly v2");
    EXPECT_EQ(t.fs.Data(L"C:\\Work\\only-in-backup.txt"), "kept");
    EXPECT_EQ(ParseBackupType(t.Record()), BackupType::Sync);
}

TEST(BackupRunOnMemoryDisks, EachRefusalShowsItsBoxCopiesNothingAndTellsTheEnclosure) {
    struct Case {
        const char* what;
        std::function<void(MemoryRun&)> setUp;
        int pressKey;
        const char* refusal;
        Msg text;
    };
    const Case cases[] = {
        {"no path.txt", [](auto&) {}, 1, "box No Path File", Msg::PathLost},
        {"a path.txt without its markers",
         [](auto& t) {
             t.fs.WriteFileReplacing(PathListFile(), std::vector<std::uint8_t>(9, 'g'));
         },
         1, "box No Path File", Msg::PathLost},
        {"the key out, destination on the key's drive", [](auto& t) { t.Save(kTarget, {kWork}); },
         2, "box Key Lost", Msg::KeyLost},
        {"no record of the last volume",
         [](auto& t) {
             t.Save(kTarget, {kWork});
             t.fs.RemoveFile(BackupRecordFile());
         },
         1, "box Different Volume", Msg::DiffVol},
        {"another volume recorded",
         [](auto& t) {
             t.Save(kTarget, {kWork});
             t.RecordVolume(BackupType::Copy, 0x1234);
         },
         1, "box Different Volume", Msg::DiffVol},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRun t;
        t.RecordVolume(BackupType::Copy, kEnclosureSerial);
        c.setUp(t);
        const std::vector<std::uint8_t> record = t.Record();
        // A press read while the enclosure is being told would take its message away.
        int runningWhenTold = 0;
        t.WatchRunningAt("told failed", runningWhenTold);
        t.Press(RunMode::Copy, c.pressKey, false, {kDriveE});

        EXPECT_EQ(t.host.Events(),
                  (std::vector<std::string>{"hold", "told failed", c.refusal, "release"}));
        EXPECT_EQ(runningWhenTold, 1);
        EXPECT_EQ(t.host.Texts(), std::vector<std::wstring>{t.host.Text(c.text)});
        EXPECT_FALSE(t.fs.IsFolder(kTarget)) << "nothing is made before the checks pass";
        EXPECT_EQ(t.Record(), record);
        EXPECT_EQ(t.run.state.backupRunning, 0);
    }
}

TEST(BackupRunOnMemoryDisks, AnUnreadableListIsRefusedAfterMakingTheDestination) {
    MemoryRun t;
    std::u16string text = Utf16TextUpToNul(PathListBytes(kTarget, {kWork}));
    text.replace(text.find(u"[SOURCE_PATH_ 1]"), 16, u"[SOURCE_PATH_xy]");
    std::vector<std::uint8_t> bytes;
    AppendUtf16Le(bytes, text);
    ASSERT_TRUE(t.fs.WriteFileReplacing(PathListFile(), bytes));
    t.run.state.serialCheckArmed = 0;
    t.Press();

    EXPECT_EQ(t.host.Events(),
              (std::vector<std::string>{"hold", "told failed", "box No Path File", "release"}));
    EXPECT_TRUE(t.fs.IsFolder(kTarget));
    EXPECT_FALSE(t.fs.IsFolder(L"E:\\FilesBackup\\Work"));
    EXPECT_TRUE(t.Record().empty());
}

TEST(BackupRunOnMemoryDisks, AnEmptyRunMakesTheFoldersAndEndsWithoutTheProgressThread) {
    MemoryRun t;
    t.fs.AddFolder(L"C:\\Empty\\Inner");
    t.SaveUnchecked({L"C:\\Empty"}, L"E:\\Deep\\Er\\FilesBackup");
    int runningWhenTold = 0;
    t.WatchRunningAt("told complete", runningWhenTold);
    t.Press(RunMode::Copy, 1, true);

    EXPECT_TRUE(t.fs.IsFolder(L"E:\\Deep\\Er\\FilesBackup\\Empty\\Inner"));
    EXPECT_EQ(runningWhenTold, 1) << "still running when the enclosure is told";
    const std::vector<std::string> expected = {"hold", "drive has folders", "told complete",
                                               "box Information", "release"};
    EXPECT_EQ(t.host.Events(), expected);
    EXPECT_EQ(ParseBackupType(t.Record()), BackupType::Copy);
    EXPECT_EQ(t.run.state.backupRunning, 0);
}

// The run is over for the person as its box is answered, though the box may stay on the screen a
// while after: everything comes back then, and a press then starts the next run, which goes as
// soon as the box has gone.
TEST(BackupRunOnMemoryDisks, ARunEndsAsItsBoxIsAnsweredAndAPressThenStartsTheNext) {
    MemoryRun t;
    t.SaveUnchecked({kWork});
    int runningAtAnswer = -1;
    bool nextStarted = false;
    t.host.onAnswered = [&] {
        if (runningAtAnswer == -1) {
            runningAtAnswer = t.run.state.backupRunning;
            // A changed file, so that the next run has work and a progress thread to end it.
            t.fs.AddFile(L"C:\\Work\\report.doc", "quarterly, again", 1 * kMinute);
            nextStarted = t.run.Start({RunMode::Copy, 1, false, {}});
        }
    };
    t.Press(RunMode::Copy, 1, true);

    EXPECT_EQ(runningAtAnswer, 0);
    EXPECT_TRUE(nextStarted);
    EXPECT_EQ(t.host.Count("box Information"), 2);
    EXPECT_EQ(t.host.Count("release reselecting"), 2);
    EXPECT_EQ(t.host.Events().back(), "release reselecting");
    EXPECT_EQ(t.run.state.backupRunning, 0);
}

// The enclosure pulled at each step of a whole run in turn: the run always ends, gives the controls
// back once, never claims a finished copy it did not make, and records the volume only once every
// file is across.
TEST(BackupRunOnMemoryDisks, AnEnclosurePulledAtAnyStepEndsTheRunWithoutClaimingSuccess) {
    using Fault = MemoryFileSystem::Fault;
    int operations = 0;
    {
        MemoryRun whole;
        whole.SaveUnchecked();
        whole.fs.Cut(Fault::Pulled, 0, L'E', whole.host.present);
        whole.Press();
        ASSERT_TRUE(whole.BackedUp());
        operations = whole.fs.Steps();
    }
    ASSERT_GT(operations, 10);

    for (int cut = 1; cut <= operations; ++cut) {
        SCOPED_TRACE("pulled at step " + std::to_string(cut));
        MemoryRun t;
        t.SaveUnchecked();
        t.fs.Cut(Fault::Pulled, cut, L'E', t.host.present);
        t.Press();
        t.fs.Heal(t.host.present);

        t.ExpectEndedAndIdle();
        const bool recorded = !t.Record().empty();
        if (t.host.Count("box Information") != 0 || recorded) {
            EXPECT_TRUE(t.BackedUp()) << "success claimed for an incomplete backup";
        }
        EXPECT_EQ(t.host.Count("box Information") + t.host.Count("box Copy Fail"), 1)
            << "every run tells how it ended, once";
        EXPECT_LE(t.host.Count("told failed") + t.host.Count("told complete"), 1);
        EXPECT_LE(t.host.Count("told complete"), t.host.Count("box Information"));
    }
}

// Whatever throws on the run or progress thread, the run ends as a failed one does and the next
// press works.
TEST(BackupRunOnMemoryDisks, ARunThatThrowsStillEndsAndTheNextPressWorks) {
    const std::vector<std::pair<const char*, std::function<void(MemoryRun&)>>> faults = {
        {"a copy",
         [](auto& t) {
             t.fs.gate = [](MemoryFileSystem::Op op, const std::wstring&) {
                 if (op == MemoryFileSystem::Op::CopyFileData) {
                     throw std::bad_alloc();
                 }
                 return true;
             };
         }},
        {"the completion box",
         [](auto& t) {
             t.host.onEvent = [](const std::string& event) {
                 if (event == "box Information") {
                     throw std::runtime_error("box");
                 }
             };
         }},
    };
    for (const auto& [where, inject] : faults) {
        SCOPED_TRACE(where);
        MemoryRun t;
        t.SaveUnchecked();
        inject(t);
        t.Press(RunMode::Copy, 1, true);

        EXPECT_EQ(t.run.state.backupRunning, 0);
        EXPECT_EQ(t.run.state.runEnded, 1);
        EXPECT_GE(t.host.Count("release") + t.host.Count("release reselecting"), 1);
        EXPECT_EQ(t.host.Count("window open"), t.host.Count("window closed"));
        EXPECT_EQ(t.host.Count("told failed") + t.host.Count("told complete"), 1);

        t.fs.gate = nullptr;
        t.host.onEvent = [](const std::string&) {};
        // Changed, so that the next press has work and its progress thread ends it.
        t.fs.AddFile(L"C:\\Work\\report.doc", "quarterly, revised", 9 * kMinute);
        t.Press();
        EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\report.doc"), "quarterly, revised");
        EXPECT_EQ(t.host.Events().back(), "release reselecting");
        EXPECT_EQ(t.run.state.backupRunning, 0);
    }
}

// A second press is refused while a run is going. With the bytes ahead of the bar, the bar climbs
// to them without pausing; at the top it waits for the end rather than spinning, however far the
// bytes are; and the end, whether every byte came or a file failed, ends the pause under way. The
// run thread is held where each must show, and the display's waits are counted, not timed.
TEST(BackupRunOnMemoryDisks, TheBarCatchesUpWithTheBytesWaitsAtTheTopAndShowsTheEndAtOnce) {
    using Op = MemoryFileSystem::Op;
    // Where the bar waits for the end.
    constexpr int kTop = 94;
    // The finishing steps' pauses, and what is left of a slice of a pause under way.
    constexpr int kAfterEndMs = kFinishingTotalMs + 100;
    for (const bool heldOpen : {false, true}) {
        SCOPED_TRACE(heldOpen ? "a large file held open" : "every file copied");
        MemoryRun t;
        // Paced at minutes a step, so that a pause that should have ended cannot go unseen.
        t.fs.AddFile(L"C:\\Work\\disk.img", "image", 7 * kMinute, 100ull << 30);
        if (heldOpen) {
            t.fs.HoldOpen(L"C:\\Work\\disk.img");
        }
        t.SaveUnchecked();
        std::atomic<int> waits{0}, behind{0}, atTop{0}, afterEnd{0};
        std::atomic<bool> pressedAgain{false};
        t.host.onWait = [&](int ms) {
            const int bar = t.run.state.barPosition;
            const auto share =
                static_cast<int>(t.run.state.copiedBytes * 100 / t.run.state.totalBytes);
            ++waits;
            behind += bar < std::min(share, kTop) ? 1 : 0;
            const bool ended = t.run.state.copyFinished != 0;
            atTop += bar >= kTop && !ended ? 1 : 0;
            afterEnd += ended ? ms : 0;
            // A pause that goes on ends the run rather than the test's patience.
            if (behind > 1 || afterEnd > kAfterEndMs) {
                t.host.present = 0;
            }
        };
        t.fs.gate = [&](Op op, const std::wstring& path) {
            // Held until the display pauses with nothing copied yet and a second press came ...
            while (op == Op::CreateFolder && path == L"E:\\FilesBackup\\Work" &&
                   (waits == 0 || !pressedAgain)) {
                std::this_thread::yield();
            }
            // ... and, the large file across, until it waits at the top, or has spun there.
            while (!heldOpen && op == Op::CopyFileData && path.find(L"todo.txt") != path.npos &&
                   atTop < 2 && t.host.present != 0 && t.host.presenceAsked < 1'000'000) {
                std::this_thread::yield();
            }
            return true;
        };
        ASSERT_TRUE(t.run.Start({RunMode::Copy, 1, true, {}}));
        EXPECT_FALSE(t.run.Start({})) << "a press while a run is going";
        pressedAgain = true;
        t.run.Join();
        EXPECT_LE(behind, 1) << "only a wait begun as the bytes came";
        EXPECT_GE(atTop, heldOpen ? 0 : 2);
        EXPECT_LE(afterEnd, kAfterEndMs);
        EXPECT_EQ(t.host.Count(heldOpen ? "box Copy Fail" : "box Information"), 1);
    }
}

// A file another program holds open is named in the box and in the log with its reason; the
// rest is backed up, the enclosure is told the run failed, and the next press works.
TEST(BackupRunOnMemoryDisks, AFileThatCannotBeCopiedIsToldAndLoggedAndTheRestIsBackedUp) {
    MemoryRun t;
    t.fs.AddFile(L"C:\\Work\\locked.doc", "locked", 4 * kMinute);
    t.fs.HoldOpen(L"C:\\Work\\locked.doc");
    t.SaveUnchecked({kWork, kPhotos, L"C:\\Gone"});
    t.Press(RunMode::Copy, 1, true);

    EXPECT_TRUE(t.BackedUp());
    EXPECT_EQ(t.host.Count("box Copy Fail"), 1);
    EXPECT_EQ(t.host.Count("box Information"), 0);
    EXPECT_EQ(t.host.Count("told failed"), 1);
    const std::wstring box = t.host.Texts().back();
    EXPECT_EQ(box.find(t.host.Text(Msg::CopyFail)), 0u);
    EXPECT_NE(box.find(t.host.Text(Msg::NotCopied) + L" 2"), std::wstring::npos);
    EXPECT_NE(box.find(L"C:\\Work\\locked.doc\n    error 32"), std::wstring::npos) << "the reason";
    EXPECT_NE(box.find(L"C:\\Gone\n    " + t.host.Text(Msg::SourceMissing)), std::wstring::npos);
    EXPECT_NE(box.find(RunLogFile()), std::wstring::npos);

    const std::wstring text = t.Log();
    EXPECT_EQ(text.substr(0, 1), L"\xFEFF") << "a byte-order mark, for Notepad";
    EXPECT_NE(text.find(L"Mode: Copy\r\nDestination: E:\\FilesBackup\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Not copied: C:\\Work\\locked.doc (error 32)"), std::wstring::npos);
    EXPECT_NE(text.find(L"Not copied: C:\\Gone ("), std::wstring::npos);
    EXPECT_NE(text.find(L"Copied: 3 files, 3013 bytes"), std::wstring::npos);

    t.fs.LetGo();
    t.Press();
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\locked.doc"), "locked");
    EXPECT_EQ(t.host.Count("box Copy Fail"), 2) << "the missing source is named again";
}

// A run that stops early says so in its box with how many entries it never tried; a file the
// destination's file system cannot hold fails alone and the rest is backed up.
TEST(BackupRunOnMemoryDisks, ARunThatStopsEarlySaysHowManyEntriesItNeverTried) {
    MemoryRun t;
    for (int i = 0; i < 6; ++i) {
        t.fs.AddFile(L"C:\\Work\\Many\\f" + std::to_wstring(i), std::string(100, 'f'), kMinute);
    }
    t.SaveUnchecked();
    t.fs.capacities[L'E'] = 350;
    t.Press();
    ASSERT_EQ(t.host.Count("box Copy Fail"), 1);
    const std::wstring box = t.host.Texts().back();
    // Four of the eleven entries went before the disk was full: the fifth failed, six remain.
    EXPECT_NE(box.find(t.host.Text(Msg::StoppedEarly) + L" 6\n"), std::wstring::npos) << box;

    MemoryRun fat;
    fat.fs.AddFile(L"C:\\Work\\movie.mkv", "movie", kMinute, 5ull << 30);
    fat.fs.fileSystems[L'E'] = L"FAT32";
    fat.SaveUnchecked();
    fat.Press();
    EXPECT_TRUE(fat.BackedUp());
    const std::wstring fatBox = fat.host.Texts().back();
    EXPECT_EQ(fatBox.find(fat.host.Text(Msg::StoppedEarly)), std::wstring::npos);
    EXPECT_NE(fatBox.find(L"C:\\Work\\movie.mkv\n    " + fat.host.Text(Msg::FatLimit)),
              std::wstring::npos);
}

// A second Copy press over an unchanged tree copies nothing and ends at once with
// "Copy complete!"; a file written since, and everything after a new Save, is copied again.
TEST(BackupRunOnMemoryDisks, ASecondPressCopiesOnlyWhatChanged) {
    MemoryRun t;
    t.SaveUnchecked();
    t.Press();
    ASSERT_TRUE(t.BackedUp());
    const auto backup = t.Copies();
    int copies = 0;
    std::map<std::wstring, int> listings;
    t.fs.gate = [&](MemoryFileSystem::Op op, const std::wstring& path) {
        copies += op == MemoryFileSystem::Op::CopyFileData ? 1 : 0;
        listings[path] += op == MemoryFileSystem::Op::List ? 1 : 0;
        return true;
    };
    t.Press();
    EXPECT_EQ(copies, 0);
    for (const auto& [path, count] : listings) {
        EXPECT_LE(count, 1) << "listed again by the walk: " << Narrow(path.c_str());
    }
    EXPECT_EQ(t.Copies(), backup);
    EXPECT_EQ(t.host.Count("box Information"), 2);
    EXPECT_EQ(t.run.state.totalBytes, 0u) << "the progress paces no work";
    EXPECT_NE(t.Log().find(L"Copied: 0 files, 0 bytes; passed over as unchanged: 3 files"),
              std::wstring::npos);

    t.fs.AddFile(L"C:\\Work\\Notes\\todo.txt", "eggs", 2 * kMinute);
    t.Press();
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\Notes\\todo.txt"), "eggs");

    // Each file has its own record: a list saved anew copies nothing that is the same.
    t.Save(kTarget, {kPhotos, kWork});
    t.Press();
    EXPECT_EQ(copies, 1);
}

// A file written after the pre-scan found its folder unchanged, even with its size and last-write
// time as before, is not lost: the walk passes over the folder, and the next press copies it.
TEST(BackupRunOnMemoryDisks, AFileChangedAfterThePreScanArrivesWithTheNextPress) {
    MemoryRun t;
    t.SaveUnchecked();
    t.Press();
    ASSERT_TRUE(t.BackedUp());
    bool changed = false;
    // The run logs its beginning between the pre-scan and the walk.
    t.fs.gate = [&](MemoryFileSystem::Op op, const std::wstring& path) {
        if (op == MemoryFileSystem::Op::WriteFile && path == RunLogFile() && !changed) {
            changed = true;
            t.fs.AddFile(L"C:\\Work\\Notes\\todo.txt", "mild", 2 * kMinute);
        }
        return true;
    };
    t.Press();
    ASSERT_TRUE(changed);
    t.fs.gate = nullptr;
    t.Press();
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\Notes\\todo.txt"), "mild");
}

// What the walk must still do in a folder where every file is unchanged: remove a leftover of an
// interrupted copy and name a link.
TEST(BackupRunOnMemoryDisks, AnUnchangedFolderStillHasItsLeftoversRemovedAndLinksNamed) {
    MemoryRun t;
    t.SaveUnchecked();
    t.Press();
    ASSERT_TRUE(t.BackedUp());
    const std::wstring leftover = L"E:\\FilesBackup\\Work\\Notes\\" + PartialCopyName(L"todo.txt");
    t.fs.AddFile(leftover, "half", 5 * kMinute);
    t.fs.AddFolder(L"D:\\Elsewhere");
    t.fs.AddLink(L"C:\\Photos\\elsewhere", L"D:\\Elsewhere");
    t.Press();
    EXPECT_FALSE(t.fs.Data(leftover));
    EXPECT_NE(t.host.Texts().back().find(L"C:\\Photos\\elsewhere\n    " +
                                         t.host.Text(Msg::LinkNotFollowed)),
              std::wstring::npos);
}

// A path.txt that names two sources of one folder name backs up the first and fails the second.
TEST(BackupRunOnMemoryDisks, ASecondSourceOfTheSameNameIsNamedAndNothingIsMixed) {
    MemoryRun t;
    t.fs.AddFile(L"D:\\Archive\\Work\\report.doc", "archived", 9 * kMinute);
    t.SaveUnchecked({kWork, L"D:\\Archive\\Work", kPhotos});
    t.Press(RunMode::Sync);
    EXPECT_TRUE(t.BackedUp());
    EXPECT_EQ(t.fs.Data(L"C:\\Work\\report.doc"), "quarterly");
    EXPECT_EQ(t.fs.Data(L"D:\\Archive\\Work\\report.doc"), "archived");
    EXPECT_FALSE(t.fs.Data(L"D:\\Archive\\Work\\Notes\\todo.txt"));
    EXPECT_NE(t.host.Texts().back().find(L"D:\\Archive\\Work\n    " + t.host.Text(Msg::SameName)),
              std::wstring::npos);
}

// A run's beginning is in the log before it copies anything: one the program never finished is
// marked at the next start, and a finished run's lines replace its beginning.
TEST(RunLog, ARunThatNeverEndedIsMarkedAndAFinishedOneIsLoggedOnce) {
    MemoryFileSystem fs;
    fs.AddFolder(L"C:\\Program Files\\Travenor\\BXL");
    RunLogEntry begun;
    begun.started = L"2026-12-08 09:00:00";
    begun.mode = L"Copy";
    ASSERT_TRUE(AppendRunLog(fs, begun));
    MemoryFileSystem empty;
    EXPECT_FALSE(CloseUnfinishedRun(empty)) << "no log, nothing to close";
    ASSERT_TRUE(CloseUnfinishedRun(fs));
    EXPECT_FALSE(CloseUnfinishedRun(fs)) << "closed once";

    RunLogEntry next = begun;
    next.started = L"2026-12-08 10:00:00";
    ASSERT_TRUE(AppendRunLog(fs, next));
    next.result = L"complete";
    next.ended = L"2026-12-08 10:05:00";
    ASSERT_TRUE(AppendRunLog(fs, next));
    const std::wstring text = FromUtf16(Utf16TextUpToNul(*fs.ReadFileBytes(RunLogFile(), 1 << 20)));
    EXPECT_EQ(text,
              L"\xFEFF"
              L"Backup started 2026-12-08 09:00:00\r\nMode: Copy\r\nDestination: \r\n"
              L"Ended never: the program or the computer stopped during the run\r\n\r\n"
              L"Backup started 2026-12-08 10:00:00\r\nMode: Copy\r\nDestination: \r\n"
              L"Copied: 0 files, 0 bytes; passed over as unchanged: 0 files\r\nEnded 2026-12-08 "
              L"10:05:00: complete\r\n\r\n");
}

// A log that is not one (damaged, or another program's file) is kept aside, never written over;
// one that cannot be read at all is left as it is.
TEST(RunLog, AnUnreadableLogIsKeptAsideInsteadOfLost) {
    MemoryFileSystem fs;
    fs.AddFile(RunLogFile(), "not a log", 0);
    RunLogEntry entry;
    entry.started = L"now";
    entry.result = L"complete";
    ASSERT_TRUE(AppendRunLog(fs, entry));
    const auto files = fs.Snapshot(L'C');
    ASSERT_EQ(files.size(), 5u);  // Program Files, Travenor, BXL, the log and the old file
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const auto& file) {
                                return file.first.find(L"RunLog unreadable ") !=
                                           std::wstring::npos &&
                                       file.second.starts_with("not a log@");
                            }),
              1);
    EXPECT_TRUE(IsRunLog(*fs.ReadFileBytes(RunLogFile(), 1000)));

    fs.gate = [](MemoryFileSystem::Op op, const std::wstring&) {
        return op != MemoryFileSystem::Op::ReadFile;
    };
    const auto before = fs.Snapshot(L'C');
    EXPECT_FALSE(AppendRunLog(fs, entry));
    EXPECT_EQ(fs.Snapshot(L'C'), before);
}

TEST(RunLog, TheOldestRunsGoWhenTheLogGrowsTooLong) {
    std::vector<std::uint8_t> log;
    for (int run = 0; run < 40; ++run) {
        RunLogEntry entry;
        entry.started = L"run " + std::to_wstring(run);
        entry.result = L"complete";
        entry.failures.push_back({L"C:\\Work\\" + std::wstring(100, L'x'), L"reason"});
        // A path may hold the words that begin a run, and a platform message a line break.
        entry.failures.push_back({L"C:\\Backup started \\x", L"two\r\nBackup started \\lines"});
        log = AppendToRunLog(log, FormatRunLogEntry(entry), 2000);
        EXPECT_LE(log.size(), 2000u);
    }
    const std::wstring text = FromUtf16(Utf16TextUpToNul(log));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], 0xFEFF);
    EXPECT_EQ(text.compare(1, 19, L"Backup started run "), 0) << "the file starts with a whole run";
    EXPECT_EQ(text.find(L"\r\nBackup started \\"), std::wstring::npos) << "a path is no run";
    EXPECT_NE(text.find(L"run 39\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"run 0\r\n"), std::wstring::npos);
    // A file that is not such a log is started anew rather than appended to.
    const std::vector<std::uint8_t> other = {'h', 0, 'i', 0};
    const std::vector<std::uint8_t> fresh = AppendToRunLog(other, L"Backup started now\r\n", 2000);
    EXPECT_EQ(FromUtf16(Utf16TextUpToNul(fresh)),
              L"\xFEFF"
              L"Backup started now\r\n");
}

// A press that would replace most of the backup asks first; each answer does what it says and
// goes to the run log. A first press, which replaces nothing, never asks.
TEST(BackupRunOnMemoryDisks, APressThatReplacesMuchAsksAndFollowsTheAnswer) {
    const auto fill = [](MemoryRun& t, const std::string& data, std::int64_t time) {
        for (int i = 0; i < 30; ++i) {
            t.fs.AddFile(L"C:\\Work\\Many\\file" + std::to_wstring(i) + L".txt", data, time);
        }
    };
    for (const GuardChoice answer :
         {GuardChoice::BackUpAll, GuardChoice::OnlyNewFiles, GuardChoice::Cancel}) {
        SCOPED_TRACE(int(answer));
        MemoryRun t;
        t.Save(kTarget, {kWork});
        t.RecordVolume(BackupType::Copy, kEnclosureSerial);
        fill(t, "first", 4 * kMinute);
        t.Press();
        ASSERT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\Many\\file7.txt"), "first");
        EXPECT_EQ(t.host.Count("ask"), 0) << "a first press never asks";

        fill(t, "second", 5 * kMinute);
        t.fs.AddFile(L"C:\\Work\\new.txt", "new", 5 * kMinute);
        t.host.guardAnswer = answer;
        t.Press();
        EXPECT_EQ(t.host.Count("ask"), 1);
        const std::vector<std::wstring> texts = t.host.Texts();
        EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                                [&](const std::wstring& text) {
                                    return text.find(t.host.Text(Msg::MassReplaced) + L" 30") !=
                                           std::wstring::npos;
                                }),
                  1);
        const std::wstring backup = L"E:\\FilesBackup\\Work\\Many\\file7.txt";
        const std::wstring kept = L"E:\\FilesBackup\\Bexlo versions";
        switch (answer) {
            case GuardChoice::BackUpAll:
                EXPECT_EQ(t.fs.Data(backup), "second");
                EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\new.txt"), std::nullopt);
                EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\new.txt"), "new");
                EXPECT_TRUE(t.fs.IsFolder(kept));
                EXPECT_TRUE(t.fs.Data(kept + L"\\Read me.txt").has_value());
                EXPECT_NE(t.Log().find(L"chosen: back up all"), std::wstring::npos);
                break;
            case GuardChoice::OnlyNewFiles:
                EXPECT_EQ(t.fs.Data(backup), "first");
                EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\new.txt"), "new");
                EXPECT_FALSE(t.fs.Data(kept + L"\\Read me.txt")) << "nothing was kept";
                EXPECT_NE(t.Log().find(L"chosen: copy only new files"), std::wstring::npos);
                // What was held back is said: the press is no complete backup.
                EXPECT_EQ(t.host.Count("box Copy Fail"), 1);
                EXPECT_EQ(t.host.Count("told failed"), 1);
                EXPECT_NE(texts.back().find(t.host.Text(Msg::HeldBack) + L" 30"),
                          std::wstring::npos);
                EXPECT_NE(t.Log().find(L"Held back, left as it was: " + backup),
                          std::wstring::npos);
                break;
            case GuardChoice::Cancel:
                EXPECT_EQ(t.fs.Data(backup), "first");
                EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\new.txt"), std::nullopt);
                EXPECT_NE(t.Log().find(L"chosen: cancel"), std::wstring::npos);
                EXPECT_NE(t.Log().find(L"cancelled before replacing"), std::wstring::npos);
                break;
        }
        EXPECT_EQ(t.run.state.backupRunning, 0);
        EXPECT_EQ(t.host.Count("release") + t.host.Count("release reselecting"), 2)
            << "each press gives the controls back once";
    }
}

}  // namespace
}  // namespace bexlo
