#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "app/BackupDlg.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::WindowText;
using test::WriteBytes;
using test::WriteUtf16File;

const std::wstring kFullGerman =
    L"[German]\r\n"
    L"PATH_SETTING=Pfad-Einstellung\r\n"
    L"BACKUP_STYLE=Sicherungsart\r\n"
    L"DESTINATION=Ziel\r\n"
    L"SOURCE=Quelle\r\n"
    L"BT_SAVE=Speichern\r\n"
    L"BT_CLEAR=Leeren\r\n"
    L"RD_COPY=Kopieren\r\n"
    L"RD_SYNC=Abgleichen\r\n"
    L"NEW_DOLDER=Neuer Ordner\r\n"
    L"COPY_PRGS=Gesamtfortschritt: \r\n"
    L"DIR_NAME=Ordnername:\r\n"
    L"BT_OK=OK!\r\n"
    L"BT_CANCEL=Abbrechen\r\n"
    L"ABOUT=Über\r\n";

class LanguageFiles : public test::DialogOnMachine {
protected:
    static std::wstring DataFile(const wchar_t* name) {
        return std::wstring(kDataFolder) + L"\\" + name;
    }

    static void ChooseLanguage(const std::wstring& ui, const std::wstring& msg) {
        WriteUtf16File(DataFile(L"Setup.txt"),
                       L"[MAIN]\r\nUI_String=" + ui + L"\r\nMsg_String=" + msg + L"\r\n");
    }

    static std::wstring Caption(const BackupDlg& dialog, int id) {
        return WindowText(::GetDlgItem(dialog.Handle(), id));
    }

    // The host tests hold every default; two captions show that none was replaced.
    static void ExpectEnglishCaptions(const BackupDlg& dialog) {
        EXPECT_EQ(Caption(dialog, IDC_SAVE), L"Save");
        EXPECT_EQ(Caption(dialog, IDC_SYNC), L"Synchronize");
    }
};

TEST_F(LanguageFiles, BadFilesNeverStopTheProgram) {
    {
        SCOPED_TRACE("binary junk everywhere");
        std::string junk;
        for (int i = 0; i < 4096; ++i) {
            junk.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
        }
        WriteBytes(DataFile(L"Setup.txt"), junk);
        WriteBytes(DataFile(L"UI_String(U).txt"), junk);
        WriteBytes(DataFile(L"Msg_String(U).txt"), junk);
        auto dialog = Open();
        ExpectEnglishCaptions(*dialog);
    }
    {
        SCOPED_TRACE("empty files");
        WriteBytes(DataFile(L"Setup.txt"), "");
        WriteBytes(DataFile(L"UI_String(U).txt"), "");
        auto dialog = Open();
        ExpectEnglishCaptions(*dialog);
    }
    {
        SCOPED_TRACE("a section name of 20 characters");
        const std::wstring longName(20, L'L');
        ChooseLanguage(longName, longName);
        std::wstring section = kFullGerman;
        section.replace(1, 6, longName);
        WriteUtf16File(DataFile(L"UI_String(U).txt"), section);
        auto dialog = Open();
        ExpectEnglishCaptions(*dialog);
    }
    {
        SCOPED_TRACE("lines of thousands of characters and percent signs");
        ChooseLanguage(L"German", L"German");
        std::wstring section = kFullGerman;
        const std::wstring longSave(5000, L'S');
        section.replace(section.find(L"Speichern"), 9, longSave);
        WriteUtf16File(DataFile(L"UI_String(U).txt"), section);
        WriteUtf16File(DataFile(L"Msg_String(U).txt"),
                       L"[German]\r\nMSG_PATH_LOST=%s%n%d%%\r\nMSG_DIFF_VOL=" +
                           std::wstring(8000, L'%') + L"\r\n");
        auto dialog = Open();
        EXPECT_EQ(Caption(*dialog, IDC_SAVE), std::wstring(kMaxProfileValue, L'S'));
        EXPECT_EQ(dialog->messageTexts[Msg::PathLost], L"%s%n%d%%");
        EXPECT_EQ(dialog->messageTexts[Msg::DiffVol], std::wstring(kMaxProfileValue, L'%'));
    }
}

