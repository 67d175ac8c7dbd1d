#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <string>

#include "app/BackupDlg.h"
#include "framework/Handles.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

struct Named {
    int id;
    LONG role;
    const wchar_t* english;
    const wchar_t* german;
};

// Every control Tab reaches, in its order, and what a screen reader calls it; then the ones it
// only reads.
constexpr Named kTabbed[] = {
    {IDC_SAVE, ROLE_SYSTEM_PUSHBUTTON, L"Save", L"Merken"},
    {IDC_CLEAR, ROLE_SYSTEM_PUSHBUTTON, L"Clear", L"Leeren"},
    {IDC_COPY, ROLE_SYSTEM_RADIOBUTTON, L"Copy", L"Kopie"},
    {IDC_NEW_SOURCE_DIR, ROLE_SYSTEM_PUSHBUTTON, L"New folder in the source tree",
     L"Neuer Ordner in der Quelle"},
    {IDC_SOURCE_TREE, ROLE_SYSTEM_OUTLINE, L"Source", L"Quelle"},
    {IDC_NEW_TARGET_DIR, ROLE_SYSTEM_PUSHBUTTON, L"New folder in the destination tree",
     L"Neuer Ordner im Ziel"},
    {IDC_TARGET_TREE, ROLE_SYSTEM_OUTLINE, L"Destination", L"Ziel"},
    {IDC_RESTORE_OPEN, ROLE_SYSTEM_PUSHBUTTON, L"Restore files\u2026",
     L"Dateien wiederherstellen\u2026"},
};
constexpr Named kRead[] = {
    {IDC_SYNC, ROLE_SYSTEM_RADIOBUTTON, L"Synchronize", L"Abgleich"},
    {IDC_SOURCE_PATH, ROLE_SYSTEM_STATICTEXT, L"Selected source", L"Gewählte Quelle"},
    {IDC_TARGET_PATH, ROLE_SYSTEM_STATICTEXT, L"Selected destination", L"Gewähltes Ziel"},
    {IDC_PROGRESS, ROLE_SYSTEM_PROGRESSBAR, L"Total copy progress", L"Gesamtfortschritt"},
};

struct Spoken {
    std::wstring name;
    LONG role = 0;
    std::wstring value;
};

// What the accessibility interface says of a window, as a screen reader asks it.
Spoken Speak(HWND control) {
    ComRef<IAccessible> object;
    Spoken spoken;
    if (FAILED(::AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                            reinterpret_cast<void**>(object.Put())))) {
        return spoken;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    const auto read = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
        BSTR text = nullptr;
        std::wstring value = (object.Get()->*get)(self, &text) == S_OK && text ? text : L"";
        ::SysFreeString(text);
        return value;
    };
    spoken.name = read(&IAccessible::get_accName);
    spoken.value = read(&IAccessible::get_accValue);
    VARIANT role{};
    if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) {
        spoken.role = role.lVal;
    }
    return spoken;
}

class Keyboard : public test::DialogOnMachine {
protected:
    // A key as the dialog's message loop hands it on.
    static void Press(HWND dialog, UINT message, WPARAM key) {
        MSG msg{::GetFocus(), message, key, 0, 0, {}};
        if (!::IsDialogMessageW(dialog, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        test::PumpPosted();
    }
};

// Tab reaches every control in its order, and each has a name in English, or in the language
// chosen.
TEST_F(Keyboard, TabReachesEveryControlInOrderAndNamesFollowTheChosenLanguage) {
    for (const bool german : {false, true}) {
        SCOPED_TRACE(german ? "German" : "English");
        if (german) {
            UseShippedPacks(L"German");
        }
        auto dialog = Open(true);
        const auto expectNamed = [&](const Named& control, HWND at) {
            const Spoken spoken = Speak(at);
            EXPECT_EQ(spoken.name, german ? control.german : control.english);
            EXPECT_EQ(spoken.role, control.role) << testing::PrintToString(control.english);
        };
        ::SetFocus(::GetNextDlgTabItem(window, nullptr, FALSE));
        for (const Named& control : kTabbed) {
            ASSERT_EQ(::GetDlgCtrlID(::GetFocus()), control.id);
            expectNamed(control, ::GetFocus());
            Press(window, WM_KEYDOWN, VK_TAB);
        }
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_SAVE) << "Tab comes round again";
        // The source tree shows its selection there once it has the focus.
        ::SetDlgItemTextW(window, IDC_SOURCE_PATH, L"C:\\Work");
        ::SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, 45, 0);
        for (const Named& control : kRead) {
            expectNamed(control, ::GetDlgItem(window, control.id));
        }
        EXPECT_EQ(Speak(::GetDlgItem(window, IDC_SOURCE_PATH)).value, L"C:\\Work");
        EXPECT_EQ(Speak(::GetDlgItem(window, IDC_PROGRESS)).value, L"45%");
    }
}

// The radios go by arrows and by their access keys; Space ticks a source in the tree.
TEST_F(Keyboard, ArrowsAccessKeysAndSpaceWork) {
    auto dialog = Open(true);
    const auto checked = [&](int id) { return ::IsDlgButtonChecked(window, id) == BST_CHECKED; };
    ::SetFocus(::GetDlgItem(window, IDC_COPY));
    Press(window, WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_SYNC);
    EXPECT_TRUE(checked(IDC_SYNC) && !checked(IDC_COPY));
    Press(window, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_COPY) << "the arrows stay with the radios";

    ::SetFocus(::GetDlgItem(window, IDC_SAVE));
    EXPECT_EQ(test::WindowText(::GetDlgItem(window, IDC_SYNC)), L"S&ynchronize");
    Press(window, WM_SYSCHAR, L'y');
    EXPECT_TRUE(checked(IDC_SYNC) && !checked(IDC_COPY));
    Press(window, WM_SYSCHAR, L'o');
    EXPECT_TRUE(checked(IDC_COPY) && !checked(IDC_SYNC));

    CTreeFileCtrl& source = dialog->SourceTree();
    HTREEITEM folder = source.SetSelectedPath(L"C:\\windows", false);
    ASSERT_NE(folder, nullptr);
    ::SetFocus(source.Handle());
    ASSERT_FALSE(source.GetCheck(folder));
    Press(window, WM_KEYDOWN, VK_SPACE);
    Press(window, WM_KEYUP, VK_SPACE);
    EXPECT_TRUE(source.GetCheck(folder));
}

}  // namespace
}  // namespace bexlo
