#include "framework/LongPath.h"

#include <string_view>

namespace bexlo {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kNativePrefix = L"\\??\\";

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           std::wstring_view(text).substr(0, prefix.size()) == prefix;
}

bool IsDriveFullPath(std::wstring_view path) {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

std::wstring LongPath(const std::wstring& path) {
    if (StartsWith(path, kLongPrefix) || StartsWith(path, kNativePrefix)) {
        return path;
    }
    if (IsDriveFullPath(path)) {
        return std::wstring(kLongPrefix) + path;
    }
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
        return std::wstring(kLongUncPrefix) + path.substr(2);
    }
    return path;
}

std::wstring PlainPath(const std::wstring& path) {
    if (StartsWith(path, kLongUncPrefix)) {
        return L"\\\\" + path.substr(kLongUncPrefix.size());
    }
    if (StartsWith(path, kLongPrefix) || StartsWith(path, kNativePrefix)) {
        return path.substr(kLongPrefix.size());
    }
    return path;
}

std::wstring NativePath(const std::wstring& path) {
    const std::wstring longPath = LongPath(path);
    if (!StartsWith(longPath, kLongPrefix)) {
        return longPath;
    }
    return std::wstring(kNativePrefix) + longPath.substr(kLongPrefix.size());
}

std::size_t RootLength(const std::wstring& path) {
    const std::size_t prefix =
        StartsWith(path, kLongPrefix) || StartsWith(path, kNativePrefix) ? kLongPrefix.size() : 0;
    return IsDriveFullPath(std::wstring_view(path).substr(prefix)) ? prefix + 3 : 0;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') {
        return folder + name;
    }
    return folder + L"\\" + name;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
        return std::wstring();
    }
    return path.substr(0, RootLength(path) == slash + 1 ? slash + 1 : slash);
}

}  // namespace bexlo
