#include "backup/SourceIdentity.h"

#include <algorithm>
#include <cwchar>

#include "backup/Utf16Text.h"
#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

// One line a source: "link" or "plain", the folder's volume and id in hex ("-" for none), then
// the path, tab-separated. UTF-16LE with a byte-order mark, as the program's other notes.
std::wstring Hex(std::uint64_t value) {
    wchar_t text[17]{};
    std::swprintf(text, 17, L"%llx", static_cast<unsigned long long>(value));
    return text;
}

std::optional<std::uint64_t> ParseHex(const std::wstring& text) {
    if (text.empty() || text.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                          : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                   : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::wstring::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::optional<SourceIdentity> ReadLine(const std::wstring& line) {
    const std::vector<std::wstring> fields = Fields(line);
    if (fields.size() != 5 || (fields[0] != L"link" && fields[0] != L"plain") ||
        fields[4].empty()) {
        return std::nullopt;
    }
    SourceIdentity source{fields[4], fields[0] == L"link", std::nullopt};
    if (fields[1] != L"-") {
        const auto volume = ParseHex(fields[1]);
        const auto index = ParseHex(fields[2]);
        const auto high = ParseHex(fields[3]);
        if (!volume || !index || !high) {
            return std::nullopt;
        }
        source.folder = FileId{*volume, *index, *high};
    }
    return source;
}

// Volumes whose ids do not last: FAT and exFAT give a file's id from its place in its folder,
// and a network share may make one up at each open.
bool LastingIds(FileSystem& fs, const std::wstring& path) {
    const std::wstring plain = PlainPath(path);
    if (plain.rfind(L"\\\\", 0) == 0) {
        return false;
    }
    const std::wstring system = fs.VolumeFileSystem(path);
    return !system.empty() && !IsFatFileSystem(system) && FoldCase(system) != L"EXFAT";
}

}  // namespace

std::vector<std::uint8_t> SourceIdentityBytes(const std::vector<SourceIdentity>& sources) {
    std::wstring text;
    for (const SourceIdentity& source : sources) {
        text += source.link ? L"link\t" : L"plain\t";
        text += source.folder ? Hex(source.folder->volume) + L"\t" + Hex(source.folder->index) +
                                    L"\t" + Hex(source.folder->indexHigh)
                              : L"-\t-\t-";
        text += L"\t" + source.path + L"\r\n";
    }
    return Utf16LeWithMark(ToUtf16(text));
}

std::vector<SourceIdentity> ReadSourceIdentities(std::span<const std::uint8_t> bytes) {
    std::wstring text = FromUtf16(Utf16TextUpToNul(bytes));
    if (!text.empty() && text.front() == L'\xFEFF') {
        text.erase(0, 1);
    }
    std::vector<SourceIdentity> sources;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end;
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (std::optional<SourceIdentity> source = ReadLine(line)) {
            sources.push_back(std::move(*source));
        }
        start = end + 1;
    }
    return sources;
}

std::optional<SourceIdentity> IdentifySource(FileSystem& fs, const std::wstring& path) {
    const std::wstring longPath = LongPath(path);
    const std::optional<FileEntry> itself = fs.Inspect(longPath);
    if (!itself) {
        return std::nullopt;
    }
    // A search names a link that the platform may open as what it leads to.
    const std::optional<FileEntry> found = fs.Find(longPath);
    SourceIdentity source{path, itself->link || (found && found->link), std::nullopt};
    // A file's id changes whenever a program saves it by writing a new file and renaming it: only
    // what a folder leads to is kept.
    if (itself->folder && LastingIds(fs, longPath)) {
        source.folder = fs.Identity(longPath);
    }
    return source;
}

SourceChange CompareSource(const SourceIdentity& saved, const SourceIdentity& now,
                           bool writesIntoIt) {
    if (now.link && !saved.link) {
        return SourceChange::BecameLink;
    }
    if (!saved.folder || !now.folder || *saved.folder == *now.folder) {
        return SourceChange::None;
    }
    if (!saved.link) {
        return SourceChange::OtherFolder;
    }
    return writesIntoIt ? SourceChange::LinkMoved : SourceChange::None;
}

bool SaveSourceIdentities(FileSystem& fs, const std::vector<std::wstring>& sources) {
    std::vector<SourceIdentity> identities;
    for (const std::wstring& path : sources) {
        if (std::optional<SourceIdentity> source = IdentifySource(fs, path)) {
            identities.push_back(std::move(*source));
        }
    }
    return fs.WriteFileReplacing(SourceIdentityFile(), SourceIdentityBytes(identities));
}

SourceIdentities::SourceIdentities(FileSystem& fs) : fs_(fs) {
    if (const auto bytes = fs.ReadFileBytes(SourceIdentityFile(), kSourceIdentityReadLimit)) {
        saved_ = ReadSourceIdentities(*bytes);
    }
}

SourceIdentity* SourceIdentities::Saved(const std::wstring& path) {
    const std::wstring folded = FoldCase(path);
    const auto found = std::find_if(saved_.begin(), saved_.end(), [&](const SourceIdentity& s) {
        return FoldCase(s.path) == folded;
    });
    return found == saved_.end() ? nullptr : &*found;
}

SourceChange SourceIdentities::Check(const std::wstring& path, bool writesIntoIt) {
    const std::optional<SourceIdentity> now = IdentifySource(fs_, path);
    if (!now) {
        return SourceChange::None;
    }
    if (const SourceIdentity* saved = Saved(path)) {
        return CompareSource(*saved, *now, writesIntoIt);
    }
    saved_.push_back(*now);
    changed_ = true;
    return SourceChange::None;
}

void SourceIdentities::Remade(const std::wstring& path) {
    const std::optional<SourceIdentity> now = IdentifySource(fs_, path);
    SourceIdentity* saved = Saved(path);
    if (!now || (saved != nullptr && *saved == *now)) {
        return;
    }
    if (saved != nullptr) {
        *saved = *now;
    } else {
        saved_.push_back(*now);
    }
    changed_ = true;
}

void SourceIdentities::Keep() {
    if (changed_ && fs_.WriteFileReplacing(SourceIdentityFile(), SourceIdentityBytes(saved_))) {
        changed_ = false;
    }
}

}  // namespace bexlo
