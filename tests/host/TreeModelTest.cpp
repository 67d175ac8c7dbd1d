#include "treectrl/TreeModel.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "framework/NameCase.h"
#include "tests/host/MemoryFileSystem.h"

namespace bexlo {
namespace {

using Names = std::vector<std::wstring>;

// `*` and `?` as the platform's file search takes them; "*.*" takes names without a dot too.
bool Matches(const wchar_t* mask, const wchar_t* name) {
    if (*mask == L'\0') {
        return *name == L'\0';
    }
    if (*mask == L'*') {
        return Matches(mask + 1, name) || (*name != L'\0' && Matches(mask, name + 1));
    }
    return *name != L'\0' && (*mask == L'?' || FoldCase({mask, 1}) == FoldCase({name, 1})) &&
           Matches(mask + 1, name + 1);
}

// The in-memory disks as the tree lists them.
class MemoryListing : public TreeListing {
public:
    MemoryFileSystem fs;
    std::uint32_t drives = 0;
    std::map<wchar_t, DriveKind> kinds;

    std::uint32_t Drives() override { return drives; }
    DriveKind KindOf(const std::wstring& path) override {
        auto found = kinds.find(path[0]);
        return found != kinds.end() ? found->second : DriveKind::Fixed;
    }
    bool Find(const std::wstring& folder, const std::wstring& mask, bool,
              const std::function<bool(const ListedEntry&)>& visit) override {
        const auto entries = fs.List(folder);
        if (!entries) {
            return false;
        }
        // The platform lists a folder's own two entries first, except at a drive's root.
        if (!IsDrivePath(folder)) {
            for (const wchar_t* dots : {L".", L".."}) {
                if (visit({dots, entry_attribute::kDirectory})) {
                    return true;
                }
            }
        }
        for (const FileEntry& entry : *entries) {
            if (Matches(mask == L"*.*" ? L"*" : mask.c_str(), entry.name.c_str()) &&
                visit({entry.name, AttributesOf(entry)})) {
                return true;
            }
        }
        return false;
    }
    std::uint32_t Attributes(const std::wstring& path) override {
        if (IsDrivePath(path)) {
            return fs.List(path) ? entry_attribute::kDirectory : entry_attribute::kInvalid;
        }
        const auto entry = fs.Find(path);
        return entry ? AttributesOf(*entry) : entry_attribute::kInvalid;
    }
    int CompareLabels(const std::wstring& a, const std::wstring& b) const override {
        return FoldCase(a).compare(FoldCase(b));
    }

private:
    static std::uint32_t AttributesOf(const FileEntry& entry) {
        return (entry.folder ? entry_attribute::kDirectory : 0) |
               (entry.hidden ? entry_attribute::kHidden : 0) |
               (entry.system ? entry_attribute::kSystem : 0) |
               (entry.encrypted ? entry_attribute::kEncrypted : 0);
    }
};

std::uint32_t Bit(wchar_t letter) {
    return 1u << (letter - L'A');
}

class TreeModelTest : public testing::Test {
protected:
    MemoryListing listing;
    TreeModel model{listing};
    TreeDisplayOptions options;

