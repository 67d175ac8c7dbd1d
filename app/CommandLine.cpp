#include "app/CommandLine.h"

#include <cwctype>

namespace bexlo {

namespace {

constexpr wchar_t kExitOption[] = L"/exit";

}  // namespace

std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine) {
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

bool StartsWithOption(const std::wstring& argument, const std::wstring& option) {
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

bool ExitRequested(const std::wstring& commandLine) {
    const size_t length = std::wstring(kExitOption).size();
    for (const std::wstring& argument : CommandLineArguments(commandLine)) {
        if (argument.size() == length && StartsWithOption(argument, kExitOption)) {
            return true;
        }
    }
    return false;
}

}  // namespace bexlo
