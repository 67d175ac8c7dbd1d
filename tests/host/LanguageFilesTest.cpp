#include "app/LanguageFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace bexlo {
namespace {

// An in-memory stand-in for the ini files, answering like the platform reader.
class FakeProfile : public ProfileSource {
public:
    void Set(const std::wstring& file, const std::wstring& section, const std::wstring& key,
             const std::wstring& value) {
        values_[{file, section, key}] = value;
    }
    std::wstring Read(const std::wstring& file, const std::wstring& section,
                      const std::wstring& key) const override {
        ++reads;
        auto found = values_.find({file, section, key});
        return found == values_.end() ? std::wstring() : found->second;
    }

    mutable int reads = 0;

private:
    std::map<std::tuple<std::wstring, std::wstring, std::wstring>, std::wstring> values_;
};

const wchar_t* const kUiKeys[] = {L"PATH_SETTING", L"BACKUP_STYLE", L"DESTINATION", L"SOURCE",
                                  L"BT_SAVE",      L"BT_CLEAR",     L"RD_COPY",     L"RD_SYNC",
                                  L"NEW_DOLDER",   L"COPY_PRGS",    L"DIR_NAME",    L"BT_OK",
                                  L"BT_CANCEL",    L"ABOUT"};

// A language whose every UI text is its key in brackets, e.g. "[BT_SAVE]".
FakeProfile FullLanguage(const std::wstring& section = L"Test") {
    FakeProfile profile;
    profile.Set(SetupFile(), L"MAIN", L"UI_String", section);
    profile.Set(SetupFile(), L"MAIN", L"Msg_String", section);
    for (const wchar_t* key : kUiKeys) {
        profile.Set(UiStringFile(), section, key, std::wstring(L"[") + key + L"]");
    }
    return profile;
}

// The five UI texts in one line, to compare at once.
std::wstring Ui(const LanguageTexts& texts) {
    const UiTexts& ui = texts.ui;
    return ui.copyProgress + L"|" + ui.dirName + L"|" + ui.ok + L"|" + ui.cancel + L"|" + ui.about;
}
const std::wstring kEnglishUi = L"Total copy progress: |Directory Name:|OK|Cancel|About";

TEST(LanguageFiles, WithoutSetupEverythingIsEnglishAndNoStringFileIsRead) {
    FakeProfile profile;
    const LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_EQ(profile.reads, 2);  // the two language choices
    EXPECT_FALSE(texts.captionsChanged);
    EXPECT_EQ(Ui(texts), kEnglishUi);
}

TEST(LanguageFiles, ACompleteUiSectionChangesEveryCaptionAndText) {
    const LanguageTexts texts = LoadStringFiles(FullLanguage());
    ASSERT_TRUE(texts.captionsChanged);
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::PathSetting)], L"[PATH_SETTING]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Sync)], L"[RD_SYNC]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::CopyProgress)], L"[COPY_PRGS]");
    EXPECT_EQ(Ui(texts), L"[COPY_PRGS]|[DIR_NAME]|[BT_OK]|[BT_CANCEL]|[ABOUT]");
}

TEST(LanguageFiles, ReadingStopsAtTheFirstMissingUiKey) {
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        // COPY_PRGS taken, the missing label emptied, the rest English.
        {L"DIR_NAME", L"[COPY_PRGS]||OK|Cancel|About"},
        {L"NEW_DOLDER", kEnglishUi},
        {L"ABOUT", L"[COPY_PRGS]|[DIR_NAME]|[BT_OK]|[BT_CANCEL]|"},
    };
    for (const auto& [missing, ui] : cases) {
        FakeProfile profile = FullLanguage();
        profile.Set(UiStringFile(), L"Test", missing, L"");
        const LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged) << missing;
        EXPECT_EQ(Ui(texts), ui) << missing;
    }
    FakeProfile profile = FullLanguage();
    profile.Set(SetupFile(), L"MAIN", L"UI_String", L"Klingon");
    EXPECT_EQ(Ui(LoadStringFiles(profile)), kEnglishUi) << "a section the file lacks";
}

