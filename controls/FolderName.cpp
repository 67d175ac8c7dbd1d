#include "controls/FolderName.h"

#include <algorithm>

namespace bexlo {

namespace {

constexpr std::wstring_view kRefusedChars = L"/\\:*?\"<>|";

wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return Upper(x) == Upper(y); });
}

// The platform opens the device, not a file, for these names whatever follows the first dot,
// and ignores blanks before that dot.
bool IsDeviceName(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    stem = stem.substr(0, stem.find_last_not_of(L' ') + 1);
    for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
        if (EqualsIgnoringCase(stem, device)) {
            return true;
        }
    }
    if (stem.size() != 4 || stem[3] < L'1' || stem[3] > L'9') {
        return false;
    }
    return EqualsIgnoringCase(stem.substr(0, 3), L"COM") ||
           EqualsIgnoringCase(stem.substr(0, 3), L"LPT");
}

}  // namespace

bool IsRefusedNameChar(wchar_t c) {
    return kRefusedChars.find(c) != std::wstring_view::npos;
}

bool IsAcceptableFolderName(std::wstring_view name) {
    if (std::any_of(name.begin(), name.end(),
                    [](wchar_t c) { return c < 0x20 || IsRefusedNameChar(c); })) {
        return false;
    }
    // The platform drops trailing dots and blanks, so a name of nothing else names the parent.
    if (name.find_first_not_of(L". ") == std::wstring_view::npos) {
        return false;
    }
    return !IsDeviceName(name);
}

std::wstring JoinFolderPath(const std::wstring& parent, const std::wstring& name) {
    if (!parent.empty() && parent.back() == L'\\') {
        return parent + name;
    }
    return parent + L'\\' + name;
}

}  // namespace bexlo
