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

class LanguageFiles : public test::DialogOnMachine {
protected:
    static std::wstring Caption(const BackupDlg& dialog, int id) {
        return WindowText(::GetDlgItem(dialog.Handle(), id));
    }
};

// The platform's reader under the host tests' rules: junk, files without a byte-order mark, and
// lines far past its buffers.
TEST_F(LanguageFiles, BadFilesNeverStopTheProgram) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
    }
    for (const wchar_t* file : {L"Setup.txt", L"UI_String(U).txt", L"Msg_String(U).txt"}) {
        WriteBytes(DataFile(file), junk);
    }
    EXPECT_EQ(Caption(*Open(), IDC_SAVE), L"&Save");

    WriteBytes(DataFile(L"Setup.txt"), "[MAIN]\r\nUI_String=X\r\nMsg_String=X\r\n");
    WriteBytes(DataFile(L"Msg_String(U).txt"),
               "[x]\r\nMSG_COPY_OVER=Done.\r\nMSG_DIFF_VOL=" + std::string(8000, '%') + "\r\n");
    auto dialog = Open();
    EXPECT_EQ(dialog->messageTexts[Msg::CopyOver], L"Done.");  // sections match in any case
    EXPECT_EQ(dialog->messageTexts[Msg::DiffVol], std::wstring(kMaxProfileValue, L'%'));
}

// The packs in lang/, which the build puts beside the test program.
TEST_F(LanguageFiles, ShippedPacksAreCompleteAndChangeEveryCaption) {
    MessageTexts english;
    SetDefaultMessages(english);

    for (const wchar_t* language : {L"English", L"German", L"French"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(language)));
        const bool translated = std::wstring(language) != L"English";
        // English is what the shipped Setup.txt chooses.
        UseShippedPacks(translated ? language : L"");
        // A missing key would leave captions or messages in English.
        auto dialog = Open();
        const auto fits = [](HWND control) {
            RECT client{};
            ::GetClientRect(control, &client);
            EXPECT_LE(test::CaptionWidth(control, kDefaultDpi), client.right)
                << testing::PrintToString(WindowText(control));
        };
        for (const auto& [id, caption] : kCaptionControls) {
            SCOPED_TRACE(id);
            HWND control = ::GetDlgItem(dialog->Handle(), id);
            const std::wstring text = WindowText(control);
            EXPECT_FALSE(text.empty());
            if (translated) {
                EXPECT_NE(text, DefaultCaption(caption)) << "not translated";
            }
            fits(control);
        }
        // Its caption is a message's, shared with the notification-area menu.
        fits(::GetDlgItem(dialog->Handle(), IDC_RESTORE_OPEN));
        for (std::size_t i = 0; i < kMessageCount; ++i) {
            const Msg id = static_cast<Msg>(i);
            EXPECT_EQ(dialog->messageTexts[id] != english[id], translated) << i;
        }
        if (translated) {
            EXPECT_NE(dialog->newDirDlg.labelText, L"Directory Name:");
        }
    }
}

}  // namespace
}  // namespace bexlo
