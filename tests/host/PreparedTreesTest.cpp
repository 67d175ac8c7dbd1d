// Sources and destinations that another program has prepared: a saved source turned into a link
// or swapped for another folder, a destination that a link leads away.

#include <gtest/gtest.h>

#include "backup/SourceIdentity.h"
#include "backup/WalkRules.h"
#include "framework/NameCase.h"
#include "tests/host/RunSupport.h"

namespace bexlo {
namespace {

constexpr wchar_t kElsewhere[] = L"C:\\Elsewhere";

struct PreparedTrees : ::testing::Test {
    // Saved as Save does it: the list, then what each source is.
    void SaveWithIdentities(const std::vector<std::wstring>& sources = {kWork, kPhotos},
                            const std::wstring& target = kTarget) {
        t.SaveUnchecked(sources, target);
        ASSERT_TRUE(SaveSourceIdentities(t.fs, sources));
    }

    // The last end box's text.
    std::wstring BoxText() {
        const std::vector<std::wstring> texts = t.host.Texts();
        return texts.empty() ? std::wstring() : texts.back();
    }

    bool Names(const std::wstring& path, Msg reason) {
        const std::wstring text = BoxText();
        return text.find(path) != std::wstring::npos &&
               text.find(t.host.Text(reason)) != std::wstring::npos;
    }

    MemoryRun t;
};

// The black-box case: after a Synchronize, the saved source is swapped for a link to another
// folder and a file is put into its backup folder. The next press writes nothing through the
// link, and says why instead of "Copy complete!".
TEST_F(PreparedTrees, ASavedSourceThatBecameALinkIsNamedAndWalkedInNeitherDirection) {
    for (const bool savedBeforeIdentities : {false, true}) {
        SCOPED_TRACE(savedBeforeIdentities ? "list saved before identities were kept"
                                           : "saved with identities");
        MemoryRun fresh;
        std::swap(t.fs, fresh.fs);
        if (savedBeforeIdentities) {
            t.SaveUnchecked();
        } else {
            SaveWithIdentities();
        }
        t.Press(RunMode::Sync);
        ASSERT_TRUE(t.BackedUp());
        EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));

        t.fs.AddFile(L"C:\\Elsewhere\\system.ini", "theirs", kMinute);
        t.fs.Remove(kWork);
        t.fs.AddLink(kWork, kElsewhere);
        t.fs.AddFile(L"E:\\FilesBackup\\Work\\planted.exe", "payload", 9 * kMinute);
        t.fs.AddFile(L"C:\\Photos\\dog.jpg", "dog", 9 * kMinute);
        for (const RunMode mode : {RunMode::Sync, RunMode::Copy}) {
            t.Press(mode);
            EXPECT_FALSE(t.fs.Data(L"C:\\Elsewhere\\planted.exe")) << "written through the link";
            EXPECT_FALSE(t.fs.Data(L"E:\\FilesBackup\\Work\\system.ini")) << "read through it";
            EXPECT_TRUE(Names(kWork, Msg::SourceBecameLink)) << testing::PrintToString(BoxText());
            EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Photos\\dog.jpg"), "dog");
        }
    }
}

// Another folder under a saved folder's path (a folder deleted and made again, or moved aside
// and replaced) is named until the person saves it again.
TEST_F(PreparedTrees, AnotherFolderUnderASavedPathIsNamedUntilItIsSavedAgain) {
    SaveWithIdentities();
    t.Press(RunMode::Copy);
    ASSERT_TRUE(t.BackedUp());

    t.fs.Remove(kWork);
    t.fs.AddFile(L"C:\\Work\\report.doc", "someone else's", 5 * kMinute);
    for (const RunMode mode : {RunMode::Copy, RunMode::Sync}) {
        t.Press(mode);
        EXPECT_TRUE(Names(kWork, Msg::SourceReplaced));
        EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\report.doc"), "quarterly");
        EXPECT_EQ(t.fs.Data(L"C:\\Work\\Notes\\todo.txt"), std::nullopt);
    }

    SaveWithIdentities();
    t.Press(RunMode::Copy);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\report.doc"), "someone else's");
}

// A source that was a link when it was saved is read through; Synchronize writes into it only
// while it leads where it led then.
TEST_F(PreparedTrees, ASavedLinkIsReadThroughAndWrittenIntoOnlyWhileItLeadsWhereItDid) {
    t.fs.AddFile(L"D:\\Real\\plan.txt", "plan", kMinute);
    t.fs.AddLink(L"C:\\Linked", L"D:\\Real");
    SaveWithIdentities({L"C:\\Linked"});
    t.Press(RunMode::Sync);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Linked\\plan.txt"), "plan");

    t.fs.AddFile(L"E:\\FilesBackup\\Linked\\new.txt", "from the backup", 3 * kMinute);
    t.fs.AddFile(L"D:\\Other\\other.txt", "other", kMinute);
    t.fs.Remove(L"C:\\Linked");
    t.fs.AddLink(L"C:\\Linked", L"D:\\Other");
    t.Press(RunMode::Sync);
    EXPECT_TRUE(Names(L"C:\\Linked", Msg::LinkMoved));
    EXPECT_FALSE(t.fs.Data(L"D:\\Other\\new.txt"));
    EXPECT_FALSE(t.fs.Data(L"D:\\Real\\new.txt"));

    t.Press(RunMode::Copy);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Linked\\other.txt"), "other");
}

