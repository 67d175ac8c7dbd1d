#include "app/FileVersionsDlg.h"

#include <commctrl.h>

#include "backup/CheckReport.h"
#include "backup/WalkRules.h"
#include "res/resource.h"

namespace bexlo {

std::wstring LocalMomentText(std::int64_t utc) {
    FILETIME time{static_cast<DWORD>(utc & 0xFFFFFFFF), static_cast<DWORD>(utc >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!::FileTimeToSystemTime(&time, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return {};
    }
    wchar_t date[80] = {};
    wchar_t clock[80] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80, nullptr);
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, clock, 80);
    return std::wstring(date) + L' ' + clock;
}

FileVersionsDlg::FileVersionsDlg(const MessageTexts& texts, std::wstring original,
                                 std::vector<KeptState> states)
    : Dialog(IDD_VERSIONS),
      texts_(texts),
      original_(std::move(original)),
      states_(std::move(states)) {}

bool FileVersionsDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    list_.Attach(Item(IDC_VERSIONS_LIST));
    const std::wstring title = texts_[Msg::VersionsOf] + L' ' + LastSegment(original_);
    ::SetWindowTextW(Handle(), title.c_str());
    ::SetDlgItemTextW(Handle(), IDC_VERSIONS_FILE, original_.c_str());
    ::SetDlgItemTextW(Handle(), IDC_VERSIONS_HERE, texts_[Msg::RestoreHere].c_str());
    ::SetDlgItemTextW(Handle(), IDC_VERSIONS_TO, texts_[Msg::RestoreTo].c_str());
    ::SetDlgItemTextW(Handle(), IDCANCEL, texts_[Msg::RestoreClose].c_str());
    list_.SetAccessible({title, 0, nullptr});
    HWND list = list_.Handle();
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT area{};
    ::GetClientRect(list, &area);
    const int width = area.right - area.left;
    const Msg columns[] = {Msg::RestoreModified, Msg::RestoreSize, Msg::VersionsReplaced};
    const int shares[] = {35, 20, 45};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(texts_[columns[i]].c_str());
        column.cx = width * shares[i] / 100;
        ListView_InsertColumn(list, i, &column);
    }
    // Newest first, as the moments are.
    for (std::size_t i = states_.size(); i-- > 0;) {
        const KeptState& state = states_[i];
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_PARAM;
        row.iItem = ListView_GetItemCount(list);
        std::wstring written = LocalMomentText(state.lastWrite);
        row.pszText = written.data();
        row.lParam = static_cast<LPARAM>(i);
        const int at = ListView_InsertItem(list, &row);
        std::wstring size = SizeText(state.size, texts_);
        ListView_SetItemText(list, at, 1, size.data());
        std::wstring replaced =
            state.replaced == 0 ? texts_[Msg::VersionsCopy] : LocalMomentText(state.replaced);
        ListView_SetItemText(list, at, 2, replaced.data());
    }
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(list);
    return false;
}

MsgResult FileVersionsDlg::OnCommand(WORD id, WORD code, HWND) {
    if (code != BN_CLICKED || (id != IDC_VERSIONS_HERE && id != IDC_VERSIONS_TO)) {
        return MsgResult::NotHandled();
    }
    const int selected = ListView_GetNextItem(list_.Handle(), -1, LVNI_SELECTED);
    if (selected < 0) {
        return MsgResult::Handled();
    }
    LVITEMW row{};
    row.mask = LVIF_PARAM;
    row.iItem = selected;
    ListView_GetItem(list_.Handle(), &row);
    picked_ = Pick{states_[static_cast<std::size_t>(row.lParam)], id == IDC_VERSIONS_TO};
    EndDialog(IDOK);
    return MsgResult::Handled();
}

}  // namespace bexlo
