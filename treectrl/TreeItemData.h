#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace bexlo {

// A copy of the platform's network resource record of a network item.
struct NetworkRecord {
    unsigned long scope = 0;
    unsigned long type = 0;
    unsigned long displayType = 0;
    unsigned long usage = 0;
    std::wstring localName;
    std::wstring remoteName;
    std::wstring comment;
    std::wstring provider;
};

// Whether an item shows an expand button, for items that answer only when the tree first asks.
enum class ChildButton : std::uint8_t { Unknown, Shown, Hidden };

// What the tree keeps for each item, attached as the item's data and freed with the item.
struct TreeItemData {
    // The drive path ("C:\") for a drive, the full path without trailing backslash for a folder;
    // empty for the special items.
    std::wstring path;
    // The name the path walk matches: the drive path for a drive, the entry's name for a folder.
    std::wstring label;
    // Items below the network item: the resource they stand for.
    std::unique_ptr<NetworkRecord> netResource;
    std::uint8_t isNetworkNode = 0;
    std::uint8_t extensionHidden = 0;
    std::uint8_t sortLast = 0;
    // Whether the item shows its expand button; Unknown until the tree first asks about an item
    // that answers on demand, then the answer of one search. The record of a relisted item is
    // new, so a change on disk is seen at the next refresh.
    mutable ChildButton button = ChildButton::Unknown;

    // Kept by the model: where the record hangs, null where it hangs nowhere.
    TreeItemData* parent = nullptr;
    TreeItemData* firstChild = nullptr;
    TreeItemData* lastChild = nullptr;
    TreeItemData* previous = nullptr;
    TreeItemData* next = nullptr;
    // The view's own handle of the item that shows the record.
    void* viewItem = nullptr;
};

}  // namespace bexlo
