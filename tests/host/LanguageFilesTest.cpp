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
    void Erase(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
        values_.erase({file, section, key});
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
    profile.Set(kSetupFile, L"MAIN", L"UI_String", section);
    profile.Set(kSetupFile, L"MAIN", L"Msg_String", section);
    for (const wchar_t* key : kUiKeys) {
        profile.Set(kUiStringFile, section, key, std::wstring(L"[") + key + L"]");
    }
    return profile;
}

void ExpectEnglishUi(const UiTexts& ui) {
    EXPECT_EQ(ui.copyProgress, L"Total copy progress: ");
    EXPECT_EQ(ui.dirName, L"Directory Name:");
    EXPECT_EQ(ui.ok, L"OK");
    EXPECT_EQ(ui.cancel, L"Cancel");
    EXPECT_EQ(ui.about, L"About");
}

TEST(LanguageFiles, WithoutSetupEverythingIsEnglishAndNoStringFileIsRead) {
    FakeProfile profile;
    LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_EQ(profile.reads, 2);  // the two language choices
    EXPECT_FALSE(texts.captionsChanged);
    ExpectEnglishUi(texts.ui);
    EXPECT_EQ(texts.messages[Msg::NoSelect], L"Please selsect at least one source item.");
    EXPECT_EQ(texts.messages[Msg::CannotSave], L"The path can't be saved!");
    EXPECT_EQ(texts.messages[Msg::PathLost], L"The source file of path isn't exist, please reset!");
    EXPECT_EQ(texts.messages[Msg::KeyLost], L"Please check your Key!");
    EXPECT_EQ(texts.messages[Msg::DiffVol], L"The volume with last setting is different!");
    EXPECT_EQ(texts.messages[Msg::DirExist], L"The folder name has already exists!");
    EXPECT_EQ(texts.messages[Msg::MkdirFail], L"The folder can't be built!");
    EXPECT_EQ(texts.messages[Msg::Over100], L"The chosen items must less than 100");
    EXPECT_EQ(texts.messages[Msg::CopyFail], L"The copy cannot complete!");
    EXPECT_EQ(texts.messages[Msg::CopyOver], L"Copy complete!");
    EXPECT_EQ(texts.messages[Msg::NoDestDir], L"All the files will copy to");
}

TEST(LanguageFiles, CompleteUiSectionChangesEveryCaptionAndText) {
    LanguageTexts texts = LoadStringFiles(FullLanguage());
    ASSERT_TRUE(texts.captionsChanged);
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::PathSetting)], L"[PATH_SETTING]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Destination)], L"[DESTINATION]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Source)], L"[SOURCE]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Sync)], L"[RD_SYNC]");
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::CopyProgress)], L"[COPY_PRGS]");
    EXPECT_EQ(texts.ui.copyProgress, L"[COPY_PRGS]");
    EXPECT_EQ(texts.ui.dirName, L"[DIR_NAME]");
    EXPECT_EQ(texts.ui.ok, L"[BT_OK]");
    EXPECT_EQ(texts.ui.cancel, L"[BT_CANCEL]");
    EXPECT_EQ(texts.ui.about, L"[ABOUT]");
}

TEST(LanguageFiles, ReadingStopsAtTheFirstMissingUiKey) {
    {
        SCOPED_TRACE("DIR_NAME missing: COPY_PRGS taken, the label emptied, the rest English");
        FakeProfile profile = FullLanguage();
        profile.Erase(kUiStringFile, L"Test", L"DIR_NAME");
        LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged);
        EXPECT_EQ(texts.ui.copyProgress, L"[COPY_PRGS]");
        EXPECT_EQ(texts.ui.dirName, L"");
        EXPECT_EQ(texts.ui.ok, L"OK");
        EXPECT_EQ(texts.ui.cancel, L"Cancel");
        EXPECT_EQ(texts.ui.about, L"About");
    }
    {
        SCOPED_TRACE("NEW_DOLDER missing: nothing changes");
        FakeProfile profile = FullLanguage();
        profile.Erase(kUiStringFile, L"Test", L"NEW_DOLDER");
        LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged);
        ExpectEnglishUi(texts.ui);
    }
    {
        SCOPED_TRACE("ABOUT missing: the four before it taken, ABOUT emptied, no caption");
        FakeProfile profile = FullLanguage();
        profile.Set(kUiStringFile, L"Test", L"ABOUT", L"");
        LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged);
        EXPECT_EQ(texts.ui.cancel, L"[BT_CANCEL]");
        EXPECT_EQ(texts.ui.about, L"");
    }
    {
        SCOPED_TRACE("a section the file lacks: nothing changes");
        FakeProfile profile = FullLanguage();
        profile.Set(kSetupFile, L"MAIN", L"UI_String", L"Klingon");
        LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged);
        ExpectEnglishUi(texts.ui);
    }
}

