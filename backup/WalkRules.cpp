#include "backup/WalkRules.h"

#include <algorithm>
#include <string_view>

#include "backup/Versions.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr std::uint64_t kTimeToleranceTicks = 2 * 10'000'000;
constexpr std::uint64_t kHourTicks = 3600ULL * 10'000'000;

constexpr std::wstring_view kPartialMark = L".bexlo-";
constexpr std::wstring_view kPartialEnd = L".partial";
constexpr std::size_t kCheckDigits = 16;
// The longest name the file systems keep.
constexpr std::size_t kNameLimit = 255;

// A keyed hash: a person who names a file never writes the digits it gives by chance.
std::uint64_t PartialCheck(std::wstring_view prefix) {
    std::uint64_t hash = 0x42'65'78'6C'6F'2D'70'61;
    for (const wchar_t c : prefix) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 0x100000001B3;
    }
    hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCD;
    hash = (hash ^ (hash >> 33)) * 0xC4CEB3FE1A85EC53;
    return hash ^ (hash >> 33);
}

std::wstring CheckDigits(std::uint64_t check) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits(kCheckDigits, L'0');
    for (std::size_t i = kCheckDigits; i-- > 0; check >>= 4) {
        digits[i] = kDigits[check & 0xF];
    }
    return digits;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

