#pragma once

// Links for the tests on real folders: Wine makes no links of its own, but shows a Unix symbolic
// link inside its prefix as one.

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/Handles.h"
#include "tests/win/TestSupport.h"

namespace bexlo::test {

// The Unix name Wine gives a path whose folder exists.
inline std::wstring UnixName(const std::wstring& path) {
    using UnixNameCall = char* (*)(const wchar_t*);
    const auto call = reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const std::size_t slash = path.rfind(L'\\');
    char* folder = call != nullptr ? call(path.substr(0, slash).c_str()) : nullptr;
    if (folder == nullptr) {
        return {};
    }
    std::wstring name(folder, folder + std::strlen(folder));
    ::HeapFree(::GetProcessHeap(), 0, folder);
    return name + L"/" + path.substr(slash + 1);
}

// Starts a Unix program. Wine gives no handle to wait on: the caller waits for what it does.
inline bool StartUnix(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const bool started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &info);
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    return started;
}

// The links a test made, removed at its end: the folders they lead to stay.
class UnixLinks {
public:
    ~UnixLinks() { RemoveAll(); }

    // `link` leads to the folder or file `target`; false where no Unix link can be made.
    bool Make(const std::wstring& link, const std::wstring& target) {
        const std::wstring unixLink = UnixName(link);
        const std::wstring unixTarget = UnixName(target);
        if (unixLink.empty() || unixTarget.empty() ||
            !StartUnix(L"/bin/ln -s \"" + unixTarget + L"\" \"" + unixLink + L"\"")) {
            return false;
        }
        made_.emplace_back(link, unixLink);
        return PumpUntil([&] { return Exists(link); }, 10000);
    }

    void RemoveAll() {
        for (const auto& [link, unixLink] : made_) {
            if (StartUnix(L"/bin/rm -f \"" + unixLink + L"\"")) {
                PumpUntil([&] { return !Exists(link); }, 10000);
            }
        }
        made_.clear();
    }

private:
    // Each link made, by its Windows and its Unix name.
    std::vector<std::pair<std::wstring, std::wstring>> made_;
};

}  // namespace bexlo::test
