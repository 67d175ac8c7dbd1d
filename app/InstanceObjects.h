#pragma once

#include <windows.h>

#include <string>

#include "app/InstanceRules.h"
#include "framework/Handles.h"

namespace bexlo {

// The session's lock where the platform makes no private namespaces; elsewhere made beside the
// real one for whatever looks for it (Setup waits while a starting copy holds it).
inline constexpr wchar_t kInstanceMutexName[] = L"Bexlo";

// The objects by which copies of the program find each other: each session's instance lock and
// the machine-wide guard. They live in a private namespace whose boundary is the Administrators
// group, so that no program without administrator rights can make them first, hold them or wait
// on them. Where the platform makes no such namespace (Wine has none), they are named objects
// made with the administrators as their owner, and one found made by anyone else is passed
// over. A copy without administrator rights takes none of them.
class InstanceObjects {
public:
    InstanceObjects();
    ~InstanceObjects();
    InstanceObjects(const InstanceObjects&) = delete;
    InstanceObjects& operator=(const InstanceObjects&) = delete;

    // Takes this session's instance lock for the life of this object; says who held it first.
    LockHolder TakeInstanceLock();

    // Whether a copy with administrator rights holds this session's instance lock: a copy that
    // starts holds it before its window exists.
    bool InstanceLockHeld() const;

    // The machine-wide guard: whoever holds it polls the enclosures and runs backups, in
    // whichever session it runs. Null when it cannot be had (its name taken by another
    // program's object, or this copy has no rights).
    UniqueKernelHandle MachineGuard() const;

private:
    struct Made {
        UniqueKernelHandle handle;
        bool madeNow = false;
    };
    // Creates, or opens when it exists, the mutex `name` with the administrators as its owner
    // and only them and the system let in.
    static Made MakeMutex(const std::wstring& name, bool takeOwnership);
    static LockHolder HolderOf(const Made& made);
    std::wstring LockName() const;

    bool withRights_ = false;
    UniqueNamespace namespace_;
    Made named_;
    Made lock_;
};

}  // namespace bexlo
