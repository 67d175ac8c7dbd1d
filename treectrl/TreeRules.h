#pragma once

// The rules behind the tree's item commands, drag and drop and network items that need no
// window, so they are tested on their own.

#include <cstddef>
#include <string>

namespace bexlo {

// What the command rules need to know of the selected item.
struct TreeItemFacts {
    bool selected = false;
    bool drive = false;
    bool networkNode = false;
    // The display type of the item's network record; -1 when it has none.
    int networkDisplayType = -1;
};

// The owner's switches for the item commands.
struct TreeCommandGates {
    int allowOpen = 0;
    int allowDelete = 0;
    int allowRename = 0;
    int allowProperties = 1;
};

// Display types of network records the tree tells apart; all others are containers.
inline constexpr unsigned long kNetworkServer = 2;
inline constexpr unsigned long kNetworkShare = 3;

// Whether the menu entry of `command` (open, delete, rename, properties) is enabled.
bool TreeCommandEnabled(int command, const TreeCommandGates& gates, const TreeItemFacts& item);
// Rename and delete act on files and folders only.
bool CanRenameOrDelete(const TreeItemFacts& item);

// A name a file or folder can carry: not empty, none of \ / : * ? " < > | or a control
// character, not "." or "..", no trailing space or dot (the file system would drop them) and not a
// device name such as CON or LPT1.
bool IsValidFileName(const std::wstring& name);

// The extension of a name or path with its dot (".txt"); empty when there is none. A leading dot
// ("\.profile") starts the name, not an extension.
std::wstring FileExtension(const std::wstring& nameOrPath);

struct FileLabel {
    std::wstring text;
    int extensionHidden = 0;
};
// The text a file's item shows: mode 0 without the extension, mode 1 the full name, mode 2 the
// shell's title for it.
FileLabel LabelForFile(const std::wstring& name, int fileNameMode, const std::wstring& shellTitle);

struct RenamePlan {
    std::wstring target;
    std::wstring label;
};
// Where an item renamed to `typed` goes, and its new label. A label that hides the extension
// keeps the source's extension on disk.
RenamePlan PlanRename(const std::wstring& source, const std::wstring& parentPath,
                      const std::wstring& typed, bool extensionHidden);

enum class NetworkEntryKind { Share, Server, Container };
struct NetworkEntryNames {
    NetworkEntryKind kind = NetworkEntryKind::Container;
    std::wstring path;
    std::wstring label;
    // The path the icons are asked for; empty for a container (the network folder's icons).
    std::wstring iconPath;
};
// How a network resource record is named in the tree.
NetworkEntryNames NameNetworkEntry(const std::wstring& remoteName, const std::wstring& comment,
                                   unsigned long displayType);

// The platform's "more data" answer.
inline constexpr unsigned long kMoreData = 234;
inline constexpr std::size_t kNetworkBufferStart = 16384;
// No enumeration needs more; a platform that keeps asking for more gets its answer back.
inline constexpr std::size_t kNetworkBufferLimit = std::size_t{1} << 24;

// Calls `read(bytes)` with a buffer size that starts at `startBytes` and doubles while the answer
// is kMoreData, up to `limitBytes`; returns the last answer.
template <typename Read>
unsigned long ReadDoubling(std::size_t startBytes, std::size_t limitBytes, Read read) {
    for (std::size_t bytes = startBytes;; bytes *= 2) {
        const unsigned long answer = read(bytes);
        if (answer != kMoreData || bytes * 2 > limitBytes) {
            return answer;
        }
    }
}

enum class AutoScroll { None, Up, Down };
// The scroll a drag asks for with the cursor at `cursorY` in the client area: up within two item
// heights of the top (unless the first item shows already), down within two of the bottom.
AutoScroll AutoScrollFor(int cursorY, int clientHeight, int itemHeight, bool firstItemShown);

}  // namespace bexlo
