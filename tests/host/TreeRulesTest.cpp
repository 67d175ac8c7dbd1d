#include "treectrl/TreeRules.h"

#include <gtest/gtest.h>

#include <vector>

#include "res/resource.h"

namespace bexlo {
namespace {

constexpr int kCommands[] = {ID_TREE_OPEN, ID_TREE_DELETE, ID_TREE_RENAME, ID_TREE_PROPERTIES};

std::vector<int> Enabled(const TreeCommandGates& gates, const TreeItemFacts& item) {
    std::vector<int> enabled;
    for (int command : kCommands) {
        if (TreeCommandEnabled(command, gates, item)) {
            enabled.push_back(command);
        }
    }
    return enabled;
}

TEST(TreeRules, MenuEntriesFollowTheGatesAndTheKindOfItem) {
    const TreeItemFacts folder{.selected = true};
    const TreeItemFacts drive{.selected = true, .drive = true};
    const TreeItemFacts nothing{};
    const TreeItemFacts networkItem{.selected = true, .networkNode = true};
    const TreeItemFacts server{.selected = true, .networkNode = true, .networkDisplayType = 2};
    const TreeCommandGates defaults;
    const TreeCommandGates all{1, 1, 1, 1};

    EXPECT_EQ(Enabled(defaults, folder), std::vector<int>{ID_TREE_PROPERTIES});
    EXPECT_EQ(Enabled(defaults, nothing), std::vector<int>{});
    EXPECT_EQ(Enabled(all, folder),
              (std::vector<int>{ID_TREE_OPEN, ID_TREE_DELETE, ID_TREE_RENAME, ID_TREE_PROPERTIES}));
    EXPECT_EQ(Enabled(all, nothing), std::vector<int>{});
    EXPECT_EQ(Enabled(all, drive), (std::vector<int>{ID_TREE_OPEN, ID_TREE_PROPERTIES}));
    EXPECT_EQ(Enabled(all, networkItem), std::vector<int>{});
    EXPECT_EQ(Enabled(all, server), (std::vector<int>{ID_TREE_OPEN, ID_TREE_PROPERTIES}));
    EXPECT_FALSE(TreeCommandEnabled(32786, all, folder)) << "an entry of no command";
}

TEST(TreeRules, NamesThatWouldMoveOrLoseTheItemAreRefused) {
    for (const wchar_t* good : {L"Report", L"a.txt", L"two words", L".profile", L"CONSOLE", L"COM0",
                                L"notes.2026", L"Ünïcode ☃"}) {
        EXPECT_TRUE(IsValidFileName(good)) << good;
    }
    for (const wchar_t* bad : {L"", L".", L"..", L"..\\up", L"a\\b", L"a/b", L"C:x", L"what?",
                               L"star*", L"\"q\"", L"<a>", L"pipe|", L"tab\there", L"trailing ",
                               L"trailing.", L"con", L"NUL.txt", L"lpt9", L"COM1.log"}) {
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    }
}

TEST(TreeRules, AHiddenExtensionStaysOnDiskAndInTheLabel) {
    EXPECT_EQ(FileExtension(L"E:\\t\\a.txt"), L".txt");
    EXPECT_EQ(FileExtension(L"E:\\t.d\\noext"), L"");

    const FileLabel hidden = LabelForFile(L"Report.txt", 0, L"");
    EXPECT_EQ(hidden.text, L"Report");
    EXPECT_EQ(hidden.extensionHidden, 1);
    EXPECT_EQ(LabelForFile(L"Report.txt", 1, L"Report").text, L"Report.txt");
    EXPECT_EQ(LabelForFile(L"Report.txt", 2, L"Report").extensionHidden, 1);
    EXPECT_EQ(LabelForFile(L"Report.txt", 2, L"REPORT.TXT").extensionHidden, 0);

    const RenamePlan file = PlanRename(L"E:\\t\\Report.txt", L"E:\\t", L"Summary", true);
    EXPECT_EQ(file.target, L"E:\\t\\Summary.txt");
    EXPECT_EQ(file.label, L"Summary.txt");
    EXPECT_EQ(PlanRename(L"E:\\Old", L"E:\\", L"New", false).target, L"E:\\New");
}

// Records as the platform's network enumeration reports them.
TEST(TreeRules, NetworkRecordsAreNamedByRemoteNameOrComment) {
    const NetworkEntryNames provider = NameNetworkEntry(L"", L"Microsoft Windows Network", 6);
    EXPECT_EQ(provider.kind, NetworkEntryKind::Container);
    EXPECT_EQ(provider.path, L"Microsoft Windows Network");
    EXPECT_EQ(provider.iconPath, L"");
    const NetworkEntryNames server = NameNetworkEntry(L"\\\\NAS", L"Shelf", 2);
    EXPECT_EQ(server.kind, NetworkEntryKind::Server);
    EXPECT_EQ(server.label, L"NAS");
    EXPECT_EQ(server.iconPath, L"\\\\NAS");
    const NetworkEntryNames share = NameNetworkEntry(L"\\\\NAS\\Photos", L"", 3);
    EXPECT_EQ(share.kind, NetworkEntryKind::Share);
    EXPECT_EQ(share.label, L"Photos");
    EXPECT_EQ(share.path, L"\\\\NAS\\Photos");
    // Only two backslashes go; a share named by its comment keeps the whole comment.
    EXPECT_EQ(NameNetworkEntry(L"\\\\\\odd", L"", 2).label, L"\\odd");
    EXPECT_EQ(NameNetworkEntry(L"", L"Printers", 3).label, L"Printers");
}

TEST(TreeRules, TheNetworkBufferDoublesWhileMoreDataIsAsked) {
    std::vector<size_t> sizes;
    const unsigned long answer =
        ReadDoubling(kNetworkBufferStart, kNetworkBufferLimit, [&](size_t bytes) {
            sizes.push_back(bytes);
            return bytes < 65536 ? kMoreData : 0ul;
        });
    EXPECT_EQ(answer, 0ul);
    EXPECT_EQ(sizes, (std::vector<size_t>{16384, 32768, 65536}));

    sizes.clear();
    EXPECT_EQ(ReadDoubling(kNetworkBufferStart, kNetworkBufferLimit,
                           [&](size_t bytes) {
                               sizes.push_back(bytes);
                               return kMoreData;
                           }),
              kMoreData)
        << "a platform that always wants more cannot hang the tree";
    EXPECT_EQ(sizes.back(), kNetworkBufferLimit);

    EXPECT_EQ(ReadDoubling(kNetworkBufferStart, kNetworkBufferLimit, [](size_t) { return 259ul; }),
              259ul);
}

TEST(TreeRules, ADragScrollsNearTheEdges) {
    // 16-pixel items in a 200-pixel client area.
    EXPECT_EQ(AutoScrollFor(10, 200, 16, false), AutoScroll::Up);
    EXPECT_EQ(AutoScrollFor(10, 200, 16, true), AutoScroll::None) << "nothing above to show";
    EXPECT_EQ(AutoScrollFor(100, 200, 16, false), AutoScroll::None);
    EXPECT_EQ(AutoScrollFor(190, 200, 16, true), AutoScroll::Down);
}

}  // namespace
}  // namespace bexlo
