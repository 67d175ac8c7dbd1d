#pragma once

// The sources file inside the versions folder: which PC the backup came from, its saved sources
// with their full paths, the person's profile folder and the known folders' places there. Written
// at each press and readable by a person, so that a new PC can put the sources back where they
// belong.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "framework/PcPlaces.h"

namespace bexlo {

inline constexpr wchar_t kSourcesFileName[] = L"Sources of this backup.txt";

struct BackupSources {
    PcPlaces pc;
    std::vector<std::wstring> sources;

    bool operator==(const BackupSources&) const = default;
};

// UTF-16LE with a byte-order mark: a header line, then one "key<TAB>value" line each.
std::vector<std::uint8_t> FormatSourcesFile(const BackupSources& sources);
// Nothing for a file that is not one; lines that are not ours are passed over.
std::optional<BackupSources> ParseSourcesFile(std::span<const std::uint8_t> bytes);

// Writes the file into the versions folder of `destination` when that is a folder
// of its own; false when it could not be written there.
bool WriteSourcesFile(FileSystem& fs, const std::wstring& destination,
                      const BackupSources& sources);
// The file of the backup in `destination`; nothing when there is none that reads as one.
std::optional<BackupSources> ReadSourcesFile(FileSystem& fs, const std::wstring& destination);

// Where a source of the backup's PC belongs on this one: its own path, unless it lies in a known
// folder of that PC (or, failing one, its profile) that is not here; then the same place in this
// person's known folder of that name, or profile.
std::wstring PlaceOnThisPc(const std::wstring& source, const PcPlaces& from, const PcPlaces& here,
                           const std::function<bool(const std::wstring&)>& exists);

}  // namespace bexlo
