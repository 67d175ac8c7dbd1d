#pragma once

#include "framework/UserShell.h"

namespace bexlo {

// The shell of the person's desktop (Explorer), reached through its desktop window: the folder
// or the sheet opens in that process, with the person's own rights. It keeps nothing between
// requests, so an Explorer started again since is found as well. The calling thread has COM as a
// single-threaded apartment.
class DesktopShell final : public UserShell {
public:
    bool Ask(ShellVerb verb, const std::wstring& path) override;
};

}  // namespace bexlo
