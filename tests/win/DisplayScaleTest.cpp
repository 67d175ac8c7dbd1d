#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/BackupDlg.h"
#include "framework/Dpi.h"
#include "res/resource.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

// The scale the prefix was set to (LogPixels); 96 unless the test run names another.
int PrefixDpi() {
    const char* dpi = std::getenv("BEXLO_LOG_PIXELS");
    return dpi != nullptr ? std::atoi(dpi) : kDefaultDpi;
}

RECT InDialog(HWND dialog, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> ShownControls(HWND dialog) {
    std::vector<HWND> shown;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::IsWindowVisible(child)) {
            shown.push_back(child);
        }
    }
    return shown;
}

// A path display stands inside its bordered frame by design.
bool Nested(int outer, int inner) {
    return (outer == IDC_SOURCE_FRAME && inner == IDC_SOURCE_PATH) ||
           (outer == IDC_TARGET_FRAME && inner == IDC_TARGET_PATH);
}

using DisplayScale = test::DialogOnMachine;

// The dialog at the prefix's scale: laid out in dialog units with fonts, icons and check boxes at
// that size, every control whole and apart inside the window, and the art covering the whole
// window with lines as sharp as at 100 %. The picture is left in the build's artifacts.
TEST_F(DisplayScale, TheMainDialogIsWholeAndSharp) {
    const int dpi = PrefixDpi();
    auto dialog = Open(true);
    ASSERT_EQ(WindowDpi(window), dpi) << "the program is aware of the display's scale";

    LOGFONTW look{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(look),
                 &look);
    EXPECT_EQ(look.lfHeight, -ScaleBetween(9, dpi, 72)) << "Tahoma 9 drawn at the scale";

    RECT client{};
    ::GetClientRect(window, &client);
    const std::vector<HWND> shown = ShownControls(window);
    for (HWND control : shown) {
        const int id = ::GetDlgCtrlID(control);
        SCOPED_TRACE(id);
        const RECT rect = InDialog(window, control);
        EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right &&
                    rect.bottom <= client.bottom);
        RECT inside{};
        ::GetClientRect(control, &inside);
        // An icon button's text is only its name for a screen reader.
        const bool iconOnly = (::GetWindowLongW(control, GWL_STYLE) & BS_ICON) != 0 &&
                              test::ClassName(control) == L"Button";
        if (!iconOnly && !test::WindowText(control).empty()) {
            EXPECT_LE(test::CaptionWidth(control, dpi), inside.right) << "the caption is cut";
        }
        for (HWND other : shown) {
            RECT overlap{};
            const RECT otherRect = InDialog(window, other);
            if (other != control && !Nested(id, ::GetDlgCtrlID(other)) &&
                !Nested(::GetDlgCtrlID(other), id)) {
                EXPECT_FALSE(::IntersectRect(&overlap, &rect, &otherRect))
                    << "overlaps " << ::GetDlgCtrlID(other);
            }
        }
    }

    // The trees: rows as tall as their font, icons and check boxes at the scale.
    for (CTreeFileCtrl* tree : {&dialog->SourceTree(), &dialog->TargetTree()}) {
        HDC dc = ::GetDC(tree->Handle());
        HGDIOBJ old = ::SelectObject(
            dc, reinterpret_cast<HFONT>(::SendMessageW(tree->Handle(), WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, old);
        ::ReleaseDC(tree->Handle(), dc);
        EXPECT_GE(TreeView_GetItemHeight(tree->Handle()), metrics.tmHeight);
        const int iconSize = SystemMetricAt(SM_CXSMICON, dpi);
        int width = 0;
        int height = 0;
        ::ImageList_GetIconSize(TreeView_GetImageList(tree->Handle(), TVSIL_NORMAL), &width,
                                &height);
        EXPECT_EQ(height, iconSize) << "the shell's icons";
        if (tree == &dialog->SourceTree()) {
            ::ImageList_GetIconSize(TreeView_GetImageList(tree->Handle(), TVSIL_STATE), &width,
                                    &height);
            EXPECT_EQ(height, iconSize) << "the check boxes";
        }
    }

    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const test::Picture picture = test::CaptureClient(window);
    EXPECT_TRUE(test::SavePng(
        picture, test::ArtifactsFolder() + L"display-scale-" + std::to_wstring(dpi) + L".png"));

    // No bare dialog face shows: the art reaches every corner between the controls.
    std::vector<bool> onControl(picture.pixels.size());
    for (HWND control : shown) {
        const RECT rect = InDialog(window, control);
        for (int y = std::max(0L, rect.top); y < std::min<LONG>(picture.height, rect.bottom); ++y) {
            for (int x = std::max(0L, rect.left); x < std::min<LONG>(picture.width, rect.right);
                 ++x) {
                onControl[static_cast<std::size_t>(y * picture.width + x)] = true;
            }
        }
    }
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    int bare = 0;
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        bare += !onControl[i] && picture.pixels[i] == face ? 1 : 0;
    }
    EXPECT_EQ(bare, 0) << "pixels of bare dialog face";

    // The title band's line, in the gap between the two trees: its own colour, over no more rows
    // than at 100 % times the scale; a picture stretched to the scale smears it over more, paler.
    RECT gap{151, 0, 171, 61};
    ::MapDialogRect(window, &gap);
    // In the gap's middle column: the rows darker than all around the line, and the darkest red.
    int rows = 0;
    int darkest = 255;
    for (int y = 0; y < gap.bottom; ++y) {
        const int red = GetRValue(picture.At((gap.left + gap.right) / 2, y));
        rows += red < 188 ? 1 : 0;
        darkest = std::min(darkest, red);
    }
    EXPECT_GE(rows, 1);
    EXPECT_LE(rows * kDefaultDpi, dpi) << rows << " rows";
    EXPECT_LE(darkest, 168) << "the line's own colour";
}

}  // namespace
}  // namespace bexlo
