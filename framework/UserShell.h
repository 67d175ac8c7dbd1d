#pragma once

#include <string>

namespace bexlo {

// What the person's shell is asked to do with a path.
enum class ShellVerb {
    Explore,     // the folder in a window of its own
    Open,        // the item's default action
    Properties,  // the item's property sheet
};

// The person's own shell, which opens folders and items and shows property sheets for the
// program. The program runs elevated all day: whatever it started would run with its rights, and
// the shell looks the handlers of its verbs up in the person's own registry hive, which any
// program the person runs can write. So none of this is ever done in this process.
class UserShell {
public:
    virtual ~UserShell() = default;
    // True when the shell took the request; false when it could not be reached or did not do it,
    // and then nothing else has been tried.
    virtual bool Ask(ShellVerb verb, const std::wstring& path) = 0;
};

}  // namespace bexlo
