#include "app/RestoreDlg.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

#include "app/FileVersionsDlg.h"
#include "backup/Catalog.h"
#include "backup/CheckReport.h"
#include "backup/ProgressDlg.h"
#include "backup/RestoreReport.h"
#include "backup/WalkRules.h"
#include "framework/CaptionText.h"
#include "framework/LongPath.h"
#include "res/resource.h"

namespace bexlo {

namespace {

constexpr UINT_PTR kRestoreTimer = 1;
constexpr UINT kRestoreTimerMs = 250;
// The search waits for the typing to pause.
constexpr UINT_PTR kFindTimer = 2;
constexpr UINT kFindTimerMs = 300;
constexpr std::size_t kMostFound = 2000;
constexpr int kBarRange = 1000;

constexpr int kUncheckedImage = 1;
constexpr int kCheckedImage = 2;

// The controls a restore going must not see used.
constexpr int kHeldControls[] = {IDC_RESTORE_MOMENT, IDC_RESTORE_FIND,     IDC_RESTORE_TREE,
                                 IDC_RESTORE_LIST,   IDC_RESTORE_VERSIONS, IDC_RESTORE_HERE,
                                 IDC_RESTORE_TO};

}  // namespace

RestoreDlg::RestoreDlg(const MessageTexts& texts, FileSystem& fs, RestoreSetup setup,
                       PickFolder pick)
    : Dialog(IDD_RESTORE),
      texts_(texts),
      fs_(fs),
      setup_(std::move(setup)),
      pick_(std::move(pick)) {}

bool RestoreDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    tree_.Attach(Item(IDC_RESTORE_TREE));
    list_.Attach(Item(IDC_RESTORE_LIST));
    bar_.Attach(Item(IDC_RESTORE_BAR));
    ShowTexts();
    ReadBackup();
    ShowMoment();
    ::SetFocus(Item(IDC_RESTORE_MOMENT));
    return false;
}

void RestoreDlg::ShowTexts() {
    ::SetWindowTextW(Handle(), texts_[Msg::RestoreTitle].c_str());
    const std::pair<int, Msg> captions[] = {
        {IDC_RESTORE_MOMENT_LABEL, Msg::RestoreMoment},
        {IDC_RESTORE_FIND_LABEL, Msg::RestoreFind},
        {IDC_RESTORE_VERSIONS, Msg::RestoreVersions},
        {IDC_RESTORE_HERE, Msg::RestoreHere},
        {IDC_RESTORE_TO, Msg::RestoreTo},
        {IDCANCEL, Msg::RestoreClose},
    };
    for (const auto& [id, text] : captions) {
        ::SetDlgItemTextW(Handle(), id, texts_[text].c_str());
    }
    std::wstring notice = setup_.destination;
    if (setup_.otherPc) {
        notice = texts_[Msg::RestoreOtherPc] + L' ' + setup_.otherPc->name + L"\n" +
                 texts_[Msg::RestorePlaces];
        for (std::size_t i = 0; i < setup_.sources.size(); ++i) {
            notice += (i == 0 ? L" " : L"; ") + setup_.sources[i];
            if (setup_.places[i] != setup_.sources[i]) {
                notice += L" \u2192 " + setup_.places[i];
            }
        }
    }
    ::SetDlgItemTextW(Handle(), IDC_RESTORE_NOTICE, notice.c_str());
    tree_.SetAccessible({WithoutTrailingColon(texts_[Msg::RestoreTitle]), 0, nullptr});
    list_.SetAccessible({texts_[Msg::RestoreFiles], 0, nullptr});
    bar_.SetAccessible({WithoutTrailingColon(texts_[Msg::RestoreDoing]), ROLE_SYSTEM_PROGRESSBAR,
                        ProgressDlg::BarValue});
    ::SendMessageW(bar_.Handle(), PBM_SETRANGE32, 0, kBarRange);

    HWND list = list_.Handle();
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT area{};
    ::GetClientRect(list, &area);
    const int width = area.right - area.left - ::GetSystemMetrics(SM_CXVSCROLL);
    const Msg columns[] = {Msg::RestoreName, Msg::RestoreSize, Msg::RestoreModified,
                           Msg::RestoreNote};
    const int shares[] = {34, 14, 32, 20};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.pszText = const_cast<wchar_t*>(texts_[columns[i]].c_str());
        column.cx = width * shares[i] / 100;
        ListView_InsertColumn(list, i, &column);
    }
}

