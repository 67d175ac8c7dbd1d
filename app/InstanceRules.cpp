#include "app/InstanceRules.h"

namespace bexlo {

namespace {

// The platform's token group attributes.
constexpr std::uint32_t kGroupEnabled = 0x4;
constexpr std::uint32_t kGroupDenyOnly = 0x10;

constexpr wchar_t kDialogClass[] = L"#32770";

}  // namespace

LockHolder LockHolderOf(bool madeNow, bool readable, ObjectOwner owner) {
    if (madeNow) {
        return LockHolder::ThisCopy;
    }
    if (readable && owner != ObjectOwner::Other) {
        return LockHolder::CopyWithRights;
    }
    return LockHolder::Someone;
}

bool IsProgramWindow(const WindowFacts& window, const std::wstring& caption, CopyRights rights) {
    return window.className == kDialogClass && window.caption == caption && window.sameProgram &&
           (rights == CopyRights::Any || window.withRights);
}

bool StartsAsSecondCopy(LockHolder lock, bool firstCopyWindowFound) {
    return firstCopyWindowFound || lock == LockHolder::CopyWithRights;
}

bool GroupGivesRights(std::uint32_t attributes) {
    return (attributes & kGroupEnabled) != 0 && (attributes & kGroupDenyOnly) == 0;
}

}  // namespace bexlo
