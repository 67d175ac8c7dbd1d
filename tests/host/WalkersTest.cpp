#include "backup/Walkers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "backup/PressPlan.h"
#include "framework/NameCase.h"
#include "tests/host/MemoryFileSystem.h"
#include "tests/host/WalkSupport.h"

namespace bexlo {
namespace {

class Walkers : public testing::Test {
protected:
    BackupWalker Walker(std::uint64_t totalBytes = 0) {
        return BackupWalker(fs, devicePresent, bar, totalBytes);
    }

    MemoryFileSystem fs;
    std::atomic<int> devicePresent{1};
    StillBar bar;
};

TEST(WalkerRules, SourcesThatCannotBeWalkedSafelyAreRecognised) {
    for (const wchar_t* usable :
         {L"c:\\work\\a.txt", L"\\\\server\\share\\docs", L"E:\\FilesBackupOld"}) {
        EXPECT_TRUE(IsUsableSource(usable, L"E:\\FilesBackup")) << usable;
    }
    // The destination inside the source, the source inside the destination, the same folder,
    // drive roots, relative paths, dot segments, other separators and streams.
    for (const wchar_t* unusable :
         {L"E:\\", L"e:\\FILESBACKUP\\", L"E:\\FilesBackup\\Work", L"C:\\", L"C:", L"", L"Work",
          L"C:\\Work\\..", L"C:\\Work\\.\\x", L"C:\\Work/..", L"C:\\Work:data"}) {
        EXPECT_FALSE(IsUsableSource(unusable, L"E:\\FilesBackup")) << unusable;
    }
}

// The program's partial copies carry a check of their name; a person's file never does, whatever
// it is called.
TEST(WalkerRules, OnlyTheProgramsOwnPartialCopiesAreTakenForThem) {
    const std::wstring longest(300, L'x');
    // A letter outside the basic plane is two halves, which a cut must not part.
    const std::wstring astral = std::wstring(223, L'y') + L"\xD83D\xDE00" + L".txt";
    for (const std::wstring& name : {std::wstring(L"a.txt"), longest, astral, std::wstring(L"É")}) {
        const std::wstring partial = PartialCopyName(name);
        EXPECT_TRUE(IsPartialCopyName(partial)) << partial;
        EXPECT_LE(partial.size(), 255u);
        EXPECT_NE(partial.back(), 0xD83D);
        EXPECT_FALSE(partial.find(L"\xD83D.bexlo-") != std::wstring::npos);
    }
    std::wstring forged = PartialCopyName(L"a.txt");
    forged[0] = L'b';
    for (const std::wstring& name :
         {std::wstring(L"a.txt.bexlo-partial"), std::wstring(L"a.txt.BEXLO-PARTIAL"), forged,
          std::wstring(L".bexlo-0123456789abcdef.partial"), std::wstring(L"a.txt")}) {
        EXPECT_FALSE(IsPartialCopyName(name)) << name;
    }
}

// FAT keeps local times, which a daylight-saving change moves by an hour.
TEST(WalkerRules, TimesUnderTwoSecondsApartAreEqualAndOnFatAnHourApartToo) {
    EXPECT_EQ(CompareWriteTimes(kMonday + 2 * kSecond - 1, kMonday), 0);
    EXPECT_EQ(CompareWriteTimes(kMonday, kMonday + 2 * kSecond - 1), 0);
    EXPECT_EQ(CompareWriteTimes(kMonday + 2 * kSecond, kMonday), 1);
    EXPECT_EQ(CompareWriteTimes(kMonday, kMonday + 2 * kSecond), -1);
    EXPECT_EQ(CompareWriteTimes(INT64_MIN, INT64_MAX), -1);
    EXPECT_EQ(CompareWriteTimes(kMonday, kMonday + kHour + 2 * kSecond - 1, true), 0);
    EXPECT_EQ(CompareWriteTimes(kMonday + kHour - 2 * kSecond + 1, kMonday, true), 0);
    EXPECT_EQ(CompareWriteTimes(kMonday + kHour + 2 * kSecond, kMonday, true), 1);
    EXPECT_EQ(CompareWriteTimes(kMonday, kMonday + kHour - 2 * kSecond, true), -1);
    EXPECT_EQ(CompareWriteTimes(kMonday + kHour, kMonday, false), 1);
}

TEST_F(Walkers, TheDestinationIsMadeWithEveryMissingParent) {
    fs.AddFolder(L"E:\\");
    EXPECT_EQ(CreateFolderPath(fs, L"E:\\Backups\\2026\\Monday"), 1);
    EXPECT_TRUE(fs.IsFolder(L"E:\\Backups\\2026\\Monday"));
    EXPECT_EQ(CreateFolderPath(fs, L"E:\\Backups\\2026\\Monday"), 1) << "an existing one is fine";
    EXPECT_EQ(CreateFolderPath(fs, L"Q:\\Nowhere"), 0) << "no parent left to create";
}

TEST_F(Walkers, CopyPlacesTheFolderUnderTheDestinationAndReplacesWhatIsThere) {
    fs.AddFile(L"C:\\Work\\Sub\\a.txt", "new a", kMonday);
    fs.AddFile(L"C:\\Work\\b.txt", "new b", kMonday);
    fs.AddFolder(L"C:\\Work\\Empty");
    fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\a.txt", "newer in backup", kMonday + 100 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\b.txt", "older in backup", kMonday - 100 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\only.txt", "kept", kMonday);
    const auto source = fs.Snapshot(L'C');

    EXPECT_EQ(Walker().CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\a.txt"), "new a");
    EXPECT_EQ(fs.Find(L"E:\\FilesBackup\\Work\\Sub\\a.txt")->lastWrite, kMonday);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\b.txt"), "new b");
    EXPECT_TRUE(fs.IsFolder(L"E:\\FilesBackup\\Work\\Empty"));
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\only.txt"), "kept");
    EXPECT_EQ(fs.Snapshot(L'C'), source);
    EXPECT_EQ(fs.Snapshot(L'E').size(), 7u);
}

TEST_F(Walkers, CopyNamesMissingAndOverlappingSourcesAndCopiesASingleFile) {
    fs.AddFolder(L"E:\\FilesBackup");
    fs.AddFile(L"E:\\Data\\x.txt", "x", kMonday);
    fs.AddFile(L"C:\\notes.txt", "notes", kMonday);
    BackupWalker walker = Walker();
    EXPECT_EQ(walker.CopyItem(L"C:\\Missing", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(walker.CopyItem(L"E:\\", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(walker.CopyItem(L"E:\\FilesBackup", L"E:\\FilesBackup\\Inner"), 1);
    EXPECT_EQ(fs.Snapshot(L'E').size(), 3u);
    ASSERT_EQ(walker.Failures().size(), 3u);
    EXPECT_EQ(walker.Failures()[0].path, L"C:\\Missing");
    EXPECT_EQ(walker.Failures()[0].reason, FailureReason::SourceMissing);
    EXPECT_EQ(walker.Failures()[1].reason, FailureReason::SourceOverlaps);
    EXPECT_EQ(walker.Failures()[2].reason, FailureReason::SourceOverlaps);

    EXPECT_EQ(walker.CopyItem(L"C:\\notes.txt", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\notes.txt"), "notes");
}

// A disk that fills up mid-file, or a destination folder that goes, ends the walk: nothing
// after it could be copied.
TEST_F(Walkers, AFullDiskOrAVanishedDestinationStopsTheWalk) {
    fs.AddFile(L"C:\\Work\\a.bin", "a", kMonday);
    fs.AddFile(L"C:\\Work\\b.bin", std::string(600, 'b'), kMonday);
    fs.AddFile(L"C:\\Work\\c.bin", "c", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\b.bin", std::string(300, 'o'), kMonday - 60 * kSecond);
    // b.bin's new copy would fit in place of its old one, but is made beside it.
    fs.capacities[L'E'] = 800;
    BackupWalker walker = Walker();
    EXPECT_EQ(walker.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 0);
    EXPECT_TRUE(walker.Stopped());
    ASSERT_EQ(walker.Failures().size(), 1u);
    EXPECT_EQ(walker.Failures()[0].path, L"C:\\Work\\b.bin");
    EXPECT_EQ(walker.Failures()[0].error, file_error::kDiskFull);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\b.bin"), std::string(300, 'o'));
    EXPECT_EQ(fs.UsedBytes(L'E'), 301u) << "the partial file is gone";
    EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\c.bin")) << "the walk went on after a full disk";

    fs.capacities.clear();
    fs.beforeCopy = [&](const std::wstring&) { fs.Remove(L"E:\\FilesBackup"); };
    BackupWalker gone = Walker();
    EXPECT_EQ(gone.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 0);
    EXPECT_TRUE(gone.Stopped());
    EXPECT_EQ(gone.Failures().size(), 1u);
}

// Paths past the platform's plain limits are walked in the long form and named plainly.
TEST_F(Walkers, PathsPastThePlainLimitAreCopiedAndSynchronized) {
    std::wstring deep = L"C:\\Work";
    while (deep.size() < 300) {
        deep += L"\\a-rather-long-folder-name";
    }
    fs.AddFile(deep + L"\\file.txt", "deep", kMonday);
    fs.AddFolder(L"E:\\FilesBackup");
    ASSERT_FALSE(fs.Find(deep + L"\\file.txt")) << "the disks refuse plain long paths";
    EXPECT_EQ(fs.LastError(), file_error::kFilenameTooLong);

    const std::wstring copy = L"E:\\FilesBackup" + deep.substr(2) + L"\\file.txt";
    BackupWalker walker = Walker();
    EXPECT_EQ(walker.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_TRUE(walker.Failures().empty());
    EXPECT_EQ(fs.Data(copy), "deep");

    fs.AddFile(copy, "newer in the backup", kMonday + 60 * kSecond);
    BackupWalker next = Walker();
    EXPECT_EQ(next.SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(deep + L"\\file.txt"), "newer in the backup");
    EXPECT_TRUE(next.Failures().empty());
}

TEST_F(Walkers, SyncTakesAnHourApartOnFatForTheSameTime) {
    fs.AddFile(L"C:\\Work\\a.txt", "source", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "backup", kMonday + kHour);
    fs.fileSystems[L'E'] = L"FAT32";
    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), "source");
    fs.fileSystems[L'E'] = L"NTFS";
    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), "backup");
}

// Nothing below a saved source or the destination is reached through a link: a link is named,
// the system's own ones in user profiles excepted, and neither followed nor written through.
TEST_F(Walkers, LinksOnEitherSideAreNeitherFollowedNorWrittenThrough) {
    fs.AddFile(L"C:\\Work\\Sub\\a.txt", "a", kMonday);
    fs.AddLink(L"C:\\Work\\Sub\\Loop", L"C:\\Work");
    fs.AddFile(L"C:\\Other\\o.txt", "o", kMonday);
    fs.AddLink(L"C:\\Work\\Other", L"C:\\Other");
    fs.AddFileLink(L"C:\\Work\\o-link.txt", L"C:\\Other\\o.txt");
    fs.AddLink(L"C:\\Work\\Application Data", L"C:\\Other");
    fs.Mark(L"C:\\Work\\Application Data", {.hidden = true, .system = true});
    // What an older backup made of them, newer than the source.
    fs.AddFile(L"E:\\FilesBackup\\Work\\Other\\x.txt", "x", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\o-link.txt", "stale", kMonday + 60 * kSecond);
    // On the destination side, links to what the program must never write.
    fs.AddFile(L"C:\\Precious\\p.txt", "precious", kMonday);
    fs.AddFile(L"C:\\Work\\b.txt", "b", kMonday);
    fs.AddFile(L"C:\\Work\\Deep\\d.txt", "d", kMonday);
    fs.AddFileLink(L"E:\\FilesBackup\\Work\\b.txt", L"C:\\Precious\\p.txt");
    fs.AddLink(L"E:\\FilesBackup\\Work\\Deep", L"C:\\Precious");
    fs.AddFile(L"D:\\Photos\\p.jpg", "p", kMonday);
    fs.AddLink(L"E:\\FilesBackup\\Photos", L"C:\\Precious");
    const auto precious = fs.Snapshot(L'C');

    const auto names = [](const BackupWalker& walker) {
        std::set<std::wstring> links;
        for (const CopyFailure& failure : walker.Failures()) {
            EXPECT_EQ(failure.reason, FailureReason::Link) << failure.path;
            links.insert(failure.path);
        }
        return links;
    };
    const std::set<std::wstring> named = {
        L"C:\\Work\\Sub\\Loop",         L"C:\\Work\\Other",
        L"C:\\Work\\o-link.txt",        L"E:\\FilesBackup\\Work\\b.txt",
        L"E:\\FilesBackup\\Work\\Deep", L"E:\\FilesBackup\\Photos"};
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "Synchronize" : "Copy");
        BackupWalker walker = Walker();
        EXPECT_EQ(Walk(walker, sync), 1);
        EXPECT_EQ(walker.SyncItem(L"D:\\Photos", L"E:\\FilesBackup"), 1);
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\a.txt"), "a");
        EXPECT_FALSE(fs.IsFolder(L"E:\\FilesBackup\\Work\\Sub\\Loop"));
        EXPECT_FALSE(fs.IsFolder(L"E:\\FilesBackup\\Work\\Application Data"));
        EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\Other\\o.txt"));
        EXPECT_FALSE(fs.Data(L"C:\\Other\\x.txt")) << "restored through a link";
        EXPECT_EQ(fs.Snapshot(L'C'), precious);
        EXPECT_EQ(names(walker), named);
    }

    // A link that takes a folder's place behind the walk's back is not written through either.
    fs.AddFile(L"C:\\Work\\Sub\\later.txt", "later", kMonday);
    fs.beforeCopy = [&](const std::wstring&) {
        fs.Remove(L"E:\\FilesBackup\\Work\\Sub");
        fs.AddLink(L"E:\\FilesBackup\\Work\\Sub", L"C:\\Precious");
    };
    BackupWalker swapped = Walker();
    EXPECT_EQ(swapped.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_FALSE(fs.Data(L"C:\\Precious\\a.txt"));
    EXPECT_FALSE(fs.Data(L"C:\\Precious\\later.txt"));
    EXPECT_EQ(fs.Data(L"C:\\Precious\\p.txt"), "precious");
    const auto& failures = swapped.Failures();
    EXPECT_TRUE(std::any_of(failures.begin(), failures.end(), [](const CopyFailure& failure) {
        return failure.path == L"C:\\Work\\Sub\\later.txt" &&
               failure.error == file_error::kAccessDenied;
    }));

    // Into a new destination, the count goes through no link either.
    const PressPlan totals = PlanPress(fs, {}, false, {L"C:\\Work"}, L"E:\\Fresh");
    EXPECT_EQ(totals.totalBytes, 8u);
    EXPECT_EQ(totals.entryCount, 6u);  // Sub, a.txt, later.txt, b.txt, Deep, d.txt
}

TEST_F(Walkers, AReplacedCopyHoldsTheNewDataAfterAPowerCut) {
    fs.AddFile(L"C:\\Work\\a.txt", "new a", kMonday + 60 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "old a", kMonday);
    fs.AddFile(L"C:\\Work\\b.txt", "old b", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\b.txt", "new b", kMonday + 60 * kSecond);
    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    fs.PowerCut();
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "new a");
    EXPECT_EQ(fs.Data(L"C:\\Work\\b.txt"), "new b");

    fs.AddFile(L"C:\\Work\\a.txt", "newer a", kMonday + 120 * kSecond);
    EXPECT_EQ(Walker().CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    fs.PowerCut();
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "newer a");
}

TEST_F(Walkers, EncryptedFilesAreNamedAndNeverCopied) {
    fs.AddFile(L"C:\\Work\\secret.txt", "secret", kMonday);
    fs.Mark(L"C:\\Work\\secret.txt", {.encrypted = true});
    fs.AddFile(L"C:\\Work\\plain.txt", "plain", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\kept.txt", "kept", kMonday);
    fs.Mark(L"E:\\FilesBackup\\Work\\kept.txt", {.encrypted = true});
    for (const bool sync : {false, true}) {
        BackupWalker walker = Walker();
        EXPECT_EQ(Walk(walker, sync), 1);
        EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\secret.txt"));
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\plain.txt"), "plain");
        EXPECT_FALSE(fs.Data(L"C:\\Work\\kept.txt"));
        ASSERT_EQ(walker.Failures().size(), sync ? 2u : 1u);
        EXPECT_EQ(walker.Failures()[0].path, L"C:\\Work\\secret.txt");
        for (const CopyFailure& failure : walker.Failures()) {
            EXPECT_EQ(failure.reason, FailureReason::Encrypted);
        }
    }
    // A file encrypted after its folder was listed is refused by the copy itself.
    fs.AddFile(L"C:\\Work\\late.txt", "late", kMonday);
    fs.beforeCopy = [&](const std::wstring&) {
        fs.Mark(L"C:\\Work\\late.txt", {.encrypted = true});
    };
    BackupWalker walker = Walker();
    EXPECT_EQ(walker.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\late.txt"));
    ASSERT_EQ(walker.Failures().size(), 2u);
    EXPECT_EQ(walker.Failures()[0].path, L"C:\\Work\\late.txt");
    EXPECT_EQ(walker.Failures()[0].reason, FailureReason::Encrypted);
}

TEST_F(Walkers, SyncMergesByLastWriteTimeAndNeverDeletes) {
    fs.AddFile(L"C:\\Work\\newer-here.txt", "source", kMonday + 60 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\newer-here.txt", "backup", kMonday);
    fs.AddFile(L"C:\\Work\\newer-there.txt", "source", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\newer-there.txt", "backup", kMonday + 60 * kSecond);
    fs.AddFile(L"C:\\Work\\same.txt", "source", kMonday + kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\same.txt", "backup", kMonday);
    fs.AddFile(L"C:\\Work\\only-here\\h.txt", "h", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\deleted-here.txt", "d", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\Gone\\g.txt", "g", kMonday);

    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\newer-here.txt"), "source");
    EXPECT_EQ(fs.Data(L"C:\\Work\\newer-there.txt"), "backup");
    EXPECT_EQ(fs.Find(L"C:\\Work\\newer-there.txt")->lastWrite, kMonday + 60 * kSecond);
    EXPECT_EQ(fs.Data(L"C:\\Work\\same.txt"), "source");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\same.txt"), "backup");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\only-here\\h.txt"), "h");
    EXPECT_EQ(fs.Data(L"C:\\Work\\deleted-here.txt"), "d");
    EXPECT_EQ(fs.Data(L"C:\\Work\\Gone\\g.txt"), "g");

    // A second run changes nothing.
    const auto source = fs.Snapshot(L'C');
    const auto backup = fs.Snapshot(L'E');
    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Snapshot(L'C'), source);
    EXPECT_EQ(fs.Snapshot(L'E'), backup);
}

TEST_F(Walkers, SyncRestoresEmptiedAndMissingSourcesAndCopiesNewOnes) {
    fs.AddFolder(L"C:\\Work");
    fs.AddFile(L"E:\\FilesBackup\\Work\\a.txt", "a", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\b.txt", "b", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Photos\\p.jpg", "p", kMonday);
    fs.AddFile(L"D:\\New\\n.txt", "n", kMonday);
    fs.AddFile(L"C:\\single.txt", "single", kMonday);
    BackupWalker walker = Walker();

    EXPECT_EQ(walker.SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"C:\\Work\\a.txt"), "a");
    EXPECT_EQ(fs.Data(L"C:\\Work\\Sub\\b.txt"), "b");
    EXPECT_EQ(walker.SyncItem(L"C:\\A\\B\\Photos", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"C:\\A\\B\\Photos\\p.jpg"), "p") << "with every missing parent";
    EXPECT_EQ(walker.SyncItem(L"D:\\New", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\New\\n.txt"), "n");
    EXPECT_EQ(walker.SyncItem(L"C:\\single.txt", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\single.txt"), "single");

    const auto backup = fs.Snapshot(L'E');
    EXPECT_EQ(walker.SyncItem(L"C:\\Nowhere", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(walker.SyncItem(L"E:\\FilesBackup\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Snapshot(L'E'), backup);
    EXPECT_FALSE(fs.IsFolder(L"C:\\Nowhere"));
}

// Each fault cut into a Copy and a Synchronize at every step in turn. The cut run says so whenever
// it could not copy something, goes on past what it could not copy unless nothing more can be,
// leaves no file half written under its real name, and changes no source file below a folder it
// could not list; the next run leaves both sides as an uncut one does.
TEST(WalkerFaults, ARunCutAtAnyStepByAnyFaultSaysSoAndTheNextRunFinishesIt) {
    using Fault = MemoryFileSystem::Fault;
    const auto disks = [](MemoryFileSystem& fs) {
        fs.AddFile(L"C:\\Work\\here.txt", "newer here", kMonday + 60 * kSecond);
        fs.AddFile(L"E:\\FilesBackup\\Work\\here.txt", "older there", kMonday);
        fs.AddFile(L"C:\\Work\\Sub\\there.txt", "older here", kMonday);
        fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\there.txt", "newer there", kMonday + 60 * kSecond);
        fs.AddFile(L"C:\\Work\\only-here.txt", "only here", kMonday);
        fs.AddFile(L"E:\\FilesBackup\\Work\\Gone\\only-there.txt", "only there", kMonday);
    };
    const std::set<std::string> contents = {"newer here",  "older there", "older here",
                                            "newer there", "only here",   "only there"};
    // The source-side files in or below a folder of either side.
    const auto sourceFilesBelow = [](auto files, std::wstring folder) {
        if (folder.starts_with(L"E:\\FilesBackup")) {
            folder = L"C:" + folder.substr(std::wstring_view(L"E:\\FilesBackup").size());
        }
        std::erase_if(files, [&](const auto& entry) {
            return entry.second == "<folder>" ||
                   !(entry.first == folder || entry.first.starts_with(folder + L"\\"));
        });
        return files;
    };
    const std::pair<Fault, bool> faults[] = {
        {Fault::Pulled, true},    {Fault::DiskFull, true},      {Fault::RefusedWrite, false},
        {Fault::HeldOpen, false}, {Fault::FailedSearch, false}, {Fault::Vanished, false}};
    for (const bool sync : {false, true}) {
        const auto walk = [sync](MemoryFileSystem& fs, std::atomic<int>& present) {
            StillBar bar;
            BackupWalker walker(fs, present, bar, 0);
            const int result = Walk(walker, sync);
            return std::pair{result, walker.Failures().size()};
        };
        MemoryFileSystem whole;
        std::atomic<int> present{1};
        disks(whole);
        whole.Cut(Fault::Pulled, 0, L'E', present);
        ASSERT_EQ(walk(whole, present), std::pair(1, std::size_t{0}));
        const auto expected = whole.Snapshot();

        for (const auto& [fault, stops] : faults) {
            for (int cut = 1; cut <= whole.Steps(); ++cut) {
                SCOPED_TRACE(testing::Message() << (sync ? "Synchronize" : "Copy") << ", fault "
                                                << int(fault) << " at step " << cut);
                MemoryFileSystem fs;
                disks(fs);
                const auto sourceBefore = fs.Snapshot(L'C');
                fs.Cut(fault, cut, L'E', present);
                const auto [result, failures] = walk(fs, present);
                const bool finished = fs.Snapshot() == expected;
                EXPECT_TRUE(finished || result == 0 || failures != 0) << "a silent failure";
                EXPECT_TRUE(stops ? finished || result == 0 : result == 1);
                for (const auto& [path, value] : fs.Snapshot()) {
                    const std::string data = value.substr(0, value.rfind('@'));
                    EXPECT_TRUE(value == "<folder>" ||
                                IsPartialCopyName(path.substr(path.rfind(L'\\') + 1)) ||
                                contents.count(data))
                        << "half written: " << data;
                }
                if (sync && fault == Fault::FailedSearch && fs.Struck()) {
                    EXPECT_EQ(sourceFilesBelow(fs.Snapshot(L'C'), *fs.Struck()),
                              sourceFilesBelow(sourceBefore, *fs.Struck()));
                }
                fs.Heal(present);
                ASSERT_EQ(walk(fs, present), std::pair(1, std::size_t{0}));
                EXPECT_EQ(fs.Snapshot(), expected) << "partial copies are gone too";
            }
        }
    }
}

// The program's leftovers go at the next press on both sides, whatever their bits; a person's
// files with names like them are backed up as any other.
TEST_F(Walkers, LeftoversOfAnInterruptedCopyGoWhereTheWalkWritesAndLookalikesAreBackedUp) {
    const std::wstring leftoverA = PartialCopyName(L"a.txt");
    const std::wstring leftoverB = PartialCopyName(L"b.txt");
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "Synchronize" : "Copy");
        fs.AddFile(L"C:\\Work\\a.txt", "a", kMonday);
        fs.AddFile(L"C:\\Work\\x.bexlo-partial", "mine", kMonday);
        fs.AddFile(L"C:\\Work\\" + leftoverA, "half", kMonday + 60 * kSecond);
        fs.AddFile(L"E:\\FilesBackup\\Work\\" + leftoverA, "ha", kMonday + 60 * kSecond);
        fs.Mark(L"E:\\FilesBackup\\Work\\" + leftoverA, {.hidden = true, .system = true});
        fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\" + leftoverB, "h", kMonday);
        fs.AddFile(L"C:\\Work\\Sub\\b.txt", "b", kMonday);
        EXPECT_EQ(PlanPress(fs, {}, sync, {L"C:\\Work"}, L"E:\\FilesBackup").totalBytes, 6u);

        BackupWalker walker = Walker();
        EXPECT_EQ(Walk(walker, sync), 1);
        EXPECT_TRUE(walker.Failures().empty());
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\a.txt"), "a");
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\b.txt"), "b");
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\x.bexlo-partial"), "mine");
        EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\" + leftoverA));
        EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\" + leftoverB));
        // Copy never writes to a source, so it never deletes there either.
        EXPECT_EQ(fs.Data(L"C:\\Work\\" + leftoverA),
                  sync ? std::nullopt : std::optional<std::string>("half"));
        fs.Remove(L"C:\\Work");
        fs.Remove(L"E:\\FilesBackup");
    }

    // A leftover the walk does not list, of a single saved file, gives way to its copy.
    fs.AddFile(L"C:\\notes.txt", "notes", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\" + PartialCopyName(L"notes.txt"), "n", kMonday);
    EXPECT_EQ(Walker().CopyItem(L"C:\\notes.txt", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\notes.txt"), "notes");
    EXPECT_EQ(fs.Snapshot(L'E').size(), 2u);
}

// Two sources of one name would share one backup folder: the first saved keeps it, the second
// fails with its reason, and neither side's files reach the other source.
TEST_F(Walkers, ASecondSourceOfTheSameNameFailsInsteadOfSharingTheFirstsFolder) {
    fs.AddFile(L"C:\\Work\\Documents\\Budget.xlsx", "work budget", kMonday);
    fs.AddFile(L"D:\\Archive\\DOCUMENTS\\Budget.xlsx", "old budget", kMonday + 60 * kSecond);
    fs.AddFile(L"D:\\Archive\\DOCUMENTS\\old.txt", "old", kMonday);
    fs.AddFolder(L"E:\\FilesBackup");
    const auto archive = fs.Snapshot(L'D');
    for (const bool sync : {false, true}) {
        BackupWalker walker = Walker();
        for (const wchar_t* source : {L"C:\\Work\\Documents", L"D:\\Archive\\DOCUMENTS"}) {
            EXPECT_EQ(Walk(walker, sync, source), 1);
        }
        ExpectOnlyFailure(walker, L"D:\\Archive\\DOCUMENTS", FailureReason::SameName);
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Documents\\Budget.xlsx"), "work budget");
        EXPECT_FALSE(fs.Data(L"E:\\FilesBackup\\Documents\\old.txt"));
        EXPECT_EQ(fs.Data(L"C:\\Work\\Documents\\Budget.xlsx"), "work budget");
        EXPECT_FALSE(fs.Data(L"C:\\Work\\Documents\\old.txt"));
        EXPECT_EQ(fs.Snapshot(L'D'), archive);
    }
}

// Names fold as the file system folds them: a backup copy whose name differs in the case of a
// non-ASCII letter is the same file, and names the file system keeps apart stay two files.
TEST_F(Walkers, NamesDifferingInTheCaseOfAnyLetterAreOneFile) {
    const std::pair<const wchar_t*, const wchar_t*> alike[] = {{L"Été.txt", L"été.txt"},
                                                               {L"Ärger.doc", L"äRGER.doc"},
                                                               {L"ΣΟΦΊΑ", L"σοφία"},
                                                               {L"Дача.jpg", L"дача.JPG"}};
    for (const auto& [source, backup] : alike) {
        EXPECT_TRUE(SameName(source, backup));
        fs.AddFile(std::wstring(L"C:\\Work\\") + source, "older words", kMonday);
        fs.AddFile(std::wstring(L"E:\\FilesBackup\\Work\\") + backup, "newer words",
                   kMonday + 60 * kSecond);
    }
    fs.AddFile(L"C:\\Work\\Straße.txt", "sharp s", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\STRASSE.txt", "double s", kMonday + 60 * kSecond);
    EXPECT_FALSE(SameName(L"Straße.txt", L"STRASSE.txt"));
    EXPECT_FALSE(SameName(L"e.txt", L"é.txt"));

    EXPECT_EQ(Walker().SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    for (const auto& [source, backup] : alike) {
        EXPECT_EQ(fs.Data(std::wstring(L"C:\\Work\\") + source), "newer words");
        EXPECT_EQ(fs.Data(std::wstring(L"E:\\FilesBackup\\Work\\") + backup), "newer words");
    }
    EXPECT_EQ(fs.Data(L"C:\\Work\\Straße.txt"), "sharp s");
    EXPECT_EQ(fs.Data(L"C:\\Work\\STRASSE.txt"), "double s");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Straße.txt"), "sharp s");
}

// A listing that missed an entry must not let the other side's copy replace it: a copy made
// because one side had none is made new, and where the name turns out to be taken the times
// decide.
TEST_F(Walkers, AnEntryABrokenListingMissedIsNeverReplacedByAnOlderCopy) {
    fs.AddFile(L"C:\\Work\\newer.txt", "newer at the source", kMonday + 60 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\newer.txt", "older backup", kMonday);
    fs.AddFile(L"C:\\Work\\Sub\\inner.txt", "older inside", kMonday);
    fs.AddFile(L"E:\\FilesBackup\\Work\\Sub\\inner.txt", "newer inside", kMonday + 60 * kSecond);
    fs.AddFile(L"E:\\FilesBackup\\Work\\older.txt", "newer backup", kMonday + 60 * kSecond);
    fs.AddFile(L"C:\\Work\\older.txt", "older at the source", kMonday);
    fs.unlisted = {L"C:\\Work\\newer.txt", L"C:\\Work\\older.txt",
                   L"E:\\FilesBackup\\Work\\Sub\\inner.txt"};

    BackupWalker walker = Walker();
    EXPECT_EQ(walker.SyncItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_TRUE(walker.Failures().empty());
    EXPECT_EQ(fs.Data(L"C:\\Work\\newer.txt"), "newer at the source");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\newer.txt"), "newer at the source");
    EXPECT_EQ(fs.Data(L"C:\\Work\\Sub\\inner.txt"), "newer inside");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Sub\\inner.txt"), "newer inside");
    EXPECT_EQ(fs.Data(L"C:\\Work\\older.txt"), "newer backup");
}

// FAT holds no file of 4 GiB or more: such a file fails on its own, and the walk goes on.
TEST_F(Walkers, AFileTooLargeForAFatDestinationFailsAloneAndTheWalkGoesOn) {
    constexpr std::uint64_t kFourGiB = 4ull << 30;
    fs.AddFile(L"C:\\Work\\a.txt", "a", kMonday);
    fs.AddFile(L"C:\\Work\\movie.mkv", "movie", kMonday, kFourGiB);
    fs.AddFile(L"C:\\Work\\just-under.img", "img", kMonday, kFourGiB - 1);
    fs.AddFile(L"C:\\Work\\z.txt", "z", kMonday);
    fs.AddFolder(L"E:\\FilesBackup");
    fs.fileSystems[L'E'] = L"FAT32";
    for (const bool sync : {false, true}) {
        BackupWalker walker = Walker();
        EXPECT_EQ(Walk(walker, sync), 1);
        EXPECT_FALSE(walker.Stopped());
        ExpectOnlyFailure(walker, L"C:\\Work\\movie.mkv", FailureReason::TooLargeForFat);
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\z.txt"), "z");
        EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\just-under.img"), "img");
    }
    fs.fileSystems[L'E'] = L"NTFS";
    EXPECT_EQ(Walker().CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\movie.mkv"), "movie");
}

// A destination whose volume stops answering is named once and ends the walk; a source drive
// that stops answering fails only its own files.
TEST_F(Walkers, ADestinationThatStopsAnsweringStopsTheWalkOnce) {
    for (int i = 0; i < 5; ++i) {
        fs.AddFile(L"C:\\Work\\f" + std::to_wstring(i) + L".txt", "f", kMonday);
    }
    fs.AddFile(L"F:\\Stick\\s.txt", "s", kMonday);
    fs.AddFolder(L"E:\\FilesBackup");
    int copies = 0;
    fs.beforeCopy = [&](const std::wstring&) {
        if (++copies == 2) {
            fs.Detach(L'E');
        }
    };
    BackupWalker walker = Walker();
    EXPECT_EQ(walker.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 0);
    EXPECT_TRUE(walker.Stopped());
    ExpectOnlyFailure(walker, L"E:\\FilesBackup", FailureReason::DestinationGone);
    EXPECT_EQ(walker.EntriesTried(), 2u);

    fs.Attach(L'E');
    fs.beforeCopy = [&](const std::wstring&) { fs.Detach(L'F'); };
    BackupWalker other = Walker();
    EXPECT_EQ(other.CopyItem(L"F:\\Stick", L"E:\\FilesBackup"), 1);
    EXPECT_FALSE(other.Stopped());
    ExpectOnlyFailure(other, L"F:\\Stick\\s.txt", FailureReason::Platform);
}

// ReFS folder ids differ only in their high half: folders that merely share the low half are
// not taken for a loop.
TEST_F(Walkers, FoldersWhoseIdsShareTheLowHalfAreAllWalked) {
    fs.wideIds = true;
    fs.AddFile(L"C:\\Work\\One\\1.txt", "1", kMonday);
    fs.AddFile(L"C:\\Work\\Two\\2.txt", "2", kMonday);
    fs.AddFolder(L"E:\\FilesBackup");
    EXPECT_EQ(Walker().CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\One\\1.txt"), "1");
    EXPECT_EQ(fs.Data(L"E:\\FilesBackup\\Work\\Two\\2.txt"), "2");

    std::uint8_t bytes[16] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80};
    const FileId low = FileIdFromBytes(7, bytes);
    bytes[15] = 0x40;
    EXPECT_NE(FileIdFromBytes(7, bytes), low);
    EXPECT_EQ(low.index, 1u);
    EXPECT_EQ(low.indexHigh, 0x8000'0000'0000'0000u);
}

// Copy passes over a file whose backup copy is what its record says, and copies every other one:
// the counting pass counts exactly what the walk copies.
TEST_F(Walkers, CopyPassesOverWhatIsTheSameAndCopiesEveryChange) {
    const std::pair<const wchar_t*, bool> files[] = {
        {L"same.txt", false},         {L"Sub\\same.txt", false}, {L"size.txt", true},
        {L"newer.txt", true},         {L"older.txt", true},      {L"missing.txt", true},
        {L"put-back.txt", true},      {L"fat-hour.txt", false},  {L"fat-2s.txt", true},
        {L"just-under-2s.txt", false}};
    for (const auto& [name, changed] : files) {
        fs.AddFile(std::wstring(L"C:\\Work\\") + name, "source", kMonday);
    }
    fs.AddFolder(L"C:\\Work\\Empty");
    fs.AddFolder(L"E:\\FilesBackup");
    fs.fileSystems[L'E'] = L"FAT32";
    ASSERT_EQ(PressWith(fs, devicePresent, kMonday + kHour).walked, 1);

    const auto backup = [](const wchar_t* name) {
        return std::wstring(L"E:\\FilesBackup\\Work\\") + name;
    };
    fs.AddFile(backup(L"size.txt"), "sourcE!", kMonday);
    fs.AddFile(backup(L"newer.txt"), "source", kMonday + 60 * kSecond);
    fs.AddFile(backup(L"older.txt"), "source", kMonday - 60 * kSecond);
    fs.Remove(backup(L"missing.txt"));
    fs.AddFile(backup(L"fat-hour.txt"), "source", kMonday + kHour + kSecond);
    fs.AddFile(backup(L"fat-2s.txt"), "source", kMonday + 2 * kSecond);
    fs.AddFile(backup(L"just-under-2s.txt"), "source", kMonday + 2 * kSecond - 1);
    // Written after the last press, its last-write time put back as some programs do.
    fs.AddFile(L"C:\\Work\\put-back.txt", "SOURCE", kMonday);

    std::vector<std::wstring> written;
    fs.gate = [&](MemoryFileSystem::Op op, const std::wstring& path) {
        if (op == MemoryFileSystem::Op::CopyFileData || op == MemoryFileSystem::Op::CreateFolder) {
            written.push_back(path);
        }
        return true;
    };
    const PressOutcome press = PressWith(fs, devicePresent, kMonday + 24 * kHour);
    ASSERT_EQ(press.walked, 1);
    std::size_t copied = 0;
    for (const auto& [name, changed] : files) {
        EXPECT_EQ(fs.Data(backup(name)),
                  name == std::wstring(L"put-back.txt") ? "SOURCE" : "source")
            << "the backup copy is the source's";
        const bool wasWritten = std::any_of(written.begin(), written.end(), [&](const auto& path) {
            return path.starts_with(backup(name));
        });
        EXPECT_EQ(wasWritten, changed) << std::wstring(name).size();
        copied += changed ? 1 : 0;
    }
    EXPECT_EQ(press.copied, copied);
    EXPECT_EQ(press.unchanged, std::size(files) - copied);
    EXPECT_EQ(press.plan.totalBytes, 6 * copied) << "what the walk copies, counted before";
    EXPECT_EQ(press.plan.entryCount, copied) << "the existing folders are no work";
    EXPECT_EQ(press.plan.allEntries, std::size(files) + 2);
    EXPECT_EQ(std::count_if(written.begin(), written.end(),
                            [](const auto& path) { return path.find(L"Sub") != path.npos; }),
              0)
        << "an existing folder is not made again";

    // Nothing changed since: nothing is written, with its catalog or without one.
    written.clear();
    EXPECT_EQ(PressWith(fs, devicePresent, kMonday + 48 * kHour).copied, 0u);
    fs.Remove(L"E:\\FilesBackup\\Bexlo versions\\_Bexlo catalog.db");
    EXPECT_EQ(PressWith(fs, devicePresent, kMonday + 72 * kHour).copied, 0u);
    EXPECT_TRUE(written.empty());
}

TEST_F(Walkers, SizesPast4GiBCountInFull) {
    constexpr std::uint64_t kFiveGiB = 5ull << 30;
    fs.AddFile(L"C:\\Work\\disk.img", "image", kMonday, kFiveGiB);
    fs.AddFile(L"C:\\Work\\Sub\\small.txt", "s", kMonday, 100);
    fs.AddFile(L"C:\\alone.iso", "iso", kMonday, kFiveGiB);
    fs.AddFolder(L"E:\\FilesBackup");
    const PressPlan totals = PlanPress(
        fs, {}, false, {L"C:\\Work", L"C:\\alone.iso", L"C:\\Missing"}, L"E:\\FilesBackup");
    EXPECT_EQ(totals.totalBytes, 2 * kFiveGiB + 100);
    EXPECT_EQ(totals.entryCount, 4u);

    BackupWalker walker = Walker(totals.totalBytes);
    EXPECT_EQ(walker.CopyItem(L"C:\\Work", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(walker.CopyItem(L"C:\\alone.iso", L"E:\\FilesBackup"), 1);
    EXPECT_EQ(walker.CopiedBytes(), totals.totalBytes);
}

}  // namespace
}  // namespace bexlo
