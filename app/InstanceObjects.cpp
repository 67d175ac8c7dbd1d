#include "app/InstanceObjects.h"

#include <aclapi.h>
#include <sddl.h>

#include "app/SingleInstance.h"

namespace bexlo {

namespace {

constexpr wchar_t kNamespace[] = L"Bexlo";
constexpr wchar_t kNamespaceLock[] = L"Bexlo\\Instance";
constexpr wchar_t kNamespaceGuard[] = L"Bexlo\\Enclosures";
constexpr wchar_t kNamedGuard[] = L"Global\\BexloEnclosures";

// Owned by the administrators; full access for them and the system, nothing for anyone else.
class AdministratorsOnly {
public:
    AdministratorsOnly() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
            descriptor_.Reset(descriptor);
        }
        attributes_.lpSecurityDescriptor = descriptor_.Get();
    }
    // Null when the descriptor could not be made: nothing is then made without it.
    SECURITY_ATTRIBUTES* Get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocal descriptor_;
    SECURITY_ATTRIBUTES attributes_{sizeof(attributes_), nullptr, FALSE};
};

ObjectOwner OwnerOf(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return ObjectOwner::Other;
    }
    UniqueLocal held(descriptor);
    if (owner != nullptr && ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
        return ObjectOwner::Administrators;
    }
    if (owner != nullptr && ::IsWellKnownSid(owner, WinLocalSystemSid)) {
        return ObjectOwner::System;
    }
    return ObjectOwner::Other;
}

// The namespace whose boundary is the Administrators group; null where the platform makes none.
UniqueNamespace OpenNamespace() {
    UniqueBoundary boundary(::CreateBoundaryDescriptorW(kNamespace, 0));
    BYTE administrators[SECURITY_MAX_SID_SIZE]{};
    DWORD size = sizeof(administrators);
    if (!boundary ||
        !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        return {};
    }
    // Adding to the descriptor may move it.
    HANDLE raw = boundary.Release();
    const BOOL added = ::AddSIDToBoundaryDescriptor(&raw, administrators);
    boundary.Reset(raw);
    AdministratorsOnly security;
    if (!added || security.Get() == nullptr) {
        return {};
    }
    // Made by the first copy and opened by the others; one that ends between the two steps of
    // another leaves it to make the namespace anew.
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueNamespace made(::CreatePrivateNamespaceW(security.Get(), boundary.Get(), kNamespace));
        if (made || ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return made;
        }
        UniqueNamespace opened(::OpenPrivateNamespaceW(boundary.Get(), kNamespace));
        if (opened) {
            return opened;
        }
    }
    return {};
}

}  // namespace

InstanceObjects::InstanceObjects() : withRights_(HasAdministratorRights(::GetCurrentProcess())) {
    if (withRights_) {
        namespace_ = OpenNamespace();
    }
}

InstanceObjects::~InstanceObjects() {
    for (Made* owned : {&lock_, &named_}) {
        if (owned->madeNow) {
            ::ReleaseMutex(owned->handle.Get());
        }
    }
}

InstanceObjects::Made InstanceObjects::MakeMutex(const std::wstring& name, bool takeOwnership) {
    AdministratorsOnly security;
    Made made;
    if (security.Get() == nullptr) {
        return made;
    }
    made.handle.Reset(::CreateMutexW(security.Get(), takeOwnership, name.c_str()));
    made.madeNow = made.handle && ::GetLastError() != ERROR_ALREADY_EXISTS;
    return made;
}

LockHolder InstanceObjects::HolderOf(const Made& made) {
    const bool readable = made.handle.Valid();
    return LockHolderOf(made.madeNow, readable,
                        readable ? OwnerOf(made.handle.Get()) : ObjectOwner::Other);
}

std::wstring InstanceObjects::LockName() const {
    if (!namespace_) {
        return kInstanceMutexName;
    }
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return kNamespaceLock + std::to_wstring(session);
}

LockHolder InstanceObjects::TakeInstanceLock() {
    if (!withRights_) {
        return LockHolder::Someone;
    }
    named_ = MakeMutex(kInstanceMutexName, true);
    if (!namespace_) {
        return HolderOf(named_);
    }
    lock_ = MakeMutex(LockName(), true);
    return HolderOf(lock_);
}

bool InstanceObjects::InstanceLockHeld() const {
    UniqueKernelHandle lock(::OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, LockName().c_str()));
    return lock && LockHolderOf(false, true, OwnerOf(lock.Get())) == LockHolder::CopyWithRights;
}

UniqueKernelHandle InstanceObjects::MachineGuard() const {
    if (!withRights_) {
        return {};
    }
    Made guard = MakeMutex(namespace_ ? kNamespaceGuard : kNamedGuard, false);
    if (!guard.madeNow && HolderOf(guard) != LockHolder::CopyWithRights) {
        return {};
    }
    return std::move(guard.handle);
}

}  // namespace bexlo
