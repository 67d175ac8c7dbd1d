#pragma once

// Which PC this is, for the records it keeps on a destination that other PCs may back up into
// too: the identity Windows gives the installation, which outlives renaming the computer.

#include <string>

namespace bexlo {

// The installation's machine GUID; the computer's name where none can be read.
std::wstring MachineIdentity();

}  // namespace bexlo
