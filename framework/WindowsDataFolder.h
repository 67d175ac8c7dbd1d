#pragma once

// The data folder on the disk: who owns each folder on the way to it, and making what is missing
// of it.

#include <string>

#include "framework/DataFolder.h"

namespace bexlo {

// The folder as it is, its owner read through a handle and its being a link read from its
// parent's listing too: Wine opens a link's target whatever the flags, and only the listing shows
// the link.
FolderLook LookAtFolder(const std::wstring& folder);

// The account a security identifier in its text form names, as people know it ("PC\\eve"); the
// identifier itself when it names none.
std::wstring AccountName(const std::wstring& sid);

// The verdict on the folders from Program Files down to `dataFolder`.
FolderVerdict CheckDataFolder(const std::wstring& dataFolder = DataFolder());

// Makes whichever of `dataFolder` and the folder holding it is missing, inside folders that pass
// the check, owned by the administrators, and the data folder with the access list Setup gives
// it; then checks them all.
FolderVerdict PrepareDataFolder(const std::wstring& dataFolder = DataFolder());

}  // namespace bexlo
