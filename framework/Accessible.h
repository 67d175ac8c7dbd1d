#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace bexlo {

// What a screen reader is told of a control beyond what the platform tells of its kind: a name
// in the chosen language, a role, and for some a value read when it is asked for.
struct AccessibleFacts {
    std::wstring name;
    // ROLE_SYSTEM_*; 0 leaves the platform's.
    LONG role = 0;
    // None leaves the platform's.
    std::wstring (*value)(HWND window) = nullptr;
};

// The answer to WM_GETOBJECT for the client object of `window`: the platform's own object for
// the control, with `facts` laid over it. None when the platform made no object.
std::optional<LRESULT> AnswerAccessibleObject(HWND window, WPARAM flags,
                                              const AccessibleFacts& facts);

}  // namespace bexlo
