#include "backup/RestoreChoice.h"

#include <gtest/gtest.h>

#include "app/LanguageFiles.h"
#include "backup/RestoreReport.h"
#include "backup/RestoreSetup.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/RunSupport.h"

namespace bexlo {
namespace {

FileAtMoment File(const std::wstring& original, std::uint64_t size, bool gone = false,
                  bool fromPc = false) {
    FileAtMoment file;
    file.original = original;
    file.state.size = size;
    file.gone = gone;
    file.fromPc = fromPc;
    return file;
}

const std::vector<std::wstring> kSources = {L"C:\\Work", L"D:\\Photos"};

std::vector<FileAtMoment> Moment() {
    return {File(L"C:\\Work\\b.txt", 2),         File(L"C:\\Work\\Sub\\Deep\\c.txt", 3),
            File(L"C:\\Work\\a.txt", 1),         File(L"C:\\Work\\Sub\\old.txt", 4, true),
            File(L"D:\\Photos\\Trip.jpg", 5),    File(L"C:\\Work\\a.txt", 6, false, true),
            File(L"C:\\Elsewhere\\stray.txt", 7)};
}

std::vector<std::wstring> Names(const RestoreChoice& choice, const std::vector<std::size_t>& at) {
    std::vector<std::wstring> names;
    for (std::size_t i : at) {
        names.push_back(choice.Folders()[i].label);
    }
    return names;
}

std::vector<std::wstring> Chosen(const RestoreChoice& choice) {
    std::vector<std::wstring> chosen;
    for (const FileAtMoment& file : choice.Chosen()) {
        chosen.push_back((file.fromPc ? L"pc:" : L"") + file.original);
    }
    return chosen;
}

}  // namespace

// The files of a moment are shown by folder below each source, the PC's own kept files in a folder
// of their own; a search finds names by any part in any case; a ticked folder takes what the
// source still held, and a file's own tick wins over its folder's, across moments too.
TEST(RestoreChoice, FoldersSearchAndTicks) {
    RestoreChoice choice;
    choice.Show(Moment(), kSources, L"From the PC");
    ASSERT_EQ(Names(choice, choice.Roots()), kSources);
    const std::size_t work = choice.Roots()[0];
    EXPECT_EQ(Names(choice, choice.Folders()[work].folders),
              (std::vector<std::wstring>{L"Sub", L"From the PC"}));
    EXPECT_EQ(choice.Folders()[work].files.size(), 2u) << "stray files of no source are left out";
    EXPECT_EQ(choice.Files().size(), 6u);

    const std::vector<std::size_t> found = choice.Find(L"C.TX", 10);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(choice.PathInSource(found[0]), L"Sub\\Deep\\c.txt");
    EXPECT_EQ(choice.Find(L".txt", 3).size(), 3u) << "at most as many as asked";
    EXPECT_TRUE(choice.Chosen().empty());

    choice.TickFolder(work, true);
    EXPECT_EQ(Chosen(choice),
              (std::vector<std::wstring>{L"C:\\Work\\a.txt", L"pc:C:\\Work\\a.txt",
                                         L"C:\\Work\\b.txt", L"C:\\Work\\Sub\\Deep\\c.txt"}))
        << "what the source no longer held is left out";
    const std::size_t sub = choice.Folders()[work].folders[0];
    choice.TickFolder(sub, false);
    const std::size_t old = choice.Find(L"old", 1)[0];
    choice.TickFile(old, true);
    choice.TickFile(choice.Find(L"b.txt", 1)[0], false);
    EXPECT_EQ(Chosen(choice), (std::vector<std::wstring>{L"C:\\Work\\a.txt", L"pc:C:\\Work\\a.txt",
                                                         L"C:\\Work\\Sub\\old.txt"}));

    // Another moment without b.txt keeps the ticks by path.
    std::vector<FileAtMoment> earlier = Moment();
    earlier.erase(earlier.begin());
    choice.Show(earlier, kSources, L"From the PC");
    EXPECT_EQ(Chosen(choice), (std::vector<std::wstring>{L"C:\\Work\\a.txt", L"pc:C:\\Work\\a.txt",
                                                         L"C:\\Work\\Sub\\old.txt"}));
    // Ticking a folder anew takes back the marks below it.
    choice.TickFolder(work, true);
    EXPECT_EQ(Chosen(choice), (std::vector<std::wstring>{L"C:\\Work\\a.txt", L"pc:C:\\Work\\a.txt",
                                                         L"C:\\Work\\Sub\\Deep\\c.txt"}));
}

// On the PC that made the backup its saved sources are restored in place; on another, the sources
// file names them and each goes where it belongs here, and a restore offers to save them.
TEST(RestoreSetup, ThisPcAndANewPcWithAnotherProfile) {
    MemoryRun memory;
    memory.SaveUnchecked({L"C:\\Users\\anna\\Documents", L"C:\\Work"});
    memory.fs.AddFile(L"C:\\Users\\anna\\Documents\\letter.txt", "dear", 0);
    memory.fs.AddFile(L"C:\\Work\\plan.txt", "plan", 0);
    const PcPlaces anna{
        L"ANNA-PC", L"{A}", L"C:\\Users\\anna", {{L"Documents", L"C:\\Users\\anna\\Documents"}}};
    RunInputs inputs;
    inputs.places = anna;
    ASSERT_TRUE(memory.run.Start(inputs));
    memory.run.Join();
    const std::wstring backup = L"E:\\FilesBackup";

    const std::optional<RestoreSetup> same =
        SetupRestore(memory.fs, backup, {L"C:\\Users\\anna\\Documents", L"C:\\Work"}, anna);
    ASSERT_TRUE(same);
    EXPECT_FALSE(same->otherPc);
    EXPECT_FALSE(same->unsaved);
    EXPECT_EQ(same->places, same->sources);

    // A new PC: Ben's profile, no Anna here, C:\Work not made yet.
    memory.fs.Remove(L"C:\\Users\\anna");
    memory.fs.AddFolder(L"C:\\Users\\ben\\Documents");
    const PcPlaces ben{
        L"BEN-PC", L"{B}", L"C:\\Users\\ben", {{L"Documents", L"C:\\Users\\ben\\Documents"}}};
    const std::optional<RestoreSetup> other = SetupRestore(memory.fs, backup, {}, ben);
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->otherPc);
    EXPECT_EQ(other->otherPc->name, L"ANNA-PC");
    EXPECT_EQ(other->machine, L"{A}") << "Anna's records say what each file held";
    EXPECT_TRUE(other->unsaved);
    EXPECT_EQ(other->places,
              (std::vector<std::wstring>{L"C:\\Users\\ben\\Documents", L"C:\\Work"}));

