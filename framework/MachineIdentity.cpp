#include "framework/MachineIdentity.h"

#include <windows.h>

#include "framework/Handles.h"

namespace bexlo {

std::wstring MachineIdentity() {
    // The 64-bit view: a 32-bit program would otherwise read a redirected key that may not hold
    // the value.
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) {
        const UniqueRegKey key(opened);
        wchar_t guid[64]{};
        DWORD type = 0;
        DWORD bytes = sizeof(guid) - sizeof(wchar_t);
        if (::RegQueryValueExW(key.Get(), L"MachineGuid", nullptr, &type,
                               reinterpret_cast<BYTE*>(guid), &bytes) == ERROR_SUCCESS &&
            type == REG_SZ && guid[0] != L'\0') {
            return guid;
        }
    }
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1]{};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &length) ? std::wstring(name, length) : L"this PC";
}

}  // namespace bexlo
