#pragma once

// How a path is walked down a file tree: which labels to look for, level by level. Needs no
// window, so the rules are tested on their own.

#include <string>
#include <vector>

#include "framework/LongPath.h"

namespace bexlo {

struct TreeWalk {
    enum class Outcome {
        Walk,         // look the segments up one level after another
        EmptyPath,    // nothing to look for (traced by the caller)
        OutsideRoot,  // the path is not below the configured root (traced by the caller)
        Nothing,      // nothing left once the root is taken off
    };
    Outcome outcome = Outcome::Nothing;
    // Upper-case copies, for the trace texts.
    std::wstring path;
    std::wstring root;
    // The walk starts at the root folder's own item, when there is one.
    bool fromRootItem = false;
    // The walk starts below the computer item (drive letters first).
    bool fromComputer = false;
    // The walk starts among the network servers (the path began with "\\").
    bool network = false;
    // Labels in walking order; a drive keeps its backslash ("C:\").
    std::vector<std::wstring> segments;
};

// The walk down to `path`, below `rootFolder` when one is configured.
TreeWalk PlanTreeWalk(const std::wstring& path, const std::wstring& rootFolder, bool showNetwork);

// Exactly "X:\".
bool IsDrivePath(const std::wstring& path);

}  // namespace bexlo