TEST_F(LanguageFiles, AnsiFilesWithoutAByteOrderMarkAreReadToo) {
    WriteBytes(DataFile(L"Setup.txt"), "[MAIN]\r\nUI_String=X\r\nMsg_String=X\r\n");
    WriteBytes(DataFile(L"Msg_String(U).txt"), "[x]\r\nMSG_COPY_OVER=Done.\r\n");
    auto dialog = Open();
    EXPECT_EQ(dialog->messageTexts[Msg::CopyOver], L"Done.");  // sections match in any case
}

// The width a caption needs inside its control, with the control's own font.
int CaptionWidth(HWND control) {
    HDC dc = ::GetDC(control);
    auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font);
    const std::wstring text = WindowText(control);
    RECT needed{};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    const LONG type = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (test::ClassName(control) == L"Button") {
        // The radio's circle, or the hover button's edges and text offset.
        return needed.right + (type == BS_AUTORADIOBUTTON ? 16 : 8);
    }
    return needed.right;
}

// The packs in lang/, which the build puts beside the test program.
TEST_F(LanguageFiles, ShippedPacksAreCompleteAndChangeEveryCaption) {
    const std::wstring packs = test::ProgramFolder() + L"lang\\";
    for (const wchar_t* file : {L"Setup.txt", L"UI_String(U).txt", L"Msg_String(U).txt"}) {
        ASSERT_TRUE(::CopyFileW((packs + file).c_str(), DataFile(file).c_str(), FALSE)) << file;
    }
    const wchar_t* uiKeys[] = {L"PATH_SETTING", L"BACKUP_STYLE", L"DESTINATION", L"SOURCE",
                               L"BT_SAVE",      L"BT_CLEAR",     L"RD_COPY",     L"RD_SYNC",
                               L"NEW_DOLDER",   L"COPY_PRGS",    L"DIR_NAME",    L"BT_OK",
                               L"BT_CANCEL",    L"ABOUT"};
    const wchar_t* msgKeys[] = {L"MSG_NO_SELSECT", L"MSG_CANNOT_SAVE", L"MSG_PATH_LOST",
                                L"MSG_KEY_LOST",   L"MSG_DIFF_VOL",    L"MSG_DIR_EXIST",
                                L"MSG_MKDIR_FAIL", L"MSG_OVER_100",    L"MSG_COPY_FAIL",
                                L"MSG_COPY_OVER",  L"MSG_NO_D_DIR"};
    MessageTexts english;
    SetDefaultMessages(english);

    for (const wchar_t* language : {L"English", L"German", L"French"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(language)));
        const bool translated = std::wstring(language) != L"English";
        if (translated) {
            ChooseLanguage(language, language);
        }  // else the shipped Setup.txt chooses English
        auto expectKeys = [language](const std::wstring& file, const auto& keys) {
            for (const wchar_t* key : keys) {
                wchar_t value[260]{};
                EXPECT_GT(::GetPrivateProfileStringW(language, key, L"", value, 260, file.c_str()),
                          0u)
                    << testing::PrintToString(std::wstring(key));
            }
        };
        expectKeys(DataFile(L"UI_String(U).txt"), uiKeys);
        expectKeys(DataFile(L"Msg_String(U).txt"), msgKeys);

        auto dialog = Open();
        for (const auto& [id, caption] : kCaptionControls) {
            SCOPED_TRACE(id);
            HWND control = ::GetDlgItem(dialog->Handle(), id);
            const std::wstring text = WindowText(control);
            EXPECT_FALSE(text.empty());
            if (translated) {
                EXPECT_NE(text, DefaultCaption(caption)) << "not translated";
            }
            RECT client{};
            ::GetClientRect(control, &client);
            EXPECT_LE(CaptionWidth(control), client.right) << testing::PrintToString(text);
        }
        for (std::size_t i = 0; i < kMessageCount; ++i) {
            const Msg id = static_cast<Msg>(i);
            EXPECT_EQ(dialog->messageTexts[id] != english[id], translated) << msgKeys[i];
        }
        if (translated) {
            EXPECT_NE(dialog->newDirDlg.labelText, L"Directory Name:");
            EXPECT_NE(dialog->newDirDlg.cancelText, L"Cancel");
            EXPECT_GT(
                test::SaveScreenshot(dialog->Handle(), L"main-dialog-" + std::wstring(language)),
                50);
        }
    }
}

}  // namespace
}  // namespace bexlo
