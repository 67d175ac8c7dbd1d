#pragma once

// The folders the program writes in, each opened relative to its parent's handle without
// following a link, and held open without leave to delete, so that no other program can rename
// one or swap it for a link while files are made, renamed or removed in it. Every change below a
// folder goes relative to its held handle.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace bexlo::windows_files {

// An open handle that whoever uses it keeps open, whatever the cache lets go of meanwhile.
using SharedHandle = std::shared_ptr<UniqueFileHandle>;

// An entry by its name in a held folder.
struct InFolder {
    SharedHandle folder;
    std::wstring name;
};

// How a relative open treats what is there already.
enum class NameUse { OpenExisting, CreateNew };
// What a relative open expects.
enum class EntryKind { File, Folder, Either };

// Opens `name` in `folder` (no path in the name), never through a link: a link is opened as
// itself. Nothing, with the last error set, on failure.
UniqueFileHandle OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                              DWORD share, NameUse use, EntryKind kind);

// Gives the open file or folder the name `name` in `folder`, replacing a file there only with
// `replace`. Where the platform refuses a rename relative to a folder's handle, the rename goes
// by `fullPath`, once the folder that path names has been found, on an open handle, to be
// `folder` itself.
bool RenameRelative(HANDLE file, HANDLE folder, const std::wstring& name,
                    const std::wstring& fullPath, bool replace);

// Clears the read-only, hidden and system bits of an open file: a file with them can be neither
// replaced nor removed.
void AllowChangesByHandle(HANDLE file);

// Removes the open file or folder, opened with leave to delete, through its handle.
bool DeleteByHandle(HANDLE file);

class HeldFolders {
public:
    // Folders whose own path the press accepted as it is (a saved source that was a link when it
    // was saved is reached through it); below them, and below a drive's root for every other
    // path, no link is followed.
    void SetRoots(const std::vector<std::wstring>& roots);
    // The folder that holds `path` and the entry's name in it. Nothing, with the last error set,
    // when a folder on the way cannot be opened or is a link (access denied).
    std::optional<InFolder> ParentOf(const std::wstring& path);
    // Lets go of the folder and of every one held below it, before it is removed or renamed.
    void Release(const std::wstring& folder);

private:
    struct Held {
        // The plain path, folded as the platform compares names.
        std::wstring key;
        SharedHandle handle;
    };
    static constexpr std::size_t kHeld = 64;

    SharedHandle Folder(const std::wstring& plain);
    SharedHandle Find(const std::wstring& key);
    void Keep(std::wstring key, const SharedHandle& handle);

    std::mutex mutex_;
    std::vector<Held> roots_;
    // The most recently used last.
    std::deque<Held> held_;
};

}  // namespace bexlo::windows_files