// A source Synchronize makes again from its backup is the one the next press expects; on a
// volume whose ids do not last (FAT), only a link is refused.
TEST_F(PreparedTrees, ASourceThePressMadeAgainAndAFatSourceAreNotTakenForSwaps) {
    t.fs.AddFile(L"F:\\DCIM\\img1.jpg", "img1", kMinute);
    t.fs.fileSystems[L'F'] = L"FAT32";
    SaveWithIdentities({kWork, L"F:\\DCIM"});
    t.Press(RunMode::Sync);
    ASSERT_EQ(t.fs.Data(L"E:\\FilesBackup\\DCIM\\img1.jpg"), "img1");

    t.fs.Remove(kWork);
    t.Press(RunMode::Sync);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"C:\\Work\\report.doc"), "quarterly");
    t.fs.AddFile(L"C:\\Work\\report.doc", "quarterly v2", 7 * kMinute);
    t.Press(RunMode::Sync);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\Work\\report.doc"), "quarterly v2");

    t.fs.Remove(L"F:\\DCIM");
    t.fs.AddFile(L"F:\\DCIM\\img2.jpg", "img2", 2 * kMinute);
    t.Press(RunMode::Copy);
    EXPECT_EQ(BoxText(), t.host.Text(Msg::CopyOver));
    EXPECT_EQ(t.fs.Data(L"E:\\FilesBackup\\DCIM\\img2.jpg"), "img2");
    t.fs.Remove(L"F:\\DCIM");
    t.fs.AddLink(L"F:\\DCIM", kElsewhere);
    t.Press(RunMode::Copy);
    EXPECT_TRUE(Names(L"F:\\DCIM", Msg::SourceBecameLink));
}

// The destination or a folder above it that is a link: the press stops at once, and nothing is
// made, written or removed where the link leads.
TEST_F(PreparedTrees, ADestinationThatALinkLeadsAwayStopsThePressAtOnce) {
    struct Case {
        const char* what;
        std::wstring target;
        std::wstring link;
        std::wstring to;
    };
    const Case cases[] = {
        {"the destination itself", kTarget, kTarget, L"E:\\Other"},
        {"a folder above it", L"E:\\Backups\\FilesBackup", L"E:\\Backups", L"E:\\Other"},
        {"to another drive", kTarget, kTarget, kElsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRun fresh;
        std::swap(t.fs, fresh.fs);
        t.fs.AddFile(c.to + L"\\Work\\report.doc", "older", 0);
        t.fs.AddLink(c.link, c.to);
        SaveWithIdentities({kWork}, c.target);
        const auto before = t.fs.Snapshot();
        t.Press(RunMode::Sync);
        EXPECT_EQ(BoxText(), t.host.Text(Msg::DestinationNotPlain));
        auto after = t.fs.Snapshot();
        std::erase_if(
            after, [](const auto& entry) { return IsWithin(entry.first, L"C:\\Program Files"); });
        auto expected = before;
        std::erase_if(expected, [](const auto& entry) {
            return IsWithin(entry.first, L"C:\\Program Files");
        });
        EXPECT_EQ(after, expected);
    }
}

// Another program swaps a folder on the enclosure for a link between the walk's look at it and
// its change there: removing a leftover, making a folder, placing a copy. Nothing is removed,
// made or written where the link leads.
TEST_F(PreparedTrees, AFolderSwappedForALinkBetweenACheckAndItsUseIsNeverChangedThrough) {
    struct Case {
        const char* what;
        MemoryFileSystem::Op op;
        std::wstring strikesAt;
        std::wstring swapped;
    };
    const std::wstring leftover = PartialCopyName(L"todo.txt");
    const Case cases[] = {
        {"removing a leftover", MemoryFileSystem::Op::RemoveFile,
         L"E:\\FilesBackup\\Work\\Notes\\" + leftover, L"E:\\FilesBackup\\Work\\Notes"},
        {"making a folder", MemoryFileSystem::Op::CreateFolder, L"E:\\FilesBackup\\Work\\New",
         L"E:\\FilesBackup\\Work"},
        {"placing a copy", MemoryFileSystem::Op::MoveOver, L"E:\\FilesBackup\\Work\\report.doc",
         L"E:\\FilesBackup\\Work"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRun fresh;
        std::swap(t.fs, fresh.fs);
        SaveWithIdentities({kWork});
        t.Press(RunMode::Copy);
        t.fs.AddFile(L"C:\\Work\\report.doc", "quarterly v2", 5 * kMinute);
        t.fs.AddFile(L"C:\\Work\\New\\n.txt", "new", 5 * kMinute);
        t.fs.AddFile(L"E:\\FilesBackup\\Work\\Notes\\" + leftover, "half", kMinute);
        t.fs.AddFile(L"C:\\Elsewhere\\" + leftover, "theirs", kMinute);
        t.fs.AddFile(L"C:\\Elsewhere\\report.doc", "theirs", kMinute);
        const auto elsewhere = [&] {
            auto all = t.fs.Snapshot(L'C');
            std::erase_if(all, [](const auto& e) { return !IsWithin(e.first, kElsewhere); });
            return all;
        };
        const auto before = elsewhere();
        bool struck = false;
        t.fs.gate = [&](MemoryFileSystem::Op op, const std::wstring& path) {
            if (!struck && op == c.op && FoldCase(path) == FoldCase(c.strikesAt)) {
                struck = true;
                t.fs.Remove(c.swapped);
                t.fs.AddLink(c.swapped, kElsewhere);
            }
            return true;
        };
        t.Press(RunMode::Copy);
        t.fs.gate = nullptr;
        EXPECT_TRUE(struck);
        EXPECT_EQ(elsewhere(), before);
    }
}

}  // namespace
}  // namespace bexlo
