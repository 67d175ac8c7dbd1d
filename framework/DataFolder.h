#pragma once

// The folder the program keeps its files in, Travenor\BXL in the 64-bit Program Files folder, and
// the rule that says whether the folders on the way there may be trusted: the program runs as
// administrator, so nothing it reads there may come from someone without that right.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bexlo {

// Where every earlier version kept its files, whatever the PC.
inline constexpr wchar_t kFixedDataFolder[] = L"C:\\Program Files\\Travenor\\BXL";

// The data folder in `programFiles`, the registry's name for the 64-bit Program Files folder.
// A value that names no folder of a drive gives the fixed folder.
std::wstring DataFolderIn(std::wstring_view programFiles);

// This PC's data folder, worked out once. Windows names it from the registry's 64-bit view,
// never from the environment, which names "Program Files (x86)" to a 32-bit program; the host
// build has no registry and takes the fixed folder.
const std::wstring& DataFolder();

// A file in the data folder.
std::wstring DataFile(std::wstring_view name);

// The folders from Program Files down to `dataFolder`, outermost first: whoever owns one of them
// may change everything below it.
std::vector<std::wstring> FoldersDownTo(const std::wstring& dataFolder);

// What was found of one folder on that way.
struct FolderLook {
    enum class State { Folder, Missing, Link, Unreadable };
    State state = State::Unreadable;
    // The owner's security identifier in its text form ("S-1-5-32-544").
    std::wstring ownerSid;
};

struct FolderVerdict {
    enum class Why { Trusted, Missing, Link, Owner, Unreadable };
    Why why = Why::Trusted;
    // The first folder that failed, and its owner when the owner was the fault.
    std::wstring folder;
    std::wstring ownerSid;

    bool Trusted() const { return why == Why::Trusted; }
};

// The verdict on `folders` (outermost first), each looked at through `look`: each must be a folder
// and no link, owned by the administrators, the system, the installer service or whoever owns the
// Windows folder (who owns the PC anyway, and is the one owner a file system that keeps no owners
// shows for everything).
FolderVerdict JudgeFolders(std::span<const std::wstring> folders,
                           const std::function<FolderLook(const std::wstring&)>& look,
                           std::wstring_view windowsFolderOwner);

}  // namespace bexlo
