#include "framework/CaptionText.h"

#include <gtest/gtest.h>

#include <array>

namespace bexlo {
namespace {

TEST(CaptionText, EachCaptionGetsAKeyOfItsOwnWhereOneIsFree) {
    std::array<std::wstring, 4> english{L"Save", L"Clear", L"Copy", L"Synchronize"};
    AddAccessKeys(english);
    EXPECT_EQ(english,
              (std::array<std::wstring, 4>{L"&Save", L"&Clear", L"C&opy", L"S&ynchronize"}));

    std::array<std::wstring, 4> german{L"Merken", L"Leeren", L"Kopie", L"Abgleich"};
    AddAccessKeys(german);
    EXPECT_EQ(german[3], L"&Abgleich");

    // A language's own key stays and is not given twice; keys ignore case; a caption whose
    // letters are all taken, or that has none, keeps its text.
    std::array<std::wstring, 5> own{L"Co&py", L"cp", L"P&&C", L"..", L"Copy"};
    AddAccessKeys(own);
    EXPECT_EQ(own, (std::array<std::wstring, 5>{L"Co&py", L"&cp", L"P&&C", L"..", L"C&opy"}));
}

TEST(CaptionText, ScreenReadersGetTheCaptionAsItReads) {
    EXPECT_EQ(WithoutAccessKey(L"S&ynchronize"), L"Synchronize");
    EXPECT_EQ(WithoutAccessKey(L"Copy && Sync"), L"Copy & Sync");
    EXPECT_EQ(WithoutAccessKey(L"Save&"), L"Save&");
    EXPECT_EQ(WithoutTrailingColon(L"Total copy progress: "), L"Total copy progress");
    EXPECT_EQ(WithoutTrailingColon(L"Progression totale : "), L"Progression totale");
    EXPECT_EQ(WithoutTrailingColon(L""), L"");
}

}  // namespace
}  // namespace bexlo
