#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "backup/NewDirDlg.h"
#include "controls/CLabelStatic.h"
#include "res/resource.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::WindowText;

constexpr COLORREF kUntouched = RGB(255, 0, 255);

// A 32-bit memory picture, filled with kUntouched, to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        dc_.Reset(::CreateCompatibleDC(nullptr));
        old_ = ::SelectObject(dc_.Get(), bitmap_.Get());
        const RECT all{0, 0, width, height};
        UniqueBrush fill(::CreateSolidBrush(kUntouched));
        ::FillRect(dc_.Get(), &all, fill.Get());
    }
    ~Canvas() { ::SelectObject(dc_.Get(), old_); }

    HDC Dc() const { return dc_.Get(); }
    COLORREF At(int x, int y) const { return ::GetPixel(dc_.Get(), x, y); }

private:
    UniqueBitmap bitmap_;
    UniqueMemoryDc dc_;
    HGDIOBJ old_ = nullptr;
};

std::string Rgb(COLORREF c) {
    return "(" + std::to_string(GetRValue(c)) + ", " + std::to_string(GetGValue(c)) + ", " +
           std::to_string(GetBValue(c)) + ")";
}

#define EXPECT_COLOUR(actual, expected) EXPECT_EQ(Rgb(actual), Rgb(expected))

// A window that lives for the test, deleted at the end.
struct TestWindow {
    TestWindow(const wchar_t* className, const wchar_t* text, DWORD style, int width, int height)
        : handle(::CreateWindowExW(0, className, text, WS_POPUP | style, 0, 0, width, height,
                                   nullptr, nullptr, nullptr, nullptr)) {}
    ~TestWindow() { ::DestroyWindow(handle); }
    HWND handle;
};

TEST(Controls, PaintTransparentKeepsPureWhiteOnly) {
    TestWindow holder(L"Static", L"", 0, 4, 1);
    CLabelStatic label;
    ASSERT_TRUE(label.Attach(holder.handle));
    HDC screen = ::GetDC(nullptr);
    UniqueBitmap image(::CreateCompatibleBitmap(screen, 4, 1));
    ::ReleaseDC(nullptr, screen);
    {
        UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        ScopedSelect select(dc.Get(), image.Get());
        const COLORREF pixels[] = {RGB(255, 255, 255), RGB(254, 255, 255), RGB(0, 0, 0),
                                   RGB(10, 20, 30)};
        for (int x = 0; x < 4; ++x) {
            ::SetPixel(dc.Get(), x, 0, pixels[x]);
        }
    }
    Canvas canvas(6, 2);
    ::SetBkColor(canvas.Dc(), RGB(1, 2, 3));
    ::SetTextColor(canvas.Dc(), RGB(4, 5, 6));
    label.PaintTransparent(image.Get(), canvas.Dc());
    EXPECT_COLOUR(canvas.At(0, 0), kUntouched);
    EXPECT_COLOUR(canvas.At(1, 0), RGB(254, 255, 255));
    EXPECT_COLOUR(canvas.At(2, 0), RGB(0, 0, 0));
    EXPECT_COLOUR(canvas.At(3, 0), RGB(10, 20, 30));
    EXPECT_COLOUR(canvas.At(4, 0), kUntouched) << "only the control's size";
    EXPECT_EQ(::GetBkColor(canvas.Dc()), RGB(1, 2, 3));
    EXPECT_EQ(::GetTextColor(canvas.Dc()), RGB(4, 5, 6));
}

// The "Making New Directory" dialog, opened modeless so that the test can type into it.
class FolderNameField : public testing::Test {
protected:
    void Open(const std::wstring& parent) {
        dialog.parentPath = parent;
        dialog.labelText = L"Name:";
        dialog.okText = L"Make";
        dialog.cancelText = L"Leave";
        dialog.nameEdit.beep = [this] { ++beeps; };
        ASSERT_TRUE(dialog.Create(nullptr));
        edit = ::GetDlgItem(dialog.Handle(), IDC_NEWDIR_NAME);
    }
    void Type(const std::wstring& keys) const {
        for (wchar_t key : keys) {
            ::SendMessageW(edit, WM_CHAR, key, 1);
        }
    }
    void PressOk() const {
        ::SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_NEWDIR_OK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog.Handle(), IDC_NEWDIR_OK)));
    }

    NewDirDlg dialog;
    HWND edit = nullptr;
    int beeps = 0;
};

TEST_F(FolderNameField, RefusedCharactersBeepAndOthersPass) {
    Open(L"C:\\");
    EXPECT_EQ(WindowText(::GetDlgItem(dialog.Handle(), IDC_NEWDIR_LABEL)), L"Name:");
    EXPECT_EQ(WindowText(::GetDlgItem(dialog.Handle(), IDC_NEWDIR_OK)), L"Make");
    EXPECT_EQ(WindowText(::GetDlgItem(dialog.Handle(), IDCANCEL)), L"Leave");
    EXPECT_FALSE(::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);

    Type(L"a:b");
    EXPECT_EQ(WindowText(edit), L"ab");
    EXPECT_EQ(beeps, 1);

    ::SetWindowTextW(edit, L"");
    Type(L"x/\\:*?\"<>|y");
    EXPECT_EQ(WindowText(edit), L"xy");
    EXPECT_EQ(beeps, 10);

    ::SetWindowTextW(edit, L"");
    Type(L"a .-_äß1z\bZ");
    EXPECT_EQ(WindowText(edit), L"a .-_äß1Z") << "backspace passes as a control key";
    EXPECT_EQ(beeps, 10);
}

TEST_F(FolderNameField, ALongParentLeavesRoomForSixCharacters) {
    Open(L"C:\\" + std::wstring(237, L'p'));
    EXPECT_EQ(::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 6);
    Type(L"abcdefghij");
    EXPECT_EQ(WindowText(edit), L"abcdef");
}

TEST_F(FolderNameField, PastedNamesAreCheckedAtOk) {
    Open(L"C:\\Work");
    // A real paste first: the clipboard's text goes around the typing filter.
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

    int expectedBeeps = 1;
    // One of each kind; the host tests go through the rules in full.
    for (const wchar_t* name : {L"a\\b", L"   ", L"..", L"CON"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        ::SetWindowTextW(edit, name);
        PressOk();
        EXPECT_TRUE(::IsWindow(dialog.Handle()));
        EXPECT_EQ(beeps, ++expectedBeeps);
    }

    ::SetWindowTextW(edit, L"Reports 2026");
    PressOk();
    EXPECT_FALSE(::IsWindow(edit)) << "the dialog closed";
    EXPECT_EQ(dialog.newName, L"Reports 2026");
    EXPECT_EQ(beeps, expectedBeeps);
}

TEST_F(FolderNameField, CancelLeavesNoName) {
    Open(L"C:\\");
    ::SetWindowTextW(edit, L"Kept");
    ::SendMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::PumpUntil([this] { return !::IsWindow(edit); }));
    EXPECT_EQ(dialog.newName, L"");
}

}  // namespace
}  // namespace bexlo