bool IsFullPath(const std::wstring& path) {
    const bool drive =
        path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return drive || (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\');
}

// No "." or ".." segment, no '/' (a second separator) and no ':' past the drive (a stream).
bool HasPlainSegments(const std::wstring& path) {
    if (path.find(L'/') != std::wstring::npos || path.find(L':', 2) != std::wstring::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring_view segment = std::wstring_view(path).substr(start, end - start);
        if (segment == L"." || segment == L"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    return RootLength(path.substr(0, slash + 1)) == slash + 1 ? path.substr(0, slash + 1)
                                                              : path.substr(0, slash);
}

bool IsWithin(const std::wstring& inner, const std::wstring& outer) {
    return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           (inner.size() == outer.size() || inner[outer.size()] == L'\\');
}

std::wstring PartialCopyName(const std::wstring& name) {
    constexpr std::size_t kLongest =
        kNameLimit - kPartialMark.size() - kCheckDigits - kPartialEnd.size();
    std::wstring prefix = name.substr(0, kLongest);
    // A cut between the two halves of a surrogate pair would leave half a letter.
    if (prefix.size() < name.size() && !prefix.empty() && prefix.back() >= 0xD800 &&
        prefix.back() <= 0xDBFF) {
        prefix.pop_back();
    }
    return prefix + std::wstring(kPartialMark) + CheckDigits(PartialCheck(prefix)) +
           std::wstring(kPartialEnd);
}

bool IsPartialCopyName(const std::wstring& name) {
    const std::wstring_view view = name;
    constexpr std::size_t kTail = kPartialMark.size() + kCheckDigits + kPartialEnd.size();
    if (view.size() <= kTail || !view.ends_with(kPartialEnd)) {
        return false;
    }
    const std::wstring_view prefix = view.substr(0, view.size() - kTail);
    return view.substr(prefix.size(), kPartialMark.size()) == kPartialMark &&
           view.substr(prefix.size() + kPartialMark.size(), kCheckDigits) ==
               CheckDigits(PartialCheck(prefix));
}

std::wstring LastSegment(const std::wstring& path) {
    return path.substr(path.rfind(L'\\') + 1);
}

bool IsLeftover(const FileEntry& entry) {
    return !entry.folder && IsPartialCopyName(entry.name);
}

std::map<std::wstring, FileEntry> ByFoldedName(std::vector<FileEntry> entries) {
    std::map<std::wstring, FileEntry> byName;
    for (FileEntry& entry : entries) {
        std::wstring name = FoldCase(entry.name);
        byName.emplace(std::move(name), std::move(entry));
    }
    return byName;
}

const FileEntry* Counterpart(const std::map<std::wstring, FileEntry>& entries,
                             const std::wstring& name) {
    const auto found = entries.find(FoldCase(name));
    return found != entries.end() ? &found->second : nullptr;
}

bool IsUsableSource(const std::wstring& source, const std::wstring& target) {
    if (!IsFullPath(source) || source.back() == L'\\' || !HasPlainSegments(source)) {
        return false;
    }
    return !SourceOverlapsTarget(source, target);
}

SourceRefusal SourceNames::Take(const std::wstring& source, const std::wstring& target) {
    if (!IsUsableSource(source, target)) {
        return SourceRefusal::Unusable;
    }
    std::wstring name = FoldCase(LastSegment(source));
    if (IsVersionsFolderName(name)) {
        return SourceRefusal::VersionsFolder;
    }
    if (std::find(taken_.begin(), taken_.end(), name) != taken_.end()) {
        return SourceRefusal::SameName;
    }
    taken_.push_back(std::move(name));
    return SourceRefusal::None;
}

bool SourceOverlapsTarget(const std::wstring& source, const std::wstring& target) {
    const std::wstring from = FoldCase(WithoutTrailingSlash(source));
    const std::wstring to = FoldCase(WithoutTrailingSlash(target));
    return IsWithin(from, to) || IsWithin(to, from);
}

int CompareWriteTimes(std::int64_t a, std::int64_t b, bool coarse) {
    // The distance is taken unsigned: it may not fit a signed 64-bit integer.
    const auto distance = a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
    if (distance < kTimeToleranceTicks) {
        return 0;
    }
    // FAT keeps local times, which a daylight-saving change shifts by an hour.
    if (coarse && distance + kTimeToleranceTicks > kHourTicks &&
        distance < kHourTicks + kTimeToleranceTicks) {
        return 0;
    }
    return a > b ? 1 : -1;
}

bool IsFatFileSystem(const std::wstring& name) {
    const std::wstring upper = FoldCase(name);
    return upper == L"FAT" || upper == L"FAT12" || upper == L"FAT16" || upper == L"FAT32";
}

WalkChain::Place WalkChain::Find(const std::wstring& path) {
    return {path, fs_.QuickIdentity(path), std::nullopt};
}

const std::optional<FileId>& WalkChain::Full(Place& place) {
    if (!place.full) {
        place.full = fs_.Identity(place.path);
    }
    return place.full;
}

bool WalkChain::Inside(Place& place) {
    if (!place.quick) {
        return false;
    }
    for (Place& walking : places_) {
        if (walking.quick == place.quick && Full(place) && Full(place) == Full(walking)) {
            return true;
        }
    }
    return false;
}

int CreateFolderPath(FileSystem& fs, const std::wstring& path) {
    if (fs.CreateFolder(path)) {
        return 1;
    }
    const std::size_t slash = path.rfind(L'\\');
    const std::size_t root = RootLength(path);
    if (slash == std::wstring::npos || slash < std::max<std::size_t>(root, 3)) {
        return 0;
    }
    CreateFolderPath(fs, path.substr(0, slash));
    fs.CreateFolder(path);
    return 1;
}

FolderStep CheckFolderStep(FileSystem& fs, const std::wstring& folder,
                           std::optional<FileId>& identity) {
    const std::optional<FileEntry> found = fs.Find(folder);
    if (!found) {
        return FolderStep::Missing;
    }
    // A search names a link that the platform may open as what it leads to.
    const std::optional<FileEntry> opened = fs.Inspect(folder);
    if (!found->folder || found->link || !opened || !opened->folder || opened->link) {
        return FolderStep::NotPlain;
    }
    identity = fs.Identity(folder);
    return identity ? FolderStep::Plain : FolderStep::NotPlain;
}

bool OnItsDrive(FileSystem& fs, const std::wstring& path, const FileId& identity) {
    const std::optional<std::uint32_t> serial = fs.VolumeSerial(path);
    return !serial || static_cast<std::uint32_t>(identity.volume) == *serial;
}

bool PlainFolderPath(FileSystem& fs, const std::wstring& path) {
    const std::size_t root = RootLength(path);
    std::optional<FileId> deepest;
    for (std::size_t end = path.find(L'\\', root);; end = path.find(L'\\', end + 1)) {
        const std::wstring folder = path.substr(0, end);
        if (folder.size() > root) {
            std::optional<FileId> identity;
            const FolderStep step = CheckFolderStep(fs, folder, identity);
            if (step == FolderStep::Missing) {
                break;
            }
            if (step == FolderStep::NotPlain) {
                return false;
            }
            deepest = identity;
        }
        if (end == std::wstring::npos) {
            break;
        }
    }
    return !deepest || OnItsDrive(fs, path, *deepest);
}

}  // namespace bexlo