void RestoreDlg::ReadBackup() {
    const HCURSOR before = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    {
        // Open only while read: a press needs the catalog to itself.
        const std::unique_ptr<Catalog> catalog =
            Catalog::Open(fs_, LongPath(setup_.destination), setup_.machine, fs_.CurrentTime());
        timeline_ = BackupTimeline::Read(fs_, setup_.destination, setup_.sources, catalog.get());
    }
    moments_ = timeline_.Moments();
    HWND combo = Item(IDC_RESTORE_MOMENT);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(combo, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(texts_[Msg::RestoreLatest].c_str()));
    for (std::int64_t moment : moments_) {
        ::SendMessageW(combo, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(LocalMomentText(moment).c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    ::SetCursor(before);
}

void RestoreDlg::ShowMoment() {
    const LRESULT chosen = ::SendDlgItemMessageW(Handle(), IDC_RESTORE_MOMENT, CB_GETCURSEL, 0, 0);
    const std::int64_t moment = chosen <= 0 || static_cast<std::size_t>(chosen) > moments_.size()
                                    ? BackupTimeline::kLatest
                                    : moments_[static_cast<std::size_t>(chosen) - 1];
    // The folder shown stays shown where the moment has it.
    std::wstring shownKey =
        folder_ != RestoreChoice::kNone ? choice_.Folders()[folder_].key : std::wstring();
    choice_.Show(timeline_.At(moment), setup_.sources, texts_[Msg::RestoreFromPc]);
    folder_ = RestoreChoice::kNone;
    HWND tree = tree_.Handle();
    ::SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(tree);
    AddFolders(TVI_ROOT, choice_.Roots());
    ::SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    HTREEITEM first = TreeView_GetRoot(tree);
    HTREEITEM select = first;
    // Open the way down to the folder that was shown.
    for (HTREEITEM item = first; item != nullptr && !shownKey.empty();) {
        const std::wstring& key = choice_.Folders()[FolderOf(item)].key;
        if (key == shownKey) {
            select = item;
            break;
        }
        if (shownKey.starts_with(key + L'\\')) {
            TreeView_Expand(tree, item, TVE_EXPAND);
            item = TreeView_GetChild(tree, item);
        } else {
            item = TreeView_GetNextSibling(tree, item);
        }
    }
    if (select != nullptr) {
        TreeView_SelectItem(tree, select);
        folder_ = FolderOf(select);
    }
    ShowFiles();
}

void RestoreDlg::AddFolders(HTREEITEM parent, const std::vector<std::size_t>& folders) {
    const auto& all = choice_.Folders();
    for (std::size_t folder : folders) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
        insert.item.pszText = const_cast<wchar_t*>(all[folder].label.c_str());
        insert.item.lParam = static_cast<LPARAM>(folder);
        insert.item.cChildren = all[folder].folders.empty() ? 0 : 1;
        insert.item.stateMask = TVIS_STATEIMAGEMASK;
        insert.item.state =
            INDEXTOSTATEIMAGEMASK(choice_.FolderTicked(folder) ? kCheckedImage : kUncheckedImage);
        TreeView_InsertItem(tree_.Handle(), &insert);
    }
}

std::size_t RestoreDlg::FolderOf(HTREEITEM item) const {
    TVITEMW read{};
    read.mask = TVIF_PARAM;
    read.hItem = item;
    TreeView_GetItem(tree_.Handle(), &read);
    return static_cast<std::size_t>(read.lParam);
}

void RestoreDlg::ShowTreeTicks(HTREEITEM item) {
    HWND tree = tree_.Handle();
    for (; item != nullptr; item = TreeView_GetNextSibling(tree, item)) {
        const bool ticked = choice_.FolderTicked(FolderOf(item));
        TreeView_SetItemState(tree, item,
                              INDEXTOSTATEIMAGEMASK(ticked ? kCheckedImage : kUncheckedImage),
                              TVIS_STATEIMAGEMASK);
        ShowTreeTicks(TreeView_GetChild(tree, item));
    }
}

void RestoreDlg::ShowFiles() {
    HWND list = list_.Handle();
    filling_ = true;
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    wchar_t typed[256] = {};
    ::GetDlgItemTextW(Handle(), IDC_RESTORE_FIND, typed, 256);
    const bool finding = typed[0] != L'\0';
    const std::vector<std::size_t> files = finding ? choice_.Find(typed, kMostFound)
                                           : folder_ != RestoreChoice::kNone
                                               ? choice_.Folders()[folder_].files
                                               : std::vector<std::size_t>{};
    for (std::size_t index : files) {
        const FileAtMoment& file = choice_.Files()[index];
        std::wstring name = finding ? choice_.PathInSource(index) : LastSegment(file.original);
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_PARAM;
        row.iItem = ListView_GetItemCount(list);
        row.pszText = name.data();
        row.lParam = static_cast<LPARAM>(index);
        const int at = ListView_InsertItem(list, &row);
        std::wstring size = SizeText(file.state.size, texts_);
        ListView_SetItemText(list, at, 1, size.data());
        std::wstring written = LocalMomentText(file.state.lastWrite);
        ListView_SetItemText(list, at, 2, written.data());
        std::wstring note = file.gone      ? texts_[Msg::RestoreGone]
                            : file.thinned ? texts_[Msg::RestoreThinned]
                                           : std::wstring();
        ListView_SetItemText(list, at, 3, note.data());
        ListView_SetCheckState(list, at, choice_.FileTicked(index));
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    filling_ = false;
}

void RestoreDlg::OnTreeTick(HTREEITEM item) {
    const UINT state = TreeView_GetItemState(tree_.Handle(), item, TVIS_STATEIMAGEMASK);
    choice_.TickFolder(FolderOf(item), (state >> 12) == kCheckedImage);
    ShowTreeTicks(TreeView_GetRoot(tree_.Handle()));
    ShowFiles();
}

MsgResult RestoreDlg::OnCommand(WORD id, WORD code, HWND) {
    if (id == IDC_RESTORE_MOMENT && code == CBN_SELCHANGE) {
        ShowMoment();
        return MsgResult::Handled();
    }
    if (id == IDC_RESTORE_FIND && code == EN_CHANGE) {
        ::SetTimer(Handle(), kFindTimer, kFindTimerMs, nullptr);
        return MsgResult::Handled();
    }
    if (code != BN_CLICKED) {
        return MsgResult::NotHandled();
    }
    switch (id) {
        case IDC_RESTORE_VERSIONS:
            ShowVersions();
            return MsgResult::Handled();
        case IDC_RESTORE_HERE:
        case IDC_RESTORE_TO:
            Restore(choice_.Chosen(), id == IDC_RESTORE_TO);
            return MsgResult::Handled();
        default:
            return MsgResult::NotHandled();
    }
}

MsgResult RestoreDlg::OnNotify(const NMHDR& header) {
    if (header.idFrom == IDC_RESTORE_TREE) {
        switch (header.code) {
            case TVN_ITEMEXPANDINGW: {
                const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
                HWND tree = tree_.Handle();
                if (change.action == TVE_EXPAND &&
                    TreeView_GetChild(tree, change.itemNew.hItem) == nullptr) {
                    AddFolders(
                        change.itemNew.hItem,
                        choice_.Folders()[static_cast<std::size_t>(change.itemNew.lParam)].folders);
                }
                return MsgResult::Handled(FALSE);
            }
            case TVN_SELCHANGEDW: {
                const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
                folder_ = static_cast<std::size_t>(change.itemNew.lParam);
                ::SetDlgItemTextW(Handle(), IDC_RESTORE_FIND, L"");
                ::KillTimer(Handle(), kFindTimer);
                ShowFiles();
                return MsgResult::Handled();
            }
            case NM_CLICK: {
                // The tree toggles the box after this notice: its new state is read after.
                TVHITTESTINFO hit{};
                ::GetCursorPos(&hit.pt);
                ::ScreenToClient(tree_.Handle(), &hit.pt);
                if (TreeView_HitTest(tree_.Handle(), &hit) != nullptr &&
                    (hit.flags & TVHT_ONITEMSTATEICON) != 0) {
                    ::PostMessageW(Handle(), kTreeTickMessage, 0,
                                   reinterpret_cast<LPARAM>(hit.hItem));
                }
                return MsgResult::Handled();
            }
            case TVN_KEYDOWN:
                if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_SPACE) {
                    ::PostMessageW(Handle(), kTreeTickMessage, 0,
                                   reinterpret_cast<LPARAM>(TreeView_GetSelection(tree_.Handle())));
                }
                return MsgResult::Handled();
            default:
                return MsgResult::NotHandled();
        }
    }
    if (header.idFrom == IDC_RESTORE_LIST) {
        if (header.code == LVN_ITEMCHANGED) {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            const bool tickChanged = (change.uChanged & LVIF_STATE) != 0 &&
                                     ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK);
            if (!filling_ && tickChanged && change.iItem >= 0) {
                choice_.TickFile(static_cast<std::size_t>(change.lParam),
                                 ListView_GetCheckState(list_.Handle(), change.iItem) != 0);
            }
            return MsgResult::Handled();
        }
        if (header.code == NM_CUSTOMDRAW) {
            auto& draw =
                const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
                return MsgResult::Handled(CDRF_NOTIFYITEMDRAW);
            }
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                // What the source no longer held is shown greyed.
                const std::size_t file = static_cast<std::size_t>(draw.nmcd.lItemlParam);
                if (file < choice_.Files().size() && choice_.Files()[file].gone) {
                    draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
                }
                return MsgResult::Handled(CDRF_DODEFAULT);
            }
        }
        if (header.code == NM_DBLCLK) {
            ShowVersions();
            return MsgResult::Handled();
        }
    }
    return MsgResult::NotHandled();
}

