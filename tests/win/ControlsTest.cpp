#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "backup/NewDirDlg.h"
#include "res/resource.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::WindowText;

// The "Making New Directory" dialog, opened modeless so that the test can type into it. The host
// tests hold the naming rules; here, the typing filter, the length limit and the paste.
class FolderNameField : public testing::Test {
protected:
    void Open(const std::wstring& parent) {
        dialog.parentPath = parent;
        dialog.nameEdit.beep = [this] { ++beeps; };
        ASSERT_TRUE(dialog.Create(nullptr));
        edit = ::GetDlgItem(dialog.Handle(), IDC_NEWDIR_NAME);
    }
    void Type(const std::wstring& keys) const {
        for (wchar_t key : keys) {
            ::SendMessageW(edit, WM_CHAR, key, 1);
        }
    }
    void PressOk() const { test::Click(dialog.Handle(), IDC_NEWDIR_OK); }

    NewDirDlg dialog;
    HWND edit = nullptr;
    int beeps = 0;
};

TEST_F(FolderNameField, RefusedCharactersBeepAndOthersPass) {
    Open(L"C:\\");
    Type(L"x/\\:*?\"<>|y");
    EXPECT_EQ(WindowText(edit), L"xy");
    EXPECT_EQ(beeps, 9);
    ::SetWindowTextW(edit, L"");
    Type(L"a .-_äß1z\bZ");
    EXPECT_EQ(WindowText(edit), L"a .-_äß1Z") << "backspace passes as a control key";
    EXPECT_EQ(beeps, 9);

    ::SetWindowTextW(edit, L"Kept");
    ::SendMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::PumpUntil([this] { return !::IsWindow(edit); }));
    EXPECT_EQ(dialog.newName, L"") << "a cancelled dialog leaves no name";
}

TEST_F(FolderNameField, ALongParentLeavesRoomForSixCharacters) {
    Open(L"C:\\" + std::wstring(237, L'p'));
    EXPECT_EQ(::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 6);
    Type(L"abcdefghij");
    EXPECT_EQ(WindowText(edit), L"abcdef");
}

TEST_F(FolderNameField, PastedNamesAreCheckedAtOk) {
    Open(L"C:\\Work");
    // A real paste: the clipboard's text goes around the typing filter.
    ASSERT_TRUE(::OpenClipboard(dialog.Handle()));
    ::EmptyClipboard();
    const std::wstring pasted = L"..\\..\\x";
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    std::copy_n(pasted.c_str(), pasted.size() + 1, static_cast<wchar_t*>(::GlobalLock(memory)));
    ::GlobalUnlock(memory);
    ::SetClipboardData(CF_UNICODETEXT, memory);
    ::CloseClipboard();
    ::SendMessageW(edit, WM_PASTE, 0, 0);
    EXPECT_EQ(WindowText(edit), pasted);
    PressOk();
    EXPECT_TRUE(::IsWindow(dialog.Handle()));
    EXPECT_EQ(dialog.newName, L"");
    EXPECT_EQ(beeps, 1);

    ::SetWindowTextW(edit, L"Reports 2026");
    PressOk();
    EXPECT_FALSE(::IsWindow(edit)) << "the dialog closed";
    EXPECT_EQ(dialog.newName, L"Reports 2026");
    EXPECT_EQ(beeps, 1);
}

}  // namespace
}  // namespace bexlo