TEST(LanguageFiles, MessagesAreOverlaidOneByOne) {
    FakeProfile profile = FullLanguage();
    profile.Set(kMsgStringFile, L"Test", L"MSG_MKDIR_FAIL", L"Cannot make it");
    profile.Set(kMsgStringFile, L"Test", L"MSG_COPY_OVER", L"");
    LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_EQ(texts.messages[Msg::MkdirFail], L"Cannot make it");
    EXPECT_EQ(texts.messages[Msg::CopyOver], L"Copy complete!");
    EXPECT_EQ(texts.messages[Msg::KeyLost], L"Please check your Key!");
}

TEST(LanguageFiles, MessageSectionIsChosenApartFromTheUiSection) {
    FakeProfile profile = FullLanguage();
    profile.Set(kSetupFile, L"MAIN", L"UI_String", L"");
    profile.Set(kSetupFile, L"MAIN", L"Msg_String", L"Other");
    profile.Set(kMsgStringFile, L"Other", L"MSG_KEY_LOST", L"Schlüssel?");
    LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_FALSE(texts.captionsChanged);
    EXPECT_EQ(texts.messages[Msg::KeyLost], L"Schlüssel?");
}

TEST(LanguageFiles, SectionNamesLongerThanNineteenCharactersChooseNothing) {
    const std::wstring nineteen(19, L'S');
    const std::wstring twenty(20, L'S');
    {
        FakeProfile profile = FullLanguage(nineteen);
        EXPECT_TRUE(LoadStringFiles(profile).captionsChanged);
    }
    {
        FakeProfile profile = FullLanguage(twenty);
        profile.Set(kMsgStringFile, twenty, L"MSG_KEY_LOST", L"long");
        // A cut-down name must not pick another language either.
        for (const wchar_t* key : kUiKeys) {
            profile.Set(kUiStringFile, nineteen, key, L"wrong language");
        }
        LanguageTexts texts = LoadStringFiles(profile);
        EXPECT_FALSE(texts.captionsChanged);
        ExpectEnglishUi(texts.ui);
        EXPECT_EQ(texts.messages[Msg::KeyLost], L"Please check your Key!");
    }
}

TEST(LanguageFiles, TextsAreKeptAsTheyStandAndCutAt259Characters) {
    FakeProfile profile = FullLanguage();
    profile.Set(kMsgStringFile, L"Test", L"MSG_PATH_LOST", L"%s%n%d 100% lost %%");
    profile.Set(kMsgStringFile, L"Test", L"MSG_DIFF_VOL", std::wstring(5000, L'x'));
    profile.Set(kUiStringFile, L"Test", L"BT_SAVE", std::wstring(300, L'y'));
    LanguageTexts texts = LoadStringFiles(profile);
    EXPECT_EQ(texts.messages[Msg::PathLost], L"%s%n%d 100% lost %%");
    EXPECT_EQ(texts.messages[Msg::DiffVol], std::wstring(kMaxProfileValue, L'x'));
    EXPECT_EQ(texts.captions[static_cast<size_t>(Caption::Save)],
              std::wstring(kMaxProfileValue, L'y'));
}

}  // namespace
}  // namespace bexlo