MsgResult RestoreDlg::OnMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message == kTreeTickMessage && lParam != 0) {
        OnTreeTick(reinterpret_cast<HTREEITEM>(lParam));
        return MsgResult::Handled();
    }
    return MsgResult::NotHandled();
}

void RestoreDlg::ShowVersions() {
    const int selected = ListView_GetNextItem(list_.Handle(), -1, LVNI_SELECTED);
    if (selected < 0) {
        return;
    }
    LVITEMW row{};
    row.mask = LVIF_PARAM;
    row.iItem = selected;
    ListView_GetItem(list_.Handle(), &row);
    const FileAtMoment& file = choice_.Files()[static_cast<std::size_t>(row.lParam)];
    FileVersionsDlg versions(texts_, file.original,
                             timeline_.VersionsOf(file.original, file.fromPc));
    versions.DoModal(Handle());
    if (const auto& picked = versions.Picked()) {
        FileAtMoment one = file;
        one.state = picked->state;
        Restore({one}, picked->elsewhere);
    }
}

void RestoreDlg::Restore(const std::vector<FileAtMoment>& files, bool elsewhere) {
    if (files.empty()) {
        ::MessageBoxW(Handle(), texts_[Msg::RestoreNothing].c_str(),
                      texts_[Msg::RestoreTitle].c_str(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::wstring folder;
    if (elsewhere) {
        const std::optional<std::wstring> picked = pick_(Handle(), texts_[Msg::RestorePickTarget]);
        if (!picked) {
            return;
        }
        folder = *picked;
    }
    std::vector<RestoreItem> items = PlacedItems(files, setup_, folder);
    totalFiles_ = items.size();
    totalBytes_ = 0;
    for (const RestoreItem& item : items) {
        totalBytes_ += item.state.size;
    }
    elsewhere_ = elsewhere;
    started_ = LocalTimeText();
    const bool mark = !setup_.otherPc;
    const bool started = task_.Start([this, items = std::move(items), mark](RestoreTask& task) {
        Restorer restorer(fs_, setup_.destination, fs_.CurrentTime());
        restorer.progress = [&task](std::uint64_t files, std::uint64_t bytes) {
            task.Progress(files, bytes);
        };
        RestoreOutcome outcome = restorer.Run(items, task.Cancelled());
        if (mark && !outcome.written.empty()) {
            // This PC's records say which files a restore put back, so that the next press
            // takes them over their backup copies.
            if (const std::unique_ptr<Catalog> catalog = Catalog::Open(
                    fs_, LongPath(setup_.destination), setup_.machine, fs_.CurrentTime())) {
                MarkRestored(*catalog, setup_.destination, setup_.sources, outcome);
            }
        }
        return outcome;
    });
    if (!started) {
        return;
    }
    Hold(true);
    ShowProgress();
    ::SetTimer(Handle(), kRestoreTimer, kRestoreTimerMs, nullptr);
}

void RestoreDlg::Hold(bool running) {
    for (int id : kHeldControls) {
        ::EnableWindow(Item(id), running ? FALSE : TRUE);
    }
    ::SetDlgItemTextW(Handle(), IDCANCEL,
                      texts_[running ? Msg::RestoreCancel : Msg::RestoreClose].c_str());
    ::EnableWindow(Item(IDCANCEL), TRUE);
    ::SetFocus(Item(IDCANCEL));
}

void RestoreDlg::ShowProgress() {
    const RestoreTask::Status now = task_.Now();
    const std::wstring text =
        RestoreProgressText(now.files, totalFiles_, now.bytes, totalBytes_, texts_);
    ::SetDlgItemTextW(Handle(), IDC_RESTORE_STATUS, text.c_str());
    const int position =
        totalBytes_ == 0
            ? (totalFiles_ == 0 ? 0 : static_cast<int>(now.files * kBarRange / totalFiles_))
            : static_cast<int>(std::min(now.bytes, totalBytes_) * kBarRange / totalBytes_);
    ::SendMessageW(bar_.Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void RestoreDlg::OnTimer(UINT_PTR id) {
    if (id == kFindTimer) {
        ::KillTimer(Handle(), kFindTimer);
        ShowFiles();
        return;
    }
    if (id != kRestoreTimer) {
        return;
    }
    if (std::optional<RestoreOutcome> ended = task_.Ended()) {
        Finish(std::move(*ended), true);
        return;
    }
    ShowProgress();
}

void RestoreDlg::Finish(RestoreOutcome outcome, bool tell) {
    ::KillTimer(Handle(), kRestoreTimer);
    ShowProgress();
    Hold(false);
    if (logRestore) {
        logRestore(RestoreLogEntry(outcome, setup_.destination, started_, LocalTimeText(), texts_));
    }
    if (!tell) {
        return;
    }
    ::MessageBoxW(Handle(), RestoreEndText(outcome, texts_).c_str(),
                  texts_[Msg::RestoreTitle].c_str(),
                  MB_OK | (outcome.problems.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
    if (setup_.unsaved && !elsewhere_ && !saveSources_ && outcome.restored + outcome.same > 0) {
        saveSources_ =
            ::MessageBoxW(Handle(), texts_[Msg::RestoreSaveSources].c_str(),
                          texts_[Msg::RestoreTitle].c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
}

void RestoreDlg::OnCancel() {
    if (task_.Running()) {
        // The button waits for the restore to take the word; the timer says how it ended.
        task_.Cancel();
        ::EnableWindow(Item(IDCANCEL), FALSE);
        return;
    }
    EndDialog(IDCANCEL);
}

void RestoreDlg::StopNow() {
    if (std::optional<RestoreOutcome> ended = task_.CancelAndWait()) {
        Finish(std::move(*ended), false);
    }
    EndDialog(IDCANCEL);
}

}  // namespace bexlo
