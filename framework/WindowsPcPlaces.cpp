#include <windows.h>
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "framework/MachineIdentity.h"
#include "framework/PcPlaces.h"

namespace bexlo {

namespace {

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) {
        result = path;
    }
    ::CoTaskMemFree(path);
    return result;
}

}  // namespace

PcPlaces ThisPcPlaces() {
    PcPlaces places;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(name, &size)) {
        places.name = name;
    }
    places.identity = MachineIdentity();
    places.profile = KnownFolder(FOLDERID_Profile);
    const std::pair<const wchar_t*, const KNOWNFOLDERID*> known[] = {
        {L"Desktop", &FOLDERID_Desktop},     {L"Documents", &FOLDERID_Documents},
        {L"Downloads", &FOLDERID_Downloads}, {L"Music", &FOLDERID_Music},
        {L"Pictures", &FOLDERID_Pictures},   {L"Videos", &FOLDERID_Videos},
    };
    for (const auto& [folder, id] : known) {
        if (std::wstring path = KnownFolder(*id); !path.empty()) {
            places.known.emplace_back(folder, std::move(path));
        }
    }
    return places;
}

}  // namespace bexlo
