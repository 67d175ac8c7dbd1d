#include "app/InstanceRules.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

constexpr wchar_t kCaption[] = L"Bexlo";

WindowFacts Window(const std::wstring& className, const std::wstring& caption, bool sameProgram,
                   bool withRights) {
    return {className, caption, sameProgram, withRights};
}

// A starting copy steps aside for the window of a running copy of its own program with
// administrator rights, or for a lock such a copy made; nothing another program made or a copy
// started without rights shows keeps it from starting.
TEST(InstanceRules, ASecondStartDefersOnlyToACopyOfItsOwnProgramWithRights) {
    const WindowFacts first = Window(L"#32770", kCaption, true, true);
    EXPECT_TRUE(IsProgramWindow(first, kCaption, CopyRights::Administrators));

    const WindowFacts withoutRights = Window(L"#32770", kCaption, true, false);
    EXPECT_FALSE(IsProgramWindow(withoutRights, kCaption, CopyRights::Administrators));
    // Asked to end, every copy of the program counts.
    EXPECT_TRUE(IsProgramWindow(withoutRights, kCaption, CopyRights::Any));

    for (const WindowFacts& other :
         {Window(L"#32770", kCaption, false, true), Window(L"CabinetWClass", kCaption, true, true),
          Window(L"#32770", L"Bexlo - Notepad", true, true),
          Window(L"#32770", L"bexlo", true, true)}) {
        EXPECT_FALSE(IsProgramWindow(other, kCaption, CopyRights::Any))
            << testing::PrintToString(other.className) << " "
            << testing::PrintToString(other.caption) << " " << other.sameProgram;
    }

    EXPECT_FALSE(StartsAsSecondCopy(LockHolder::ThisCopy, false));
    EXPECT_FALSE(StartsAsSecondCopy(LockHolder::Someone, false));
    EXPECT_TRUE(StartsAsSecondCopy(LockHolder::Someone, true));
    EXPECT_TRUE(StartsAsSecondCopy(LockHolder::ThisCopy, true));
    // A copy with rights that is starting holds the lock before its window exists.
    EXPECT_TRUE(StartsAsSecondCopy(LockHolder::CopyWithRights, false));
}

// Only administrators and the system can make an object with their owner; a program of the
// person's, with the person's owner, merely took the name first.
TEST(InstanceRules, ALockFoundCountsOnlyWhenAdministratorsOrTheSystemMadeIt) {
    EXPECT_EQ(LockHolderOf(true, true, ObjectOwner::Other), LockHolder::ThisCopy);
    EXPECT_EQ(LockHolderOf(false, true, ObjectOwner::Administrators), LockHolder::CopyWithRights);
    EXPECT_EQ(LockHolderOf(false, true, ObjectOwner::System), LockHolder::CopyWithRights);
    EXPECT_EQ(LockHolderOf(false, true, ObjectOwner::Other), LockHolder::Someone);
    EXPECT_EQ(LockHolderOf(false, false, ObjectOwner::Administrators), LockHolder::Someone);
}

// A program started without rights keeps the Administrators group in its token, for denying
// only: being in the group is not enough.
TEST(InstanceRules, OnlyAnEnabledAdministratorsGroupGivesRights) {
    EXPECT_TRUE(GroupGivesRights(0x0F));   // an elevated token's
    EXPECT_FALSE(GroupGivesRights(0x10));  // a filtered token's
    EXPECT_FALSE(GroupGivesRights(0x19));  // a restricted token's under Wine
    EXPECT_FALSE(GroupGivesRights(0x14));
    EXPECT_FALSE(GroupGivesRights(0x03));  // enabled by default, but disabled
}

}  // namespace
}  // namespace bexlo
