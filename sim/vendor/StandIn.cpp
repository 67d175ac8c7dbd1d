#include "sim/vendor/StandIn.h"

#include "sim/SimStateFile.h"

namespace bexlo::stand_in {

namespace {

HMODULE ThisLibrary() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&ThisLibrary)), &module);
    return module;
}

}  // namespace

SimulatedVendor& Vendor() {
    static SimStateFile state(ModuleFolder(ThisLibrary()));
    static SimulatedVendor vendor(state);
    return vendor;
}

}  // namespace bexlo::stand_in
