#include "framework/CaptionText.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace bexlo {

namespace {

// Where the caption's access key stands, after its '&'; npos when it has none.
std::size_t AccessKeyAt(const std::wstring& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == L'&') {
            if (caption[i + 1] != L'&') {
                return i + 1;
            }
            ++i;
        }
    }
    return std::wstring::npos;
}

}  // namespace

void AddAccessKeys(std::span<std::wstring> captions) {
    std::vector<wchar_t> taken;
    for (const std::wstring& caption : captions) {
        if (const std::size_t at = AccessKeyAt(caption); at != std::wstring::npos) {
            taken.push_back(static_cast<wchar_t>(std::towupper(caption[at])));
        }
    }
    for (std::wstring& caption : captions) {
        if (AccessKeyAt(caption) != std::wstring::npos) {
            continue;
        }
        for (std::size_t i = 0; i < caption.size(); ++i) {
            const auto key = static_cast<wchar_t>(std::towupper(caption[i]));
            if (std::iswalnum(caption[i]) &&
                std::find(taken.begin(), taken.end(), key) == taken.end()) {
                taken.push_back(key);
                caption.insert(i, 1, L'&');
                break;
            }
        }
    }
}

std::wstring WithoutAccessKey(const std::wstring& caption) {
    std::wstring text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) {
            ++i;
        }
        text.push_back(caption[i]);
    }
    return text;
}

std::wstring WithoutTrailingColon(std::wstring text) {
    while (!text.empty() && (text.back() == L' ' || text.back() == L':')) {
        text.pop_back();
    }
    return text;
}

}  // namespace bexlo
