#pragma once

// What Save refuses, so that every list it writes is one the next press can read and back up
// without mixing sources.

#include <optional>
#include <string>
#include <vector>

namespace bexlo {

struct SaveRefusal {
    enum class Why {
        Overlaps,      // a source holds the destination or lies inside it
        SameName,      // two sources would share one backup folder
        TooLong,       // a path longer than path.txt's records hold
        VersionsName,  // a source named as the destination's folder of earlier versions
    };
    Why why = Why::Overlaps;
    // The paths concerned, in saved order.
    std::vector<std::wstring> paths;
};

// The first reason not to save these, if any.
std::optional<SaveRefusal> CheckSavedPaths(const std::wstring& target,
                                           const std::vector<std::wstring>& sources);

}  // namespace bexlo
