#pragma once

// The file tree without a window: the item records and how they hang together, the walk from a
// path to its record, what a listing shows and the ticked paths below a record. The view mirrors
// these records in the platform's tree; the drives and folders come through a TreeListing, the
// machine's own or, in the tests, in-memory disks.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "treectrl/TreeItemData.h"
#include "treectrl/TreePath.h"
#include "treectrl/TreeRules.h"

namespace bexlo {

inline constexpr int kDriveSlots = 27;

// Attribute bits of a listed entry, as the platform's file system gives them.
namespace entry_attribute {
inline constexpr std::uint32_t kHidden = 0x2;
inline constexpr std::uint32_t kSystem = 0x4;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kCompressed = 0x800;
inline constexpr std::uint32_t kEncrypted = 0x4000;
inline constexpr std::uint32_t kInvalid = 0xFFFFFFFF;
}  // namespace entry_attribute

struct ListedEntry {
    std::wstring name;
    std::uint32_t attributes = 0;
};

enum class DriveKind { Unknown, Removable, Fixed, Remote, CdRom, RamDisk, Other };

// Where the tree's drives and folders come from.
class TreeListing {
public:
    virtual ~TreeListing() = default;
    // The drives present, bit 0 for A.
    virtual std::uint32_t Drives() = 0;
    virtual DriveKind KindOf(const std::wstring& path) = 0;
    // Calls `visit` with each entry of `folder` whose name `mask` matches until it returns true;
    // true when it did. `wholeLevel` says the level is read to its end, not only its start.
    virtual bool Find(const std::wstring& folder, const std::wstring& mask, bool wholeLevel,
                      const std::function<bool(const ListedEntry&)>& visit) = 0;
    // kInvalid when there is nothing at `path`.
    virtual std::uint32_t Attributes(const std::wstring& path) = 0;
    // Labels compare as the platform's shell compares them: below, equal or above zero.
    virtual int CompareLabels(const std::wstring& a, const std::wstring& b) const = 0;
};

// The owner's switches of what the tree shows.
struct TreeDisplayOptions {
    std::array<int, kDriveSlots> DriveIncludeFlags{};
    int showFiles = 1;
    int hiddenDriveTypes = 0;
    std::uint32_t fileHideAttributes = 0x1106;
    std::uint32_t folderHideAttributes = 0x1106;
    std::wstring fileMask = L"*.*";
};

bool CanDisplayFile(const TreeDisplayOptions& options, const ListedEntry& entry);
bool CanDisplayFolder(const TreeDisplayOptions& options, const ListedEntry& entry);
bool CanDisplayDrive(const TreeDisplayOptions& options, DriveKind kind);
inline constexpr int kLetters = 26;
// The drive letters whose include flag is exactly 1, bit 0 for A.
std::uint32_t IncludedDrives(const TreeDisplayOptions& options);

class TreeModel {
public:
    explicit TreeModel(TreeListing& listing);
    TreeModel(const TreeModel&) = delete;
    TreeModel& operator=(const TreeModel&) = delete;

    TreeListing& Listing() const { return listing_; }

    // Takes `record` as the last child of `parent` (null: the top level).
    TreeItemData* Adopt(TreeItemData* parent, std::unique_ptr<TreeItemData> record);
    // Frees a record; its children, when they are still held, stay until they are forgotten in
    // turn, but no longer hang below it. Nothing for a record the model does not hold.
    void Forget(TreeItemData* record);
    bool Holds(const TreeItemData* record) const;
    void Clear();
    std::size_t Size() const { return records_.size(); }

    // Null for the top level or a record that lost its parent.
    TreeItemData* Parent(const TreeItemData* record) const;
    TreeItemData* FirstChild(const TreeItemData* parent) const;
    static TreeItemData* NextSibling(const TreeItemData* record) { return record->next; }
    // The child of `parent` (null: the top level) that carries `label`, in any case.
    TreeItemData* FindChild(const TreeItemData* parent, const std::wstring& label) const;
    // Follows `walk` from `start` (null: the top level) through the listed levels; null when a
    // segment is not listed.
    TreeItemData* Follow(const TreeItemData* start, const TreeWalk& walk) const;
    // The listed level below `from` (null: the top level) that holds network servers, its own
    // first, then depth first; null when none does.
    TreeItemData* ServerLevel(const TreeItemData* from) const;

    // What a folder's level shows: its folders, in label order, each without an answer yet on
    // its expand button.
    std::vector<std::unique_ptr<TreeItemData>> ListFolder(const std::wstring& path,
                                                          const TreeDisplayOptions& options) const;
    // The drives the options let show, in letter order.
    std::vector<std::wstring> ListDrives(const TreeDisplayOptions& options) const;
    // Whether the item of `path` shows an expand button: something below it shows, or it is a
    // removable or CD drive (asked once opened).
    bool HasSubfolders(const std::wstring& path, const TreeDisplayOptions& options) const;
    bool IsRemovableOrCdDrive(const std::wstring& path) const;
    // The attribute tests of the item commands and the drawing; a drive is none of the last two.
    bool IsFile(const std::wstring& path) const;
    bool IsFolder(const std::wstring& path) const;
    bool IsCompressed(const std::wstring& path) const;
    bool IsEncrypted(const std::wstring& path) const;

    // The paths of the ticked records below `parent`, a ticked record standing for everything
    // below it.
    std::vector<std::wstring> TickedPaths(
        const TreeItemData* parent, const std::function<bool(const TreeItemData&)>& ticked) const;

private:
    void Unlink(TreeItemData* record);
    void CollectTicked(const TreeItemData* parent,
                       const std::function<bool(const TreeItemData&)>& ticked,
                       std::vector<std::wstring>& paths) const;

    TreeListing& listing_;
    // Stands for the top level: the parent of the top-level records.
    TreeItemData top_;
    // Every record, keyed by itself: the view hands back the pointers it was given.
    std::unordered_map<TreeItemData*, std::unique_ptr<TreeItemData>> records_;
};

}  // namespace bexlo
