#include "treectrl/ShareList.h"

#include <windows.h>

#include "framework/Handles.h"
#include "framework/SystemFunction.h"

namespace bexlo {

namespace {

// The level-502 share record, as NETAPI32 lays it out.
struct ShareInfo502 {
    LPWSTR netname;
    DWORD type;
    LPWSTR remark;
    DWORD permissions;
    DWORD maxUses;
    DWORD currentUses;
    LPWSTR path;
    LPWSTR password;
    DWORD reserved;
    PSECURITY_DESCRIPTOR securityDescriptor;
};

using NetShareEnumFn = DWORD(WINAPI*)(LPWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
using NetApiBufferFreeFn = DWORD(WINAPI*)(LPVOID);

constexpr DWORD kMaxPreferredLength = 0xFFFFFFFF;

}  // namespace

void ShareList::Refresh() {
    paths_.clear();
    UniqueModule netapi(LoadSystemLibrary(L"NETAPI32.dll"));
    if (!netapi) {
        return;
    }
    auto shareEnum = LibraryFunction<NetShareEnumFn>(netapi.Get(), "NetShareEnum");
    auto bufferFree = LibraryFunction<NetApiBufferFreeFn>(netapi.Get(), "NetApiBufferFree");
    if (shareEnum == nullptr || bufferFree == nullptr) {
        return;
    }
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    const DWORD status =
        shareEnum(nullptr, 502, &buffer, kMaxPreferredLength, &read, &total, nullptr);
    if ((status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && buffer != nullptr) {
        const auto* shares = reinterpret_cast<const ShareInfo502*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            const DWORD kind = shares[i].type & 0xFF;
            if ((kind == 0 || kind == 1) && shares[i].path != nullptr) {
                paths_.emplace_back(shares[i].path);
            }
        }
    }
    if (buffer != nullptr) {
        bufferFree(buffer);
    }
}

bool ShareList::IsShared(const std::wstring& path) const {
    for (const std::wstring& shared : paths_) {
        if (::lstrcmpiW(shared.c_str(), path.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace bexlo
