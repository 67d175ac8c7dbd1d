#include "backup/SourcesFile.h"

#include "backup/Utf16Text.h"
#include "backup/Versions.h"
#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr std::u16string_view kHeader = u"Bexlo sources 1";
// A file a person keeps small; past this it is none of ours.
constexpr std::size_t kReadLimit = 1 << 20;

bool Inside(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && IsWithin(FoldCase(path), FoldCase(folder));
}

}  // namespace

std::vector<std::uint8_t> FormatSourcesFile(const BackupSources& sources) {
    std::wstring text(kHeader.begin(), kHeader.end());
    text += L"\r\n";
    const auto line = [&](const std::wstring& key, const std::wstring& value) {
        text += key + L'\t' + value + L"\r\n";
    };
    line(L"PC", sources.pc.name);
    line(L"Identity", sources.pc.identity);
    line(L"Profile", sources.pc.profile);
    for (const auto& [name, path] : sources.pc.known) {
        line(L"Known", name + L'\t' + path);
    }
    for (const std::wstring& source : sources.sources) {
        line(L"Source", source);
    }
    return Utf16LeWithMark(ToUtf16(text));
}

std::optional<BackupSources> ParseSourcesFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return std::nullopt;
    }
    const std::wstring text = FromUtf16(Utf16TextUpToNul(bytes.subspan(2)));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(L"\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (lines.empty() || lines.front() != std::wstring(kHeader.begin(), kHeader.end())) {
        return std::nullopt;
    }
    BackupSources sources;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t tab = lines[i].find(L'\t');
        if (tab == std::wstring::npos) {
            continue;
        }
        const std::wstring key = lines[i].substr(0, tab);
        const std::wstring value = lines[i].substr(tab + 1);
        const std::size_t second = value.find(L'\t');
        if (key == L"PC") {
            sources.pc.name = value;
        } else if (key == L"Identity") {
            sources.pc.identity = value;
        } else if (key == L"Profile") {
            sources.pc.profile = value;
        } else if (key == L"Known" && second != std::wstring::npos) {
            sources.pc.known.emplace_back(value.substr(0, second), value.substr(second + 1));
        } else if (key == L"Source" && !value.empty()) {
            sources.sources.push_back(value);
        }
    }
    return sources;
}

bool WriteSourcesFile(FileSystem& fs, const std::wstring& destination,
                      const BackupSources& sources) {
    const std::wstring folder = JoinPath(LongPath(destination), kVersionsFolderName);
    const std::optional<FileEntry> found = fs.Find(folder);
    return found && found->folder && !found->link &&
           fs.WriteFileReplacing(JoinPath(folder, kSourcesFileName), FormatSourcesFile(sources));
}

std::optional<BackupSources> ReadSourcesFile(FileSystem& fs, const std::wstring& destination) {
    const std::wstring folder = JoinPath(LongPath(destination), kVersionsFolderName);
    const std::optional<FileEntry> found = fs.Find(folder);
    if (!found || !found->folder || found->link) {
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> bytes =
        fs.ReadFileBytes(JoinPath(folder, kSourcesFileName), kReadLimit);
    return bytes ? ParseSourcesFile(*bytes) : std::nullopt;
}

std::wstring PlaceOnThisPc(const std::wstring& source, const PcPlaces& from, const PcPlaces& here,
                           const std::function<bool(const std::wstring&)>& exists) {
    // The deepest known folder of that PC that holds the source, else its profile.
    std::wstring folder;
    std::wstring moved;
    for (const auto& [name, path] : from.known) {
        if (Inside(source, path) && path.size() > folder.size()) {
            for (const auto& [hereName, herePath] : here.known) {
                if (SameName(hereName, name)) {
                    folder = path;
                    moved = herePath;
                }
            }
        }
    }
    if (folder.empty() && Inside(source, from.profile) && !here.profile.empty()) {
        folder = from.profile;
        moved = here.profile;
    }
    if (folder.empty() || exists(folder)) {
        return source;
    }
    return moved + source.substr(folder.size());
}

}  // namespace bexlo
