#pragma once

// The platform refuses plain paths past 259 characters (247 for a new folder) unless they are
// written in its long form, "\\?\C:\..." or "\\?\UNC\server\share\...". Every file call takes
// the long form; people, and the files the program keeps, see the plain one.

#include <cstddef>
#include <string>

namespace bexlo {

// The long form of a full path ("C:\..." or "\\server\share\..."); any other path as it is.
std::wstring LongPath(const std::wstring& path);
// The plain form of a path, long or not.
std::wstring PlainPath(const std::wstring& path);
// The native form the platform's rename-by-handle takes: "\??\C:\...".
std::wstring NativePath(const std::wstring& path);
// "C:\Work" + "*.*" gives "C:\Work\*.*"; "C:\" + "*.*" gives "C:\*.*".
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// The folder that holds the last name of `path`: "C:\Work\a.txt" gives "C:\Work", "C:\a.txt"
// gives "C:\" (alone, "C:" is the current folder on C:). Empty when `path` ends with a backslash
// or has none.
std::wstring FolderOf(const std::wstring& path);
// How many characters of a path are its root, "\" included: "C:\" 3, "\\?\C:\" 7; 0 for a path
// without a drive root.
std::size_t RootLength(const std::wstring& path);

}  // namespace bexlo
