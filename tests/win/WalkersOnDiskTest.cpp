// The walkers on real folders: C: holds the sources, the mapped drive E: the backup.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backup/BackupCheck.h"
#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "framework/NameCase.h"
#include "tests/host/WalkSupport.h"
#include "tests/win/TestSupport.h"
#include "tests/win/UnixLinks.h"

namespace bexlo {
namespace {

using test::Exists;
using test::FileText;

WIN32_FILE_ATTRIBUTE_DATA Information(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data;
}

class WalkersOnDisk : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(kSource);
        test::RemoveTree(kBackup);
        test::MakeFolders({kSource, Src(L"Work"), Src(L"Work\\sub"), Src(L"Work\\empty"), kBackup});
        test::WriteBytes(Src(L"Work\\a.txt"), "alpha");
        std::string binary;
        for (int i = 0; i < 70000; ++i) {
            binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
        }
        test::WriteBytes(Src(L"Work\\sub\\b.bin"), binary);
        test::WriteBytes(Src(L"notes.txt"), "a single file");
        // Large enough for the platform's own copy.
        test::WriteBytes(Src(L"Work\\sub\\large.bin"), std::string(5 << 20, '\x5A') + binary);
    }
    void TearDown() override {
        links_.RemoveAll();
        test::RemoveTree(kSource);
        test::RemoveTree(kBackup);
    }

    bool MakeLink(const std::wstring& link, const std::wstring& target) {
        return links_.Make(link, target);
    }

    static std::wstring Src(const wchar_t* rest) { return std::wstring(kSource) + L"\\" + rest; }
    static std::wstring Bak(const wchar_t* rest) { return std::wstring(kBackup) + L"\\" + rest; }

    int Copy(const wchar_t* item) { return Walker().CopyItem(Src(item), kBackup); }
    int Sync(const wchar_t* item) { return Walker().SyncItem(Src(item), kBackup); }
    BackupWalker Walker() { return BackupWalker(fs, present, bar, 0); }

    static constexpr wchar_t kSource[] = L"C:\\bexlo-walk";
    static constexpr wchar_t kBackup[] = L"E:\\FilesBackup";
    WindowsFileSystem fs;
    std::atomic<int> present{1};
    StillBar bar;
    test::UnixLinks links_;
};