    Names Labels(const std::vector<std::unique_ptr<TreeItemData>>& records) {
        Names labels;
        for (const auto& record : records) {
            labels.push_back(record->label);
        }
        return labels;
    }
    Names ChildLabels(const TreeItemData* parent) {
        Names labels;
        for (auto* child = model.FirstChild(parent); child; child = TreeModel::NextSibling(child)) {
            labels.push_back(child->label);
        }
        return labels;
    }
    // Lists `path`'s level below `parent`, as opening its item does.
    TreeItemData* Open(TreeItemData* parent, const std::wstring& path) {
        for (auto& record : model.ListFolder(path, options)) {
            model.Adopt(parent, std::move(record));
        }
        return parent;
    }
    TreeItemData* AddDrive(const std::wstring& drive) {
        auto record = std::make_unique<TreeItemData>();
        record->path = record->label = drive;
        return model.Adopt(nullptr, std::move(record));
    }
};

TEST_F(TreeModelTest, ListsOnlyIncludedDrivesOfShownKindsInLetterOrder) {
    listing.drives = Bit('C') | Bit('E') | Bit('F') | Bit('G') | Bit('Z');
    for (wchar_t letter : {L'E', L'F', L'G'}) {
        options.DriveIncludeFlags[static_cast<size_t>(letter - L'A')] = 1;
    }
    EXPECT_EQ(model.ListDrives(options), (Names{L"E:\\", L"F:\\", L"G:\\"}));

    options.DriveIncludeFlags[static_cast<size_t>('F' - 'A')] = 2;
    EXPECT_EQ(model.ListDrives(options), (Names{L"E:\\", L"G:\\"}))
        << "only a flag of exactly 1 lists a drive";

    listing.kinds[L'E'] = DriveKind::Removable;
    listing.kinds[L'G'] = DriveKind::CdRom;
    options.hiddenDriveTypes = 16;
    EXPECT_EQ(model.ListDrives(options), Names{L"E:\\"}) << "CD drives hidden";
    options.hiddenDriveTypes = 1 | 2;
    EXPECT_EQ(model.ListDrives(options), Names{L"G:\\"}) << "removable and fixed drives hidden";
}

// Files are not listed; a folder shows its expand button when anything below it shows.
TEST_F(TreeModelTest, ListsVisibleFoldersSortedWithoutCaseAndGivesTheirButtons) {
    for (const wchar_t* folder : {L"E:\\t\\Banana", L"E:\\t\\apple", L"E:\\t\\Cherry",
                                  L"E:\\t\\hidden", L"E:\\t\\system"}) {
        listing.fs.AddFolder(folder);
    }
    listing.fs.AddFile(L"E:\\t\\apple\\a.txt", "a", 0);
    listing.fs.AddFile(L"E:\\t\\file.txt", "not a folder", 0);
    listing.fs.Mark(L"E:\\t\\hidden", {.hidden = true});
    listing.fs.Mark(L"E:\\t\\system", {.system = true});
    const auto listed = model.ListFolder(L"E:\\t", options);
    ASSERT_EQ(Labels(listed), (Names{L"apple", L"Banana", L"Cherry"}));
    EXPECT_EQ(listed.front()->path, L"E:\\t\\apple");
    EXPECT_EQ(listed.front()->button, ChildButton::Unknown) << "asked when first shown";
    EXPECT_EQ(Labels(model.ListFolder(L"E:\\", options)), Names{L"t"}) << "a drive's level";

    EXPECT_TRUE(model.HasSubfolders(L"E:\\t\\apple", options)) << "a file shows below it";
    EXPECT_FALSE(model.HasSubfolders(L"E:\\t\\Banana", options));
    options.fileMask = L"*.doc";
    EXPECT_FALSE(model.HasSubfolders(L"E:\\t\\apple", options)) << "no file the mask shows";
    options.fileMask = L"a.*";
    EXPECT_TRUE(model.HasSubfolders(L"E:\\t\\apple", options));
    options.showFiles = 0;
    EXPECT_FALSE(model.HasSubfolders(L"E:\\t\\apple", options));
    options.folderHideAttributes = 0;
    EXPECT_TRUE(model.HasSubfolders(L"E:\\t", options));
    EXPECT_EQ(model.ListFolder(L"E:\\t", options).size(), 5u) << "nothing hidden by attributes";

    listing.kinds[L'F'] = DriveKind::Removable;
    EXPECT_TRUE(model.HasSubfolders(L"F:\\", options)) << "a removable drive is asked once open";
    EXPECT_TRUE(model.IsFolder(L"E:\\t") && model.IsFile(L"E:\\t\\file.txt"));
    EXPECT_FALSE(model.IsFolder(L"E:\\gone") || model.IsFile(L"E:\\gone"));
}

// The host tests of the walk hold its segments; here, the records they lead to.
TEST_F(TreeModelTest, PathsLeadToTheirRecordsWhateverTheirCaseAndForgottenOnesLeadNowhere) {
    listing.fs.AddFolder(L"E:\\Work\\Docs");
    listing.fs.AddFolder(L"E:\\Work\\Music");
    TreeItemData* drive = Open(AddDrive(L"E:\\"), L"E:\\");
    TreeItemData* work = Open(model.FindChild(drive, L"WORK"), L"E:\\Work");
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(model.Parent(work), drive);
    EXPECT_EQ(model.Parent(drive), nullptr);

    TreeItemData* docs = model.Follow(nullptr, PlanTreeWalk(L"e:\\work\\docs\\", L"", false));
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(docs->path, L"E:\\Work\\Docs");
    EXPECT_EQ(model.Follow(work, PlanTreeWalk(L"e:\\work\\music", L"E:\\Work", false)),
              model.FindChild(work, L"music"))
        << "a walk below a root starts at the root's record";
    EXPECT_EQ(model.Follow(nullptr, PlanTreeWalk(L"E:\\Work\\Films", L"", false)), nullptr);

    // The platform tells of deletions children first or parent first: either way nothing
    // below a forgotten record is found, and the rest stays in order.
    model.Forget(work);
    EXPECT_EQ(model.Follow(nullptr, PlanTreeWalk(L"E:\\Work\\Docs", L"", false)), nullptr);
    EXPECT_EQ(model.Parent(docs), nullptr);
    model.Forget(docs);
    EXPECT_FALSE(model.Holds(docs));
    EXPECT_EQ(model.Size(), 2u) << "the drive and Music, which hangs nowhere now";
    listing.fs.AddFolder(L"E:\\Apps");
    listing.fs.AddFolder(L"E:\\Zoo");
    Open(drive, L"E:\\");
    EXPECT_EQ(ChildLabels(drive), (Names{L"Apps", L"Work", L"Zoo"}));
    model.Forget(model.FindChild(drive, L"Work"));
    EXPECT_EQ(ChildLabels(drive), (Names{L"Apps", L"Zoo"}));
    model.Clear();
    EXPECT_EQ(model.FirstChild(nullptr), nullptr);
}

// A relisting takes the ticks below the changed folder first and ticks those paths again.
TEST_F(TreeModelTest, TickedPathsStandForTheirWholeSubtreeAndSurviveARelisting) {
    for (const wchar_t* folder : {L"E:\\A\\B\\x", L"E:\\A\\C", L"E:\\D\\E"}) {
        listing.fs.AddFolder(folder);
    }
    TreeItemData* drive = Open(AddDrive(L"E:\\"), L"E:\\");
    TreeItemData* a = Open(model.FindChild(drive, L"A"), L"E:\\A");
    Open(model.FindChild(a, L"B"), L"E:\\A\\B");
    Open(model.FindChild(drive, L"D"), L"E:\\D");
    std::set<std::wstring> ticks{L"E:\\A\\B", L"E:\\A\\B\\x", L"E:\\D\\E"};
    const auto ticked = [&](const TreeItemData& record) { return ticks.count(record.path) > 0; };
    const Names before = model.TickedPaths(drive, ticked);
    EXPECT_EQ(before, (Names{L"E:\\A\\B", L"E:\\D\\E"}))
        << "a ticked folder stands for what is below it";

    while (TreeItemData* child = model.FirstChild(drive)) {
        model.Forget(child);
    }
    listing.fs.AddFolder(L"E:\\New");
    Open(drive, L"E:\\");
    ticks.clear();
    for (const std::wstring& path : before) {
        // Walked down again, each level listed on the way, as selecting the path does.
        TreeItemData* level = drive;
        const TreeWalk walk = PlanTreeWalk(path, L"", false);
        for (size_t i = 1; i < walk.segments.size() && level != nullptr; ++i) {
            TreeItemData* next = model.FindChild(level, walk.segments[i]);
            if (next != nullptr && model.FirstChild(next) == nullptr) {
                Open(next, next->path);
            }
            level = next;
        }
        ASSERT_NE(level, nullptr) << path;
        ticks.insert(level->path);
    }
    EXPECT_EQ(model.TickedPaths(nullptr, ticked), before);
}

TEST_F(TreeModelTest, ANetworkWalkStartsAtTheFirstListedLevelThatHoldsServers) {
    auto add = [&](TreeItemData* parent, const wchar_t* label, unsigned long type) {
        auto record = std::make_unique<TreeItemData>();
        record->label = label;
        record->netResource = std::make_unique<NetworkRecord>();
        record->netResource->displayType = type;
        return model.Adopt(parent, std::move(record));
    };
    TreeItemData* network = add(nullptr, L"Network", 0);
    EXPECT_EQ(model.ServerLevel(network), nullptr) << "nothing listed yet";
    TreeItemData* first = add(network, L"Provider", 1);
    TreeItemData* second = add(network, L"Other provider", 1);
    TreeItemData* domain = add(first, L"DOMAIN", 1);
    add(second, L"SERVER2", kNetworkServer);
    add(domain, L"SERVER1", kNetworkServer);
    EXPECT_EQ(model.ServerLevel(network), domain) << "depth first, in the listed order";
    add(network, L"SERVER0", kNetworkServer);
    EXPECT_EQ(model.ServerLevel(network), network) << "its own level first";
}

}  // namespace
}  // namespace bexlo
