#include "treectrl/TreeModel.h"

#include <algorithm>

namespace bexlo {

bool CanDisplayFile(const TreeDisplayOptions& options, const ListedEntry& entry) {
    return options.showFiles == 1 && !(entry.attributes & entry_attribute::kDirectory) &&
           !(entry.attributes & options.fileHideAttributes);
}

bool CanDisplayFolder(const TreeDisplayOptions& options, const ListedEntry& entry) {
    return (entry.attributes & entry_attribute::kDirectory) && entry.name != L"." &&
           entry.name != L".." && !(entry.attributes & options.folderHideAttributes);
}

bool CanDisplayDrive(const TreeDisplayOptions& options, DriveKind kind) {
    switch (kind) {
        case DriveKind::Removable:
            return !(options.hiddenDriveTypes & 1);
        case DriveKind::Fixed:
            return !(options.hiddenDriveTypes & 2);
        case DriveKind::Remote:
            return !(options.hiddenDriveTypes & 4);
        case DriveKind::CdRom:
            return !(options.hiddenDriveTypes & 16);
        case DriveKind::RamDisk:
            return !(options.hiddenDriveTypes & 32);
        default:
            return true;
    }
}

std::uint32_t IncludedDrives(const TreeDisplayOptions& options) {
    std::uint32_t included = 0;
    for (int letter = 0; letter < kLetters; ++letter) {
        if (options.DriveIncludeFlags[static_cast<std::size_t>(letter)] == 1) {
            included |= 1u << letter;
        }
    }
    return included;
}

TreeModel::TreeModel(TreeListing& listing) : listing_(listing) {}

TreeItemData* TreeModel::Adopt(TreeItemData* parent, std::unique_ptr<TreeItemData> record) {
    TreeItemData* owner = parent != nullptr ? parent : &top_;
    TreeItemData* key = record.get();
    key->parent = owner;
    key->previous = owner->lastChild;
    key->next = nullptr;
    (owner->lastChild != nullptr ? owner->lastChild->next : owner->firstChild) = key;
    owner->lastChild = key;
    records_.emplace(key, std::move(record));
    return key;
}

void TreeModel::Unlink(TreeItemData* record) {
    if (TreeItemData* owner = record->parent; owner != nullptr) {
        (record->previous != nullptr ? record->previous->next : owner->firstChild) = record->next;
        (record->next != nullptr ? record->next->previous : owner->lastChild) = record->previous;
    }
    record->parent = record->previous = record->next = nullptr;
}

void TreeModel::Forget(TreeItemData* record) {
    auto found = records_.find(record);
    if (found == records_.end()) {
        return;
    }
    Unlink(record);
    // The platform may tell of a parent's deletion before its children's.
    for (TreeItemData* child = record->firstChild; child != nullptr;) {
        TreeItemData* next = child->next;
        child->parent = child->previous = child->next = nullptr;
        child = next;
    }
    records_.erase(found);
}

bool TreeModel::Holds(const TreeItemData* record) const {
    return record != nullptr && records_.contains(const_cast<TreeItemData*>(record));
}

void TreeModel::Clear() {
    records_.clear();
    top_.firstChild = top_.lastChild = nullptr;
}

TreeItemData* TreeModel::Parent(const TreeItemData* record) const {
    return record->parent == &top_ ? nullptr : record->parent;
}

TreeItemData* TreeModel::FirstChild(const TreeItemData* parent) const {
    return parent != nullptr ? parent->firstChild : top_.firstChild;
}

TreeItemData* TreeModel::FindChild(const TreeItemData* parent, const std::wstring& label) const {
    for (TreeItemData* child = FirstChild(parent); child != nullptr; child = child->next) {
        if (listing_.CompareLabels(child->label, label) == 0) {
            return child;
        }
    }
    return nullptr;
}

TreeItemData* TreeModel::Follow(const TreeItemData* start, const TreeWalk& walk) const {
    const TreeItemData* current = start;
    for (const std::wstring& segment : walk.segments) {
        current = FindChild(current, segment);
        if (current == nullptr) {
            return nullptr;
        }
    }
    return const_cast<TreeItemData*>(current);
}

TreeItemData* TreeModel::ServerLevel(const TreeItemData* from) const {
    std::vector<const TreeItemData*> pending{from};
    while (!pending.empty()) {
        const TreeItemData* level = pending.back();
        pending.pop_back();
        for (const TreeItemData* child = FirstChild(level); child != nullptr; child = child->next) {
            if (child->netResource && child->netResource->displayType == kNetworkServer) {
                return const_cast<TreeItemData*>(level);
            }
        }
        // Children are visited in their order: pushed last to first.
        for (const TreeItemData* child = level != nullptr ? level->lastChild : top_.lastChild;
             child != nullptr; child = child->previous) {
            pending.push_back(child);
        }
    }
    return nullptr;
}

std::vector<std::unique_ptr<TreeItemData>> TreeModel::ListFolder(
    const std::wstring& path, const TreeDisplayOptions& options) const {
    std::vector<std::unique_ptr<TreeItemData>> children;
    listing_.Find(path, L"*.*", true, [&](const ListedEntry& entry) {
        if (CanDisplayFolder(options, entry)) {
            auto record = std::make_unique<TreeItemData>();
            record->path = JoinPath(path, entry.name);
            record->label = entry.name;
            children.push_back(std::move(record));
        }
        return false;
    });
    // One n log n sort instead of a search per inserted item.
    std::sort(children.begin(), children.end(), [this](const auto& left, const auto& right) {
        if (left->sortLast != right->sortLast) {
            return right->sortLast != 0;
        }
        return listing_.CompareLabels(left->label, right->label) < 0;
    });
    return children;
}

std::vector<std::wstring> TreeModel::ListDrives(const TreeDisplayOptions& options) const {
    std::vector<std::wstring> drives;
    const std::uint32_t listed = listing_.Drives() & IncludedDrives(options);
    for (int bit = 0; bit < kLetters; ++bit) {
        if (!(listed & (1u << bit))) {
            continue;
        }
        const std::wstring path{static_cast<wchar_t>(L'A' + bit), L':', L'\\'};
        if (CanDisplayDrive(options, listing_.KindOf(path))) {
            drives.push_back(path);
        }
    }
    return drives;
}

bool TreeModel::IsRemovableOrCdDrive(const std::wstring& path) const {
    const DriveKind kind = listing_.KindOf(path);
    return kind == DriveKind::Removable || kind == DriveKind::CdRom;
}

bool TreeModel::HasSubfolders(const std::wstring& path, const TreeDisplayOptions& options) const {
    if (IsDrivePath(path) && IsRemovableOrCdDrive(path)) {
        return true;
    }
    // Files that any name shows are looked for in the same search as the folders.
    const bool anyFileName = options.fileMask == L"*.*" || options.fileMask == L"*";
    if (listing_.Find(path, L"*.*", false, [&](const ListedEntry& entry) {
            return CanDisplayFolder(options, entry) ||
                   (anyFileName && CanDisplayFile(options, entry));
        })) {
        return true;
    }
    return !anyFileName &&
           listing_.Find(path, options.fileMask, false,
                         [&](const ListedEntry& entry) { return CanDisplayFile(options, entry); });
}

bool TreeModel::IsFile(const std::wstring& path) const {
    const std::uint32_t attributes = listing_.Attributes(path);
    return attributes != entry_attribute::kInvalid && !(attributes & entry_attribute::kDirectory);
}

bool TreeModel::IsFolder(const std::wstring& path) const {
    const std::uint32_t attributes = listing_.Attributes(path);
    return attributes != entry_attribute::kInvalid && (attributes & entry_attribute::kDirectory);
}

bool TreeModel::IsCompressed(const std::wstring& path) const {
    const std::uint32_t attributes = listing_.Attributes(path);
    return !IsDrivePath(path) && attributes != entry_attribute::kInvalid &&
           (attributes & entry_attribute::kCompressed);
}

bool TreeModel::IsEncrypted(const std::wstring& path) const {
    const std::uint32_t attributes = listing_.Attributes(path);
    return !IsDrivePath(path) && attributes != entry_attribute::kInvalid &&
           (attributes & entry_attribute::kEncrypted);
}

std::vector<std::wstring> TreeModel::TickedPaths(
    const TreeItemData* parent, const std::function<bool(const TreeItemData&)>& ticked) const {
    std::vector<std::wstring> paths;
    CollectTicked(parent, ticked, paths);
    return paths;
}

void TreeModel::CollectTicked(const TreeItemData* parent,
                              const std::function<bool(const TreeItemData&)>& ticked,
                              std::vector<std::wstring>& paths) const {
    for (const TreeItemData* child = FirstChild(parent); child != nullptr; child = child->next) {
        if (ticked(*child)) {
            paths.push_back(child->path);
        } else {
            // Any listed level may hold ticks, also one filled by a path walk that never
            // expanded it on screen.
            CollectTicked(child, ticked, paths);
        }
    }
}

}  // namespace bexlo
