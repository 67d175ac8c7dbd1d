#pragma once

// Where a PC keeps a person's files: its name and identity, the person's profile folder and the
// places of the known folders (Documents, Pictures, Desktop and the like, wherever they were
// redirected). A backup carries the PC's, so that a new PC can put its sources back in place.

#include <string>
#include <utility>
#include <vector>

namespace bexlo {

struct PcPlaces {
    std::wstring name;
    std::wstring identity;
    std::wstring profile;
    // By the known folder's name ("Documents"), its full path.
    std::vector<std::pair<std::wstring, std::wstring>> known;

    bool operator==(const PcPlaces&) const = default;
};

// This PC's, for the person logged on; parts that cannot be read are left empty.
PcPlaces ThisPcPlaces();

}  // namespace bexlo
