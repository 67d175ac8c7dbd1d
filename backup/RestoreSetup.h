#pragma once

// Which backup the restore window shows and where its files go: on the PC that made it, its saved
// sources in their places; on another PC, the sources the backup's sources file names, each put
// where it belongs here.

#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/Restore.h"
#include "backup/SourcesFile.h"

namespace bexlo {

struct RestoreSetup {
    // The backup's folder, a plain path.
    std::wstring destination;
    // The backup's sources by their original paths, and where each goes on this PC.
    std::vector<std::wstring> sources;
    std::vector<std::wstring> places;
    // The PC the backup came from, when another PC made it.
    std::optional<PcPlaces> otherPc;
    // The choice saved here does not name these sources: once restored, they may be saved.
    bool unsaved = false;
    // Whose records in the catalog say what each file held.
    std::wstring machine;
};

// The backup in `destination` as this PC restores it. `saved` are the sources saved here for
// that destination (none when the saved choice names another). Nothing when neither they nor a
// sources file there name any source.
std::optional<RestoreSetup> SetupRestore(FileSystem& fs, const std::wstring& destination,
                                         const std::vector<std::wstring>& saved,
                                         const PcPlaces& here);

// Where each of `files` goes: below the folder picked when `elsewhere` is given, else below
// its source's place on this PC.
std::vector<RestoreItem> PlacedItems(const std::vector<FileAtMoment>& files,
                                     const RestoreSetup& setup, const std::wstring& elsewhere);

}  // namespace bexlo
