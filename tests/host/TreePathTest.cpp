#include "treectrl/TreePath.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

using Segments = std::vector<std::wstring>;

TEST(TreePath, CaseAndTrailingBackslashDoNotMatterAndADriveKeepsItsBackslash) {
    const TreeWalk lower = PlanTreeWalk(L"c:\\work\\docs\\", L"", false);
    const TreeWalk upper = PlanTreeWalk(L"C:\\WORK\\DOCS", L"", false);
    ASSERT_EQ(lower.outcome, TreeWalk::Outcome::Walk);
    EXPECT_EQ(lower.segments, (Segments{L"C:\\", L"WORK", L"DOCS"}));
    EXPECT_EQ(upper.segments, lower.segments);
    EXPECT_TRUE(lower.fromComputer);

    EXPECT_EQ(PlanTreeWalk(L"d:\\", L"", false).segments, Segments{L"D:\\"});
    EXPECT_EQ(PlanTreeWalk(L"d:", L"", false).segments, Segments{L"D:"});
}

TEST(TreePath, EmptyPathsAndPathsOutsideTheRootAreRefused) {
    EXPECT_EQ(PlanTreeWalk(L"", L"", false).outcome, TreeWalk::Outcome::EmptyPath);
    EXPECT_EQ(PlanTreeWalk(L"", L"D:\\Data", false).outcome, TreeWalk::Outcome::EmptyPath);

    const TreeWalk outside = PlanTreeWalk(L"e:\\Data\\x", L"D:\\Data", false);
    EXPECT_EQ(outside.outcome, TreeWalk::Outcome::OutsideRoot);
    EXPECT_EQ(outside.path, L"E:\\DATA\\X");
    EXPECT_EQ(outside.root, L"D:\\DATA");
    EXPECT_EQ(PlanTreeWalk(L"D:\\Database\\x", L"D:\\Data", false).outcome,
              TreeWalk::Outcome::OutsideRoot);
}

TEST(TreePath, BelowARootTheWalkStartsAtTheRootItem) {
    const TreeWalk inside = PlanTreeWalk(L"d:\\data\\Photos\\2026\\", L"D:\\Data", false);
    ASSERT_EQ(inside.outcome, TreeWalk::Outcome::Walk);
    EXPECT_TRUE(inside.fromRootItem);
    EXPECT_FALSE(inside.fromComputer);
    EXPECT_EQ(inside.segments, (Segments{L"PHOTOS", L"2026"}));

    EXPECT_EQ(PlanTreeWalk(L"D:\\Data", L"D:\\Data", false).outcome, TreeWalk::Outcome::Nothing);
    EXPECT_EQ(PlanTreeWalk(L"D:\\Data\\", L"D:\\Data", false).outcome, TreeWalk::Outcome::Nothing);
    EXPECT_EQ(PlanTreeWalk(L"D:\\x", L"D:", false).segments, Segments{L"X"});
}

TEST(TreePath, NetworkPathsWalkFromTheServersOnlyWhenTheNetworkIsShown) {
    const TreeWalk shown = PlanTreeWalk(L"\\\\server\\share\\dir", L"", true);
    EXPECT_TRUE(shown.network);
    EXPECT_FALSE(shown.fromComputer);
    EXPECT_EQ(shown.segments, (Segments{L"SERVER", L"SHARE", L"DIR"}));

    const TreeWalk hidden = PlanTreeWalk(L"\\\\server\\share", L"", false);
    EXPECT_FALSE(hidden.network);
    EXPECT_EQ(hidden.segments.front(), L"\\");
}

TEST(TreePath, JoinsWithExactlyOneBackslash) {
    EXPECT_EQ(JoinPath(L"C:\\", L"*.*"), L"C:\\*.*");
    EXPECT_EQ(JoinPath(L"C:\\Work", L"*.*"), L"C:\\Work\\*.*");
    EXPECT_TRUE(IsDrivePath(L"C:\\"));
    EXPECT_FALSE(IsDrivePath(L"C:"));
    EXPECT_FALSE(IsDrivePath(L"C:\\a"));
}

// The folder a file's Properties are asked of: a drive's root keeps its backslash, or the sheet
// would be of whatever the current folder on that drive is.
TEST(TreePath, AFilesFolderIsTheOneThatHoldsIt) {
    EXPECT_EQ(FolderOf(L"C:\\Work\\a.txt"), L"C:\\Work");
    EXPECT_EQ(FolderOf(L"C:\\a.txt"), L"C:\\");
    EXPECT_EQ(FolderOf(L"\\\\server\\share\\a.txt"), L"\\\\server\\share");
    EXPECT_EQ(FolderOf(L"C:\\"), L"") << "a root is no file";
    EXPECT_EQ(FolderOf(L"a.txt"), L"");
}

}  // namespace
}  // namespace bexlo
