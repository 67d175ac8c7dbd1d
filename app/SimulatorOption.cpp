#include "app/SimulatorOption.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "app/CommandLine.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr wchar_t kOption[] = L"/simulate";

// A full path on a drive ("X:\\...") with its case folded as the file system folds it, its parts
// split at either slash, "." dropped and ".." taking off the part before it; nothing for any other
// path, or when ".." would climb above the drive's root.
std::optional<std::vector<std::wstring>> FullPathParts(const std::wstring& path) {
    const bool drive = path.size() >= 3 && std::iswalpha(static_cast<std::wint_t>(path[0])) &&
                       path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    if (!drive) {
        return std::nullopt;
    }
    std::vector<std::wstring> parts;
    std::wstring part;
    const auto close = [&]() -> bool {
        if (part == L"..") {
            if (parts.size() <= 1) {
                return false;
            }
            parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(FoldCase(part));
        }
        part.clear();
        return true;
    };
    for (wchar_t c : path) {
        if (c == L'\\' || c == L'/') {
            if (!close()) {
                return std::nullopt;
            }
        } else {
            part += c;
        }
    }
    if (!close()) {
        return std::nullopt;
    }
    return parts;
}

}  // namespace

bool SimulatorFolderAllowed(const std::wstring& folder, const std::wstring& programFolder) {
    const auto requested = FullPathParts(folder);
    auto allowed = FullPathParts(programFolder);
    if (!requested || !allowed) {
        return false;
    }
    allowed->push_back(FoldCase(L"sim"));
    return requested->size() >= allowed->size() &&
           std::equal(allowed->begin(), allowed->end(), requested->begin());
}

std::optional<std::wstring> SimulatorFolder(const std::wstring& commandLine,
                                            const std::wstring& programFolder) {
    const size_t length = std::wstring(kOption).size();
    for (const std::wstring& argument : CommandLineArguments(commandLine)) {
        if (!StartsWithOption(argument, kOption)) {
            continue;
        }
        if (argument.size() == length) {
            std::wstring folder = programFolder;
            if (!folder.empty() && folder.back() != L'\\') {
                folder += L'\\';
            }
            return folder + L"sim";
        }
        if (argument[length] == L'=' && argument.size() > length + 1) {
            return argument.substr(length + 1);
        }
    }
    return std::nullopt;
}

}  // namespace bexlo
