#pragma once

#include <windows.h>

#include <string>

#include "framework/Handles.h"

namespace bexlo {

// How Setup ends this copy from another session or desktop, where no message of its own reaches
// the copy's window: an event named after the process that only the administrators and the system
// may set. Set, it asks the copy's window for Exit as the tray menu does, so that a copy busy with
// a backup refuses as it would there.
class ExitSignal {
public:
    // Made on the thread that shows the copy's windows.
    ExitSignal();

    // Whether the event is there for Setup to set.
    bool Listening() const { return wait_.Valid(); }

private:
    static void CALLBACK OnSet(void* desktop, BOOLEAN timedOut);

    UniqueKernelHandle event_;
    // Declared after the event: it goes first.
    UniqueRegisteredWait wait_;
};

// "Global\BexloExit-" and the process id in decimal.
std::wstring ExitSignalName(DWORD processId);

}  // namespace bexlo
