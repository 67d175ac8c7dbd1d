#include "app/CommandLine.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "framework/NameCase.h"

namespace bexlo {

namespace {

constexpr wchar_t kOption[] = L"/simulate";
constexpr wchar_t kExitOption[] = L"/exit";

// Splits at blanks outside double quotes, dropping the quotes.
std::vector<std::wstring> Arguments(const std::wstring& commandLine) {
    std::vector<std::wstring> arguments;
    std::wstring current;
    bool quoted = false;
    bool any = false;
    for (wchar_t c : commandLine) {
        if (c == L'"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == L' ' || c == L'\t')) {
            if (any) {
                arguments.push_back(current);
            }
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) {
        arguments.push_back(current);
    }
    return arguments;
}

bool StartsWithOption(const std::wstring& argument, const std::wstring& option = kOption) {
    if (argument.size() < option.size()) {
        return false;
    }
    for (size_t i = 0; i < option.size(); ++i) {
        if (std::towlower(static_cast<std::wint_t>(argument[i])) !=
            static_cast<std::wint_t>(option[i])) {
            return false;
        }
    }
    return true;
}

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
    for (const std::wstring& argument : Arguments(commandLine)) {
        if (!StartsWithOption(argument)) {
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

bool ExitRequested(const std::wstring& commandLine) {
    const size_t length = std::wstring(kExitOption).size();
    for (const std::wstring& argument : Arguments(commandLine)) {
        if (argument.size() == length && StartsWithOption(argument, kExitOption)) {
            return true;
        }
    }
    return false;
}

}  // namespace bexlo
