#pragma once

// What the files of the Windows file system share: which file a handle is, and how data passes.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "framework/Handles.h"

namespace bexlo::windows_files {

// The folder a path leads to, links followed, open for its attributes to be asked.
UniqueFileHandle OpenFolder(const std::wstring& folder);

// The volume and the file a handle is open on.
std::optional<FileId> IdentityOf(HANDLE handle);

// The 64-bit id of the file a handle is open on, as a listing gives it; 0 when it cannot be asked.
std::uint64_t FileIndexOf(HANDLE handle);

// What a record keeps of the file a handle is open on.
std::optional<FileState> StateOfHandle(HANDLE handle);

// Where an open file or folder is, links followed: its volume and its path on that volume.
struct Place {
    std::uint64_t volume = 0;
    std::wstring path;
};
std::optional<Place> PlaceOf(HANDLE handle);

// Reads from the handle's position to the end into the hasher; with `to`, writes each piece there
// too. `buffer` is the size of a piece.
bool PassData(HANDLE from, HANDLE to, std::vector<std::uint8_t>& buffer, ContentHasher* hasher);

}  // namespace bexlo::windows_files
