#pragma once

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

// What the tree keeps for each item, attached as the item's data and freed with the item.
struct TreeItemData {
    // The drive path ("C:\") for a drive, the full path without trailing backslash for a folder;
    // empty for the special items.
    std::wstring path;
    // The name the path walk matches: the drive path for a drive, the entry's name for a folder.
    std::wstring label;
    // Items below the network item: the resource they stand for.
    std::unique_ptr<NetworkRecord> netResource;
    int isNetworkNode = 0;
    int extensionHidden = 0;
    int sortLast = 0;
};

}  // namespace bexlo