    const std::vector<FileAtMoment> files = {File(L"C:\\Users\\anna\\Documents\\letter.txt", 4),
                                             File(L"C:\\Work\\plan.txt", 4)};
    std::vector<std::wstring> targets;
    for (const RestoreItem& item : PlacedItems(files, *other, {})) {
        targets.push_back(item.target);
    }
    EXPECT_EQ(targets, (std::vector<std::wstring>{L"C:\\Users\\ben\\Documents\\letter.txt",
                                                  L"C:\\Work\\plan.txt"}));
    EXPECT_EQ(PlacedItems(files, *other, L"F:\\Got")[0].target, L"F:\\Got\\Documents\\letter.txt");

    EXPECT_FALSE(SetupRestore(memory.fs, L"E:\\Nothing", {}, ben)) << "no sources, none saved";
}

// The end box counts what was restored, names each file that was not with why, and says when the
// restore was cancelled; the progress counts files and bytes.
TEST(RestoreReport, EndBoxProgressAndLog) {
    MessageTexts texts;
    SetDefaultMessages(texts);
    RestoreOutcome outcome;
    outcome.restored = 3;
    outcome.same = 1;
    outcome.cancelled = true;
    outcome.problems = {{L"C:\\Work\\a.txt", RestoreTrouble::NotAsKept, 0},
                        {L"C:\\Work\\b.txt", RestoreTrouble::Link, 0},
                        {L"C:\\Work\\c.txt", RestoreTrouble::Failed, 5}};
    outcome.notOwned = {{L"C:\\Work\\d.txt", RestoreTrouble::NotOwned, 5}};
    EXPECT_EQ(RestoreEndText(outcome, texts, 2),
              L"Files restored: 3\nAlready the same on the PC, left alone: 1\n\n"
              L"Could not be restored:\n"
              L"C:\\Work\\a.txt (reads different from what was backed up)\n"
              L"C:\\Work\\b.txt (a link lies on the way)\nMore: 1\n\n"
              L"Restored, but still owned by the administrators:\nC:\\Work\\d.txt\n\n"
              L"The restore was cancelled. What was restored stays.");
    EXPECT_EQ(RestoreProgressText(12, 40, 1200 * 1024, 3400 * 1024, texts),
              L"Restoring: 12 of 40 files, 1.2 MB of 3.3 MB");

    // The log names every file not restored, with the system's error where there was one.
    outcome.written = {{RestoreItem{{}, L"C:\\Work\\d.txt", L"C:\\Work"}, FileState{1000}},
                       {RestoreItem{{}, L"C:\\Work\\e.txt", L"C:\\Work"}, FileState{24}}};
    outcome.restored = 2;
    EXPECT_EQ(FormatRunLogEntry(RestoreLogEntry(outcome, L"E:\\FilesBackup", L"2026-12-10 10:00:00",
                                                L"2026-12-10 10:00:04", texts)),
              L"Backup started 2026-12-10 10:00:00\r\nMode: Restore\r\n"
              L"Destination: E:\\FilesBackup\r\n"
              L"Copied: 2 files, 1024 bytes; passed over as unchanged: 1 files\r\n"
              L"Not copied: C:\\Work\\a.txt (reads different from what was backed up)\r\n"
              L"Not copied: C:\\Work\\b.txt (a link lies on the way)\r\n"
              L"Not copied: C:\\Work\\c.txt (could not be read or written, error 5)\r\n"
              L"Ended 2026-12-10 10:00:04: cancelled, what was restored stays; 1 still owned by "
              L"the administrators\r\n\r\n");
    outcome.cancelled = false;
    outcome.notOwned.clear();
    EXPECT_NE(FormatRunLogEntry(RestoreLogEntry(outcome, L"E:\\FilesBackup", L"", L"", texts))
                  .find(L": some files could not be restored\r\n"),
              std::wstring::npos);
}

}  // namespace bexlo