TEST_F(WalkersOnDisk, CopyMakesAnExactCopyAndOverwritesReadOnlyCopies) {
    ASSERT_EQ(Copy(L"Work"), 1);
    ASSERT_EQ(Copy(L"notes.txt"), 1);
    for (const wchar_t* file :
         {L"Work\\a.txt", L"Work\\sub\\b.bin", L"Work\\sub\\large.bin", L"notes.txt"}) {
        SCOPED_TRACE(std::string(file, file + std::wcslen(file)));
        EXPECT_EQ(FileText(Bak(file)), FileText(Src(file)));
        const auto copy = Information(Bak(file));
        const auto source = Information(Src(file));
        EXPECT_EQ(::CompareFileTime(&copy.ftLastWriteTime, &source.ftLastWriteTime), 0);
        EXPECT_EQ(::CompareFileTime(&copy.ftCreationTime, &source.ftCreationTime), 0);
    }
    EXPECT_TRUE(Exists(Bak(L"Work\\empty")));

    // A read-only or hidden source makes a read-only or hidden copy, whatever its size, which
    // the next Copy still replaces.
    test::WriteBytes(Src(L"Work\\a.txt"), "alpha, revised");
    test::WriteBytes(Src(L"Work\\sub\\large.bin"), std::string(5 << 20, '\x22'));
    for (const wchar_t* file : {L"Work\\a.txt", L"Work\\sub\\large.bin"}) {
        ::SetFileAttributesW(Src(file).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
    ASSERT_EQ(Copy(L"Work"), 1);
    for (const wchar_t* file : {L"Work\\a.txt", L"Work\\sub\\large.bin"}) {
        EXPECT_EQ(::GetFileAttributesW(Bak(file).c_str()) &
                      (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                  DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
        ::SetFileAttributesW(Src(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    test::WriteBytes(Src(L"Work\\a.txt"), "alpha, second edition");
    test::WriteBytes(Src(L"Work\\sub\\large.bin"), std::string(5 << 20, '\x33'));
    ASSERT_EQ(Copy(L"Work"), 1);
    EXPECT_EQ(FileText(Bak(L"Work\\a.txt")), "alpha, second edition");
    EXPECT_EQ(FileText(Bak(L"Work\\sub\\large.bin")), std::string(5 << 20, '\x33'));

    // No copy in progress was left behind under any name.
    WIN32_FIND_DATAW entry;
    UniqueFindHandle partial(::FindFirstFileW(Bak(L"Work\\*.partial").c_str(), &entry));
    EXPECT_FALSE(partial);
}

// Which way a merge copies is the walkers' own affair; what the disk adds is its clock.
TEST_F(WalkersOnDisk, SynchronizeTakesTimesUnderTwoSecondsApartAsEqual) {
    ASSERT_EQ(Copy(L"Work"), 1);
    test::WriteBytes(Src(L"Work\\sub\\same.txt"), "source side");
    test::WriteBytes(Bak(L"Work\\sub\\same.txt"), "backup side");
    test::ShiftLastWrite(Bak(L"Work\\sub\\same.txt"), 1);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(FileText(Src(L"Work\\sub\\same.txt")), "source side");
    EXPECT_EQ(FileText(Bak(L"Work\\sub\\same.txt")), "backup side");
}

// Paths of 300 characters and more go through the platform's long form, in both modes.
TEST_F(WalkersOnDisk, PathsPastThePlainLimitAreCopiedAndSynchronized) {
    std::wstring deep = Src(L"Work");
    while (deep.size() < 300) {
        deep += L"\\a-rather-long-folder-name";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    const std::wstring file = L"\\\\?\\" + deep + L"\\deep.txt";
    test::WriteBytes(file, "deep");
    ASSERT_EQ(Copy(L"Work"), 1);
    const std::wstring copy =
        L"\\\\?\\" + std::wstring(kBackup) + deep.substr(std::wcslen(kSource)) + L"\\deep.txt";
    EXPECT_EQ(FileText(copy), "deep");

    test::WriteBytes(copy, "edited in the backup");
    test::ShiftLastWrite(copy, 60);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(FileText(file), "edited in the backup");
}

// A name that differs from its backup copy's in the case of a non-ASCII letter is the same
// file: the newer words win on both sides, as the platform's own comparison says.
TEST_F(WalkersOnDisk, SynchronizeTakesNamesDifferingInCaseForOneFile) {
    test::WriteBytes(Src(L"Work\\\u00C9t\u00E9.txt"), "older words");
    ::CreateDirectoryW(Bak(L"Work").c_str(), nullptr);
    test::WriteBytes(Bak(L"Work\\\u00E9t\u00E9.txt"), "newer words");
    test::ShiftLastWrite(Bak(L"Work\\\u00E9t\u00E9.txt"), 60);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(FileText(Src(L"Work\\\u00C9t\u00E9.txt")), "newer words");
    EXPECT_EQ(FileText(Bak(L"Work\\\u00E9t\u00E9.txt")), "newer words");

    // The fold agrees with the platform's ordinal comparison for every unit.
    int disagreements = 0;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit < 0xE000) {
            continue;
        }
        const wchar_t one = static_cast<wchar_t>(unit);
        const std::wstring folded = FoldCase(std::wstring_view(&one, 1));
        if (::CompareStringOrdinal(&one, 1, folded.data(), 1, TRUE) != CSTR_EQUAL) {
            ++disagreements;
        }
    }
    EXPECT_EQ(disagreements, 0);
}

// Links on either side are named and neither followed nor written through, in both modes; the
// copy itself refuses a folder that a link leads out of the destination.
TEST_F(WalkersOnDisk, LinksOnEitherSideAreNamedAndNeverWrittenThrough) {
    const std::wstring elsewhere = Src(L"elsewhere");
    test::MakeFolders({elsewhere, Bak(L"Work")});
    test::WriteBytes(Src(L"elsewhere\\o.txt"), "outside");
    if (!MakeLink(Src(L"Work\\loop"), Src(L"Work")) || !MakeLink(Src(L"Work\\out"), elsewhere) ||
        !MakeLink(Bak(L"Work\\sub"), elsewhere)) {
        GTEST_SKIP() << "no Unix links here";
    }
    // What an older backup holds where the source now has a link.
    ::CreateDirectoryW(Bak(L"Work\\out").c_str(), nullptr);
    test::WriteBytes(Bak(L"Work\\out\\x.txt"), "restored through the link");

    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "Synchronize" : "Copy");
        BackupWalker walker = Walker();
        ASSERT_EQ(
            sync ? walker.SyncItem(Src(L"Work"), kBackup) : walker.CopyItem(Src(L"Work"), kBackup),
            1);
        // The walk's own handles let go of its copies once they are on the disk.
        walker.WriteRecords();
        EXPECT_EQ(FileText(Bak(L"Work\\a.txt")), "alpha");
        EXPECT_FALSE(Exists(Bak(L"Work\\loop")));
        EXPECT_FALSE(Exists(Bak(L"Work\\out\\o.txt")));
        EXPECT_EQ(test::ReadTree(elsewhere),
                  (std::map<std::wstring, std::string>{{L"o.txt", "outside"}}));
        std::set<std::wstring> named;
        for (const CopyFailure& failure : walker.Failures()) {
            EXPECT_EQ(failure.reason, FailureReason::Link);
            named.insert(failure.path);
        }
        EXPECT_EQ(named, (std::set<std::wstring>{Src(L"Work\\loop"), Src(L"Work\\out"),
                                                 Bak(L"Work\\sub")}));
    }

    fs.ConfineWrites({kBackup});
    EXPECT_FALSE(fs.Copy(Src(L"Work\\a.txt"), Bak(L"Work\\sub\\") + PartialCopyName(L"a.txt"),
                         Bak(L"Work\\sub\\a.txt"), CopyPlacing::Replacing));
    EXPECT_EQ(fs.LastError(), DWORD{ERROR_ACCESS_DENIED});
    fs.ConfineWrites({});
    EXPECT_EQ(test::ReadTree(elsewhere).size(), 1u);
}

// A folder swapped for a link between a check and its use, as another program may do on the
// enclosure: no change goes through it. Each change is made relative to the folder's held parent,
// so only what lies below the destination by plain folders is made, renamed or removed.
TEST_F(WalkersOnDisk, NoChangeGoesThroughAFolderSwappedForALink) {
    const std::wstring elsewhere = Src(L"elsewhere");
    test::MakeFolders({elsewhere, elsewhere + L"\\empty", Bak(L"Work")});
    test::WriteBytes(elsewhere + L"\\victim.txt", "keep me");
    test::WriteBytes(Bak(L"Work\\a.txt"), "alpha");
    if (!MakeLink(Bak(L"Work\\swapped"), elsewhere)) {
        GTEST_SKIP() << "no Unix links here";
    }
    const std::uint8_t bytes[] = {1, 2, 3};
    EXPECT_FALSE(fs.RemoveFile(Bak(L"Work\\swapped\\victim.txt")));
    EXPECT_FALSE(fs.CreateFolder(Bak(L"Work\\swapped\\new")));
    EXPECT_FALSE(fs.RemoveEmptyFolder(Bak(L"Work\\swapped\\empty")));
    EXPECT_FALSE(fs.WriteFileReplacing(Bak(L"Work\\swapped\\index.txt"), bytes));
    EXPECT_FALSE(fs.MoveNew(Bak(L"Work\\a.txt"), Bak(L"Work\\swapped\\a.txt")));
    EXPECT_FALSE(fs.MoveOver(Bak(L"Work\\swapped\\victim.txt"), Bak(L"Work\\taken.txt")));
    EXPECT_EQ(test::ReadTree(elsewhere), (std::map<std::wstring, std::string>{
                                             {L"empty", "<folder>"}, {L"victim.txt", "keep me"}}));
    EXPECT_EQ(FileText(Bak(L"Work\\a.txt")), "alpha");

    // Below plain folders every change is made, a read-only file removed and replaced as well.
    ASSERT_TRUE(fs.CreateFolder(Bak(L"Work\\made")));
    EXPECT_FALSE(fs.CreateFolder(Bak(L"Work\\made")));
    EXPECT_EQ(fs.LastError(), DWORD{ERROR_ALREADY_EXISTS});
    ASSERT_TRUE(fs.WriteFileReplacing(Bak(L"Work\\made\\index.txt"), bytes));
    ::SetFileAttributesW(Bak(L"Work\\made\\index.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(fs.WriteFileReplacing(Bak(L"Work\\made\\index.txt"), bytes));
    ASSERT_TRUE(fs.MoveNew(Bak(L"Work\\a.txt"), Bak(L"Work\\made\\a.txt")));
    EXPECT_FALSE(fs.MoveNew(Bak(L"Work\\made\\a.txt"), Bak(L"Work\\made\\index.txt")));
    ::SetFileAttributesW(Bak(L"Work\\made\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(fs.RemoveFile(Bak(L"Work\\made\\a.txt")));
    EXPECT_TRUE(fs.RemoveFile(Bak(L"Work\\made\\index.txt")));
    EXPECT_TRUE(fs.RemoveEmptyFolder(Bak(L"Work\\made")));
    EXPECT_FALSE(Exists(Bak(L"Work\\made")));
}

// Leftovers of an interrupted copy go at the next press on the side it writes, read-only, hidden
// and system as they may be, and stay in a source that Copy only reads; a file of a person's
// named like one is copied as any other.
TEST_F(WalkersOnDisk, LeftoversGoAtTheNextPressWhereItWritesAndLookalikesAreCopied) {
    ASSERT_EQ(Copy(L"Work"), 1);
    const std::wstring leftovers[] = {Bak(L"Work\\") + PartialCopyName(L"a.txt"),
                                      Src(L"Work\\sub\\") + PartialCopyName(L"b.bin")};
    for (const std::wstring& leftover : leftovers) {
        test::WriteBytes(leftover, "half");
        ::SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM);
    }
    test::WriteBytes(Src(L"Work\\x.bexlo-partial"), "mine");
    test::WriteBytes(Src(L"Work\\a.txt"), "alpha, second edition");
    ASSERT_EQ(Copy(L"Work"), 1);
    EXPECT_EQ(FileText(Bak(L"Work\\a.txt")), "alpha, second edition");
    EXPECT_EQ(FileText(Bak(L"Work\\x.bexlo-partial")), "mine");
    EXPECT_FALSE(Exists(leftovers[0]));
    EXPECT_EQ(FileText(leftovers[1]), "half");
    EXPECT_FALSE(Exists(Bak(L"Work\\sub\\") + PartialCopyName(L"b.bin")));
}

TEST_F(WalkersOnDisk, WholeFileWritesLeaveTheOldFileOrTheNew) {
    const std::wstring file = Src(L"path.txt");
    const std::uint8_t first[] = {1, 2, 3};
    const std::uint8_t second[] = {9, 8, 7, 6};
    ASSERT_TRUE(fs.WriteFileReplacing(file, first));
    ASSERT_TRUE(fs.WriteFileReplacing(file, second));
    EXPECT_EQ(FileText(file), std::string("\x09\x08\x07\x06"));
    EXPECT_FALSE(Exists(file + L".new"));
    EXPECT_FALSE(fs.WriteFileReplacing(Src(L"no-such-folder\\path.txt"), first));
    EXPECT_EQ(ReadFileBytes(file, 2)->size(), 2u);
    EXPECT_FALSE(ReadFileBytes(Src(L"missing.txt"), 10));

    // A file left at the temporary's name by a write cut short goes; a link that another program
    // put there, on the enclosure above all, is neither written through nor removed.
    test::WriteBytes(file + L".new", "cut short");
    ASSERT_TRUE(fs.WriteFileReplacing(file, first));
    EXPECT_FALSE(Exists(file + L".new"));
    const std::wstring readMe = Bak(L"Read me.txt");
    ASSERT_TRUE(MakeLink(readMe + L".new", Src(L"Work")));
    ASSERT_TRUE(fs.WriteFileReplacing(readMe, first));
    EXPECT_EQ(FileText(readMe), std::string("\x01\x02\x03"));
    EXPECT_TRUE(Exists(readMe + L".new"));
    EXPECT_EQ(FileText(Src(L"Work\\a.txt")), "alpha");
}

}  // namespace
// What a record keeps of a copy is what the disk says of it: the staged copy's hash is the data's,
// read back through either file; the copy's state is the one the listing and the file's own
// handle give; a file rewritten with its time put back has another change time.
TEST_F(WalkersOnDisk, ACopysRecordIsWhatTheDiskSaysOfIt) {
    const std::wstring from = Src(L"Work\\sub\\large.bin");
    const std::wstring to = Bak(L"large.bin");
    ::CreateDirectoryW(kBackup, nullptr);
    const std::optional<CopyMade> made =
        fs.Copy(from, Bak(L"") + PartialCopyName(L"large.bin"), to, CopyPlacing::New);
    ASSERT_TRUE(made);
    const std::optional<FileRead> source = fs.ReadThrough(from);
    const std::optional<FileRead> copy = fs.ReadThrough(to);
    ASSERT_TRUE(source && copy);
    EXPECT_EQ(made->hash, source->hash);
    EXPECT_EQ(made->hash, copy->hash);
    EXPECT_EQ(made->source, source->state);
    EXPECT_EQ(made->copy, copy->state);
    const std::optional<FileEntry> inspected = fs.Inspect(to);
    ASSERT_TRUE(inspected);
    EXPECT_EQ(StateOf(*inspected), made->copy);
    EXPECT_NE(made->copy.changeTime, 0);
    EXPECT_NE(made->copy.fileId, 0u);
    const std::optional<std::vector<FileEntry>> listed = fs.List(kBackup);
    ASSERT_TRUE(listed);
    const auto entry = std::find_if(listed->begin(), listed->end(),
                                    [](const FileEntry& e) { return e.name == L"large.bin"; });
    ASSERT_NE(entry, listed->end());
    EXPECT_EQ(StateOf(*entry), made->copy) << "the listing says what the handle says";

    // A copy staged and never placed leaves nothing behind.
    fs.StageCopy(from, Bak(L"") + PartialCopyName(L"other.bin"), Bak(L"other.bin"));
    EXPECT_FALSE(Exists(Bak(L"") + PartialCopyName(L"other.bin")));
    EXPECT_FALSE(Exists(Bak(L"other.bin")));

    // Rewritten, its last-write time put back: only the change time tells.
    const WIN32_FILE_ATTRIBUTE_DATA before = Information(to);
    test::WriteBytes(to, std::string(FileText(to).size(), 'x'));
    {
        const UniqueFileHandle file(::CreateFileW(to.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &before.ftLastWriteTime));
    }
    const std::optional<FileEntry> rewritten = FindWithChangeTime(fs, to);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(rewritten->lastWrite, made->copy.lastWrite);
    EXPECT_NE(rewritten->changeTime, made->copy.changeTime);

    // The enclosure's volume, or else each file, can be asked to put its data on the disk.
    EXPECT_TRUE(fs.FlushVolume(kBackup) || fs.FlushFile(to));
}

// The program's own files open only as plain files, each for this program alone, and never below
// a folder that is a link.
TEST_F(WalkersOnDisk, OwnFilesOpenOnlyAsPlainFilesInPlainFolders) {
    const std::wstring folder = Bak(L"own");
    ::CreateDirectoryW(kBackup, nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\file.db";
    {
        const std::unique_ptr<RandomAccessFile> file = fs.OpenOwnFile(path, true);
        ASSERT_TRUE(file);
        const std::string bytes = "page one";
        ASSERT_TRUE(file->WriteAt(
            4096, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
        EXPECT_EQ(file->Size(), 4096u + bytes.size());
        EXPECT_TRUE(file->Sync());
        EXPECT_FALSE(fs.OpenOwnFile(path, false)) << "a second opener";
        std::uint8_t read[16]{};
        EXPECT_EQ(file->ReadAt(4096, read), bytes.size());
        EXPECT_EQ(std::string(read, read + bytes.size()), bytes);
        EXPECT_TRUE(file->Truncate(10));
        EXPECT_EQ(file->Size(), 10u);
    }
    EXPECT_TRUE(fs.OpenOwnFile(path, false));
    EXPECT_FALSE(fs.OpenOwnFile(folder, false)) << "a folder";
    const std::wstring elsewhere = Src(L"Work");
    ASSERT_TRUE(MakeLink(Bak(L"linked"), elsewhere));
    EXPECT_FALSE(fs.OpenOwnFile(Bak(L"linked\\file.db"), true));
    EXPECT_FALSE(Exists(elsewhere + L"\\file.db")) << "made through the link";

    // The record, path.txt and the indexes are read the same way: a link at their name is not
    // read through.
    ASSERT_TRUE(MakeLink(Bak(L"index.txt"), elsewhere));
    EXPECT_TRUE(ReadFileBytes(Src(L"notes.txt"), 100));
    EXPECT_FALSE(ReadFileBytes(Bak(L"index.txt"), 100));
}

// A backup copy is read back in large pieces, past the system's cache where the volume allows, to
// the same bytes; a folder or a link at its name is not read.
TEST_F(WalkersOnDisk, CopiesAreReadBackWholeAndNeverThroughALink) {
    const std::wstring large = Src(L"Work\\sub\\large.bin");
    const std::string expected = FileText(large);
    ASSERT_GT(expected.size(), 5u << 20);
    const std::unique_ptr<SequentialFile> file = fs.OpenSequential(large);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(), expected.size());
    std::vector<std::uint8_t> storage(kCheckBuffer + kSequentialAlign);
    void* start = storage.data();
    std::size_t room = storage.size();
    ASSERT_TRUE(std::align(kSequentialAlign, kCheckBuffer, start, room));
    const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(start), kCheckBuffer);
    std::string read;
    for (int pieces = 0; pieces < 100; ++pieces) {
        const std::optional<std::size_t> count = file->Read(buffer);
        ASSERT_TRUE(count);
        read.append(reinterpret_cast<const char*>(buffer.data()), *count);
        if (*count < buffer.size()) {
            break;
        }
    }
    EXPECT_TRUE(read == expected);

    EXPECT_FALSE(fs.OpenSequential(Src(L"Work"))) << "a folder";
    ASSERT_TRUE(MakeLink(Bak(L"linked.bin"), Src(L"Work\\sub")));
    EXPECT_FALSE(fs.OpenSequential(Bak(L"linked.bin"))) << "a link";
    EXPECT_FALSE(fs.OpenSequential(Bak(L"none.bin")));
    EXPECT_TRUE(Missing(fs.LastError()));
}

}  // namespace bexlo
