// The main dialog's texts and look: the language files' captions and messages, the names that
// screen readers announce, the tab order, and the painting over the background picture.

#include "app/BackupDlg.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

#include "app/ProfileReader.h"
#include "framework/CaptionText.h"
#include "framework/Dpi.h"
#include "res/resource.h"

namespace bexlo {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Controls whose text stands straight on the background bitmap.
constexpr int kTransparentControls[] = {
    IDC_PATH_SETTING, IDC_BACKUP_STYLE, IDC_SOURCE_HEADING, IDC_DEST_HEADING, IDC_RELEASE_DATE,
    IDC_SYNC,         IDC_COPY,         IDC_PROGRESS,       IDC_COPY_PRGS,    IDC_SUMMARY};

// The captions that get access keys, so that Alt and a letter reach them.
constexpr Caption kKeyedCaptions[] = {Caption::Save, Caption::Clear, Caption::Copy, Caption::Sync};

std::wstring CaptionText(HWND control) {
    wchar_t text[kMaxProfileValue + 1]{};
    ::GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    return WithoutAccessKey(text);
}

bool IsTransparentControl(int id) {
    for (int transparent : kTransparentControls) {
        if (transparent == id) {
            return true;
        }
    }
    return false;
}

}  // namespace

void BackupDlg::LoadStringFiles() {
    LanguageTexts texts = ReadLanguageFiles(dataFolderTrusted);
    messageTexts = std::move(texts.messages);
    uiTexts = std::move(texts.ui);
    progressDlg.statusText = uiTexts.copyProgress;
    newDirDlg.labelText = uiTexts.dirName;
    newDirDlg.cancelText = uiTexts.cancel;
    newDirDlg.okText = uiTexts.ok;
    std::array<std::wstring, kCaptionCount> captions;
    for (std::size_t i = 0; i < kCaptionCount; ++i) {
        captions[i] = texts.captionsChanged ? texts.captions[i] : DefaultCaption(Caption(i));
    }
    std::array<std::wstring, std::size(kKeyedCaptions)> keyed;
    std::transform(std::begin(kKeyedCaptions), std::end(kKeyedCaptions), keyed.begin(),
                   [&](Caption id) { return captions[static_cast<std::size_t>(id)]; });
    AddAccessKeys(keyed);
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        captions[static_cast<std::size_t>(kKeyedCaptions[i])] = keyed[i];
    }
    for (const auto& [id, caption] : kCaptionControls) {
        ::SetDlgItemTextW(Handle(), id, captions[static_cast<std::size_t>(caption)].c_str());
    }
}

void BackupDlg::NameControls() {
    // The button that opens the restore window speaks the language of its menu item.
    ::SetDlgItemTextW(Handle(), IDC_RESTORE_OPEN, messageTexts[Msg::RestoreMenu].c_str());
    const auto caption = [this](int id) { return CaptionText(Item(id)); };
    saveButton.SetAccessible({caption(IDC_SAVE), ROLE_SYSTEM_PUSHBUTTON});
    clearButton.SetAccessible({caption(IDC_CLEAR), ROLE_SYSTEM_PUSHBUTTON});
    copyRadio.SetAccessible({caption(IDC_COPY), ROLE_SYSTEM_RADIOBUTTON});
    syncRadio.SetAccessible({caption(IDC_SYNC), ROLE_SYSTEM_RADIOBUTTON});
    newSourceDirButton.SetAccessible({uiTexts.newSourceFolder, ROLE_SYSTEM_PUSHBUTTON});
    newTargetDirButton.SetAccessible({uiTexts.newTargetFolder, ROLE_SYSTEM_PUSHBUTTON});
    restoreButton.SetAccessible({caption(IDC_RESTORE_OPEN), ROLE_SYSTEM_PUSHBUTTON});
    sourceTree.SetAccessible({caption(IDC_SOURCE_HEADING), ROLE_SYSTEM_OUTLINE});
    targetTree.SetAccessible({caption(IDC_DEST_HEADING), ROLE_SYSTEM_OUTLINE});
    const auto shownText = [](HWND label) { return CaptionText(label); };
    sourcePathText.SetAccessible({uiTexts.sourcePath, ROLE_SYSTEM_STATICTEXT, shownText});
    targetPathText.SetAccessible({uiTexts.targetPath, ROLE_SYSTEM_STATICTEXT, shownText});
    progressBar.SetAccessible({WithoutTrailingColon(caption(IDC_COPY_PRGS)),
                               ROLE_SYSTEM_PROGRESSBAR, ProgressDlg::BarValue});
    // Standard buttons show no text beside an icon, and the platform names them by their text.
    ::SetWindowTextW(newSourceDirButton.Handle(), uiTexts.newSourceFolder.c_str());
    ::SetWindowTextW(newTargetDirButton.Handle(), uiTexts.newTargetFolder.c_str());
}

void BackupDlg::ArrangeTabOrder() {
    HWND previous = nullptr;
    for (int id : kTabOrder) {
        if (previous != nullptr) {
            ::SetWindowPos(Item(id), previous, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        }
        previous = Item(id);
    }
    // The radios are one group: arrows move between them and stop at the button after them.
    HWND afterRadios = Item(IDC_NEW_SOURCE_DIR);
    ::SetWindowLongPtrW(afterRadios, GWL_STYLE,
                        ::GetWindowLongPtrW(afterRadios, GWL_STYLE) | WS_GROUP);
}

void BackupDlg::OnScaleChanged(int) {
    folderIcon.Reset();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void BackupDlg::OnPaint() {
    PaintScope paint(Handle());
    if (!folderIcon) {
        folderIcon = LoadIconAt(IDI_NEWFOLDER, SystemMetricAt(SM_CXICON, Dpi()));
    }
    for (int id : {IDC_NEW_TARGET_DIR, IDC_NEW_SOURCE_DIR}) {
        ::SendDlgItemMessageW(Handle(), id, BM_SETIMAGE, IMAGE_ICON,
                              reinterpret_cast<LPARAM>(folderIcon.Get()));
    }
    PaintBackground(paint.Dc());
    ::SendMessageW(progressBar.Handle(), PBM_SETBKCOLOR, 0, kWhite);
    for (CLabelStatic* label : {&sourceFrame, &sourcePathText, &targetFrame, &targetPathText}) {
        label->SetBackColour(kWhite);
    }
    if (::IsIconic(Handle())) {
        RECT client{};
        ::GetClientRect(Handle(), &client);
        const int iconWidth = ::GetSystemMetrics(SM_CXICON);
        const int iconHeight = ::GetSystemMetrics(SM_CYICON);
        ::SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
        ::DrawIcon(paint.Dc(), (client.right - iconWidth + 1) / 2,
                   (client.bottom - iconHeight + 1) / 2, appIcon);
    }
}

void BackupDlg::PaintBackground(HDC dc) {
    RECT client{};
    ::GetClientRect(Handle(), &client);
    HBITMAP picture = backgroundArt.Picture(Dpi(), {client.right, client.bottom});
    background.PaintTransparent(picture, dc, backgroundArt.PictureSize());
}

MsgResult BackupDlg::OnCtlColor(HDC dc, HWND control) {
    if (!IsTransparentControl(::GetDlgCtrlID(control))) {
        return MsgResult::NotHandled();
    }
    ::SetBkMode(dc, TRANSPARENT);
    return MsgResult::Handled(reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH)));
}

}  // namespace bexlo
