#pragma once

#include <cstdint>
#include <string>

namespace bexlo {

// The rules by which copies of the program find each other, apart from the calls that ask the
// system: a starting copy defers only to what no program without administrator rights can make.

// Who holds this session's instance lock as a copy starts.
enum class LockHolder {
    ThisCopy,        // this copy made it: no copy with rights holds it
    CopyWithRights,  // another copy with administrator rights, starting or running
    Someone,         // another program's object of that name, or none this copy could take
};

// The owner of an object that existed before this copy asked for it.
enum class ObjectOwner { Administrators, System, Other };

// Who holds a lock this copy asked for: made now, or found made before and readable (`owner`),
// or found and out of reach. Only administrators and the system can give an object their owner,
// so another owner is a program of anybody's that took the name first.
LockHolder LockHolderOf(bool madeNow, bool readable, ObjectOwner owner);

// What a top-level window is, as far as a starting copy asks.
struct WindowFacts {
    std::wstring className;
    std::wstring caption;
    bool sameProgram = false;  // its process runs this copy's own program file
    bool withRights = false;   // its process has administrator rights
};

enum class CopyRights { Any, Administrators };

// Whether `window` is the main window of a copy of this program: a dialog captioned `caption`
// whose process runs this same program file, with administrator rights when `rights` asks.
bool IsProgramWindow(const WindowFacts& window, const std::wstring& caption, CopyRights rights);

// Whether a starting copy is a second copy and ends (bringing the first copy's window forward
// when it found one): when a copy with rights shows its window, or holds the lock.
bool StartsAsSecondCopy(LockHolder lock, bool firstCopyWindowFound);

// Whether a token's Administrators group with these attributes gives its process the rights:
// enabled, and not kept only to deny access as in the token of a program started without them.
bool GroupGivesRights(std::uint32_t attributes);

}  // namespace bexlo
