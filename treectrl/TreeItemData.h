#pragma once

#include <string>

namespace bexlo {

// What the tree keeps for each item, attached as the item's data and freed with the item.
struct TreeItemData {
    // The drive path ("C:\") for a drive, the full path without trailing backslash for a folder;
    // empty for the special items.
    std::wstring path;
    // The name the path walk matches: the drive path for a drive, the entry's name for a folder.
    std::wstring label;
    int isNetworkNode = 0;
    int extensionHidden = 0;
    int sortLast = 0;
};

}  // namespace bexlo