// The names a screen reader says are new keys that older packs lack: each is taken on its own,
// whether or not the captions are.
TEST(LanguageFiles, AccessibleNamesAreTakenOneByOneWithEnglishForTheMissing) {
    const auto names = [](const UiTexts& ui) {
        return ui.newSourceFolder + L"|" + ui.newTargetFolder + L"|" + ui.sourcePath + L"|" +
               ui.targetPath;
    };
    const std::wstring english =
        L"New folder in the source tree|New folder in the destination tree|Selected source|"
        L"Selected destination";
    EXPECT_EQ(names(LoadStringFiles(FakeProfile()).ui), english);
    EXPECT_EQ(names(LoadStringFiles(FullLanguage()).ui), english) << "a pack from before them";

    FakeProfile profile = FullLanguage();
    profile.Set(UiStringFile(), L"Test", L"BT_SAVE", L"");
    profile.Set(UiStringFile(), L"Test", L"ACC_SRC_PATH", L"Quelle");
    const LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_FALSE(texts.captionsChanged);
    EXPECT_EQ(texts.ui.sourcePath, L"Quelle");
    EXPECT_EQ(texts.ui.targetPath, L"Selected destination");
}

TEST(LanguageFiles, MessagesAreOverlaidOneByOneFromTheirOwnSection) {
    FakeProfile profile = FullLanguage();
    profile.Set(SetupFile(), L"MAIN", L"UI_String", L"");
    profile.Set(SetupFile(), L"MAIN", L"Msg_String", L"Other");
    profile.Set(MsgStringFile(), L"Other", L"MSG_KEY_LOST", L"Schlüssel?");
    profile.Set(MsgStringFile(), L"Other", L"MSG_COPY_OVER", L"");
    const LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_FALSE(texts.captionsChanged);
    EXPECT_EQ(texts.messages[Msg::KeyLost], L"Schlüssel?");
    EXPECT_EQ(texts.messages[Msg::CopyOver], L"Copy complete!");
}

TEST(LanguageFiles, SectionNamesLongerThanNineteenCharactersChooseNothing) {
    const std::wstring nineteen(19, L'S');
    const std::wstring twenty(20, L'S');
    EXPECT_TRUE(LoadStringFiles(FullLanguage(nineteen)).captionsChanged);

    FakeProfile profile = FullLanguage(twenty);
    profile.Set(MsgStringFile(), twenty, L"MSG_KEY_LOST", L"long");
    // A cut-down name must not pick another language either.
    for (const wchar_t* key : kUiKeys) {
        profile.Set(UiStringFile(), nineteen, key, L"wrong language");
    }
    const LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_FALSE(texts.captionsChanged);
    EXPECT_EQ(Ui(texts), kEnglishUi);
    EXPECT_EQ(texts.messages[Msg::KeyLost], L"Please check your Key!");
}

TEST(LanguageFiles, TextsAreKeptAsTheyStandAndCutAt259Characters) {
    FakeProfile profile = FullLanguage();
    profile.Set(MsgStringFile(), L"Test", L"MSG_PATH_LOST", L"%s%n%d 100% lost %%");
    profile.Set(MsgStringFile(), L"Test", L"MSG_DIFF_VOL", std::wstring(5000, L'x'));
    profile.Set(UiStringFile(), L"Test", L"BT_SAVE", std::wstring(300, L'y'));
    const LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_EQ(texts.messages[Msg::PathLost], L"%s%n%d 100% lost %%");
    EXPECT_EQ(texts.messages[Msg::DiffVol], std::wstring(kMaxProfileValue, L'x'));
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Save)],
              std::wstring(kMaxProfileValue, L'y'));
}

}  // namespace
}  // namespace bexlo
