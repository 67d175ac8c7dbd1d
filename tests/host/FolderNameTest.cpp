#include "controls/FolderName.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(FolderName, NamesThatLeaveTheParentOrNameADeviceAreRefused) {
    for (const wchar_t* name : {L"Test", L"a b", L"x.y", L"-_-", L".hidden", L"Größe", L"日本",
                                L"CONSOLE", L"COM10", L"LPT0", L"NULL.txt", L" CON", L"a.."}) {
        EXPECT_TRUE(IsAcceptableFolderName(name)) << testing::PrintToString(std::wstring(name));
    }
    for (const wchar_t* name :
         {L"",         L"   ",       L".",         L"..",       L"...", L". .",   L"..\\..\\x",
          L"a\\b",     L"a/b",       L"C:x",       L"a*",       L"a?",  L"\"a\"", L"<a>",
          L"a|b",      L"tab\there", L"new\nline", L"CON",      L"con", L"Nul",   L"AUX.txt",
          L"prn .log", L"COM1",      L"com9",      L"LPT5.x.y", L"CON "}) {
        EXPECT_FALSE(IsAcceptableFolderName(name)) << testing::PrintToString(std::wstring(name));
    }
}

TEST(FolderName, JoiningPutsOneBackslashBetween) {
    EXPECT_EQ(JoinFolderPath(L"C:\\", L"Test"), L"C:\\Test");
    EXPECT_EQ(JoinFolderPath(L"C:\\Work", L"Test"), L"C:\\Work\\Test");
}

}  // namespace
}  // namespace bexlo
