#include "treectrl/WindowsTreeListing.h"

#include <windows.h>

#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

std::uint32_t WindowsTreeListing::Drives() {
    return ::GetLogicalDrives();
}

DriveKind WindowsTreeListing::KindOf(const std::wstring& path) {
    const std::wstring root = path.size() >= 3 ? path.substr(0, 3) : path;
    switch (::GetDriveTypeW(root.c_str())) {
        case DRIVE_REMOVABLE:
            return DriveKind::Removable;
        case DRIVE_FIXED:
            return DriveKind::Fixed;
        case DRIVE_REMOTE:
            return DriveKind::Remote;
        case DRIVE_CDROM:
            return DriveKind::CdRom;
        case DRIVE_RAMDISK:
            return DriveKind::RamDisk;
        case DRIVE_UNKNOWN:
            return DriveKind::Unknown;
        default:
            return DriveKind::Other;
    }
}

bool WindowsTreeListing::Find(const std::wstring& folder, const std::wstring& mask, bool wholeLevel,
                              const std::function<bool(const ListedEntry&)>& visit) {
    WIN32_FIND_DATAW found;
    // A whole level is fetched in large batches; a look for its first entries is not.
    UniqueFindHandle find(::FindFirstFileExW(LongPath(JoinPath(folder, mask)).c_str(),
                                             FindExInfoBasic, &found, FindExSearchNameMatch,
                                             nullptr, wholeLevel ? FIND_FIRST_EX_LARGE_FETCH : 0));
    if (!find) {
        return false;
    }
    ListedEntry entry;
    do {
        entry.name = found.cFileName;
        entry.attributes = found.dwFileAttributes;
        if (visit(entry)) {
            return true;
        }
    } while (::FindNextFileW(find.Get(), &found));
    return false;
}

std::uint32_t WindowsTreeListing::Attributes(const std::wstring& path) {
    return ::GetFileAttributesW(LongPath(path).c_str());
}

int WindowsTreeListing::CompareLabels(const std::wstring& a, const std::wstring& b) const {
    return ::lstrcmpiW(a.c_str(), b.c_str());
}

}  // namespace bexlo
