#pragma once

// Files found to read back different from what was written go aside into "Bexlo versions\Damaged",
// below the folder of the day they were put there, by their path below the backup folder or the
// versions folder. Nothing there is a version: thinning and a restore never take it for one.

#include <cstdint>
#include <string>

#include "backup/FileSystem.h"

namespace bexlo {

inline constexpr wchar_t kDamagedFolderName[] = L"Damaged";

// Moves `path` to "<versions folder>\Damaged\<when's press folder name>\<relative>", the folders
// on the way made, a taken name numbered. False, with LastError telling why, when it could not be
// moved: the file stays where it was.
bool PutAsideDamaged(FileSystem& fs, const std::wstring& versionsFolder, const std::wstring& path,
                     const std::wstring& relative, std::int64_t when);

}  // namespace bexlo
