#include "framework/NameCase.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <algorithm>
#include <array>
#include <cstdint>
#endif

namespace bexlo {

#if defined(_WIN32)

std::wstring FoldCase(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    std::wstring folded(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    // Without linguistic casing the platform upper-cases as its file systems and its ordinal
    // comparison do; the length never changes.
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length, folded.data(),
                        length, nullptr, nullptr, 0) != length) {
        return std::wstring(text);
    }
    return folded;
}

#else

namespace {

struct CaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t stride;
    std::int32_t delta;
};

constexpr CaseRun kCaseRuns[] = {
#include "framework/CaseTable.inc"
};

wchar_t FoldUnit(wchar_t unit) {
    if (unit > 0xFFFF) {
        return unit;
    }
    const auto at = std::upper_bound(
        std::begin(kCaseRuns), std::end(kCaseRuns), unit,
        [](wchar_t value, const CaseRun& run) { return value < static_cast<wchar_t>(run.first); });
    if (at == std::begin(kCaseRuns)) {
        return unit;
    }
    const CaseRun& run = *(at - 1);
    if (unit > run.last || (unit - run.first) % run.stride != 0) {
        return unit;
    }
    return static_cast<wchar_t>(static_cast<std::int32_t>(unit) + run.delta);
}

}  // namespace

std::wstring FoldCase(std::wstring_view text) {
    std::wstring folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldUnit);
    return folded;
}

#endif

bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

}  // namespace bexlo
