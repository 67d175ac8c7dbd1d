#include "app/BackupDlg.h"

#include <commctrl.h>

#include <utility>

#include "backup/BackupRecord.h"
#include "backup/RunLog.h"
#include "backup/WindowsFileSystem.h"
#include "framework/Dpi.h"
#include "framework/Guard.h"
#include "framework/Handles.h"
#include "res/resource.h"

namespace bexlo {

namespace {

// The background's title band with its two lines, and its footer band, at 100 %: rows that stay
// as drawn when the picture is fitted to the window.
constexpr int kBackgroundHead = 42;
constexpr int kBackgroundFoot = 55;

}  // namespace

BackupDlg::BackupDlg(DeviceSeam& hardware, Options dialogOptions)
    : Dialog(IDD_MAIN),
      deviceLayer(hardware, *this),
      seam(hardware),
      options(std::move(dialogOptions)),
      selectionList(sourceTree, itemLimit,
                    [this] { ShowBox(L"Too Much Items", Msg::Over100, BoxIcon::Warning); }),
      backgroundArt({IDB_BACKGROUND, IDB_BACKGROUND_125, IDB_BACKGROUND_150, IDB_BACKGROUND_175,
                     IDB_BACKGROUND_200},
                    kBackgroundHead, kBackgroundFoot),
      fileSystem(options.fileSystem != nullptr ? *options.fileSystem : windowsFileSystem),
      userShell(options.userShell != nullptr ? *options.userShell : desktopShell),
      run(*this, fileSystem) {
    appIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    sourceTree.SetUserShell(*this);
    targetTree.SetUserShell(*this);
}

BackupDlg::~BackupDlg() {
    if (Handle() != nullptr) {
        ::DestroyWindow(Handle());
    }
}

void BackupDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_SOURCE_FRAME, sourceFrame);
    exchange.Bind(IDC_TARGET_FRAME, targetFrame);
    exchange.Bind(IDC_SOURCE_HEADING, sourceHeading);
    exchange.Bind(IDC_DEST_HEADING, destinationHeading);
    exchange.Bind(IDC_BACKUP_STYLE, backupStyleHeading);
    exchange.Bind(IDC_PATH_SETTING, pathSettingHeading);
    exchange.Bind(IDC_SOURCE_TREE, sourceTree);
    exchange.Bind(IDC_TARGET_TREE, targetTree);
    exchange.Bind(IDC_PROGRESS, progressBar);
    exchange.Bind(IDC_BACKGROUND, background);
    exchange.Bind(IDC_SOURCE_PATH, sourcePathText);
    exchange.Bind(IDC_TARGET_PATH, targetPathText);
    exchange.Bind(IDC_SAVE, saveButton);
    exchange.Bind(IDC_CLEAR, clearButton);
    exchange.Bind(IDC_SYNC, syncRadio);
    exchange.Bind(IDC_COPY, copyRadio);
    exchange.Bind(IDC_NEW_SOURCE_DIR, newSourceDirButton);
    exchange.Bind(IDC_NEW_TARGET_DIR, newTargetDirButton);
    exchange.Bind(IDC_RESTORE_OPEN, restoreButton);
    exchange.Bind(IDC_COPY_PRGS, copyProgressLabel);
    exchange.Bind(IDC_STATIC_1051, unusedStatic1051);
    exchange.Bind(IDC_STATIC_1052, unusedStatic1052);
    exchange.Bind(IDC_STATIC_1053, unusedStatic1053);
    sourceTree.ExchangeSelectedPath(exchange, treePath);
}

bool BackupDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    sourceTree.Initialise();
    targetTree.Initialise();

    if (HMENU systemMenu = ::GetSystemMenu(Handle(), FALSE); systemMenu != nullptr) {
        wchar_t aboutText[64]{};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 64) > 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }
    ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    smallIcon = LoadIconAt(IDI_APP, SystemMetricAt(SM_CXSMICON, Dpi()));
    ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(smallIcon ? smallIcon.Get() : appIcon));

    const PlatformVersion platform = ReadPlatformVersion();
    osVersion = bexlo::DetectOsVersion(platform);
    if (!IsSupportedPlatform(platform)) {
        tray.inTray = 1;
        deviceLayer.state.devicePresent = 0;
        // The close path, taken before the dialog is first shown so that nothing appears.
        OnCancel();
        return true;
    }

    deviceLayer.state.devicePresent = 0;
    if (deviceLayer.Start() != 0) {
        ::SetTimer(Handle(), kPollTimer, kStartTimerMs, nullptr);
        ::SetTimer(Handle(), kSelectionTimer, kStartTimerMs, nullptr);
    }
    ApplyDriveFlags();
    const DWORD present = seam.LogicalDrives();
    sourceTree.ShowDrivesPresent(present);
    targetTree.ShowDrivesPresent(present);

    sourceTree.checkBoxTree = 1;
    targetTree.checkBoxTree = 0;
    sourceTree.hideCheckOnce = 0;
    targetTree.hideCheckOnce = 0;
    sourceTree.reselectAfterRefresh = 1;
    targetTree.reselectAfterRefresh = 1;

    deviceLayer.state.pollSkip = 2;
    itemLimit = 99;
    clearPending = 1;
    tray.inTray = 0;
    run.state.serialCheckArmed = 1;
    deviceLayer.state.notifyDevice = 0;

    SelectCopyMode();
    dataFolderTrusted = PrepareDataFolder().Trusted();
    if (dataFolderTrusted) {
        ReadBackupType();
    }
    ::PostMessageW(Handle(), kHideCheckboxesMessage, 0, kHideCheckboxesParam);

    if (dataFolderTrusted) {
        CloseUnfinishedRun(fileSystem);
    } else {
        ::PostMessageW(Handle(), kDataFolderRefusedMessage, 0, 0);
    }
    LoadStringFiles();
    NameControls();
    ArrangeTabOrder();
    ShowBackupSummary();
    if (dataFolderTrusted) {
        ::SetTimer(Handle(), kReminderTimer, kReminderLookMs, nullptr);
    }

    if (DevicePresent() != 1) {
        ::ShowWindow(Handle(), SW_SHOWMINIMIZED);
        ::PostMessageW(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
    // After the minimise, so that a reminder's icon is added to the dialog in the tray.
    ::PostMessageW(Handle(), kLogonLookMessage, 0, 0);
    return true;
}

PlatformVersion BackupDlg::ReadPlatformVersion() const {
    if (options.readVersion) {
        return options.readVersion();
    }
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        return {};
    }
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor};
}

void BackupDlg::SelectCopyMode() {
    ::CheckDlgButton(Handle(), IDC_COPY, BST_CHECKED);
    ::CheckDlgButton(Handle(), IDC_SYNC, BST_UNCHECKED);
}

void BackupDlg::SelectSyncMode() {
    ::CheckDlgButton(Handle(), IDC_SYNC, BST_CHECKED);
    ::CheckDlgButton(Handle(), IDC_COPY, BST_UNCHECKED);
}

int BackupDlg::ReadBackupType() {
    const std::optional<BackupType> type = bexlo::ReadBackupType(fileSystem);
    if (!type) {
        return 0;
    }
    *type == BackupType::Sync ? SelectSyncMode() : SelectCopyMode();
    return 1;
}

void BackupDlg::ShowBox(const wchar_t* caption, Msg text, BoxIcon icon) {
    ShowBox(caption, messageTexts[text], icon);
}

void BackupDlg::ShowBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon) {
    ::MessageBoxW(Handle(), text.c_str(), caption,
                  MB_OK | (icon == BoxIcon::Information ? MB_ICONINFORMATION : MB_ICONWARNING));
}

// The box names the path, so that the person can open it in Explorer; the program does nothing of
// the request itself.
bool BackupDlg::Ask(ShellVerb verb, const std::wstring& path) {
    if (userShell.Ask(verb, path)) {
        return true;
    }
    ShowBox(L"No Explorer", messageTexts[Msg::NoUserShell] + L"\n\n\"" + path + L"\"",
            BoxIcon::Warning);
    return false;
}

void BackupDlg::ClearSelection() {
    if (HTREEITEM root = sourceTree.RootItem(); root != nullptr) {
        sourceTree.CollapseAndReset(root);
    }
    selectionList.Clear();
    ::SetDlgItemTextW(Handle(), IDC_SOURCE_PATH, L"");
    sourceSelection.clear();
    clearPending = 1;
}

void BackupDlg::EnableUi(bool enable) {
    for (int id :
         {IDC_CLEAR, IDC_COPY, IDC_SYNC, IDC_SOURCE_TREE, IDC_NEW_SOURCE_DIR, IDC_RESTORE_OPEN}) {
        ::EnableWindow(Item(id), enable ? TRUE : FALSE);
    }
    // An enclosure pulled during the run leaves these off, as its removal turned them off.
    const bool withDevice = enable && DevicePresent() == 1;
    EnableDeviceControls(withDevice);
    ::SendMessageW(progressBar.Handle(), PBM_SETPOS, 0, 0);
    if (withDevice) {
        ::SetTimer(Handle(), kPollTimer, kStartTimerMs, nullptr);
    } else if (!enable) {
        ::KillTimer(Handle(), kPollTimer);
    }
    if (tray.inTray != 1) {
        enable ? ::SetTimer(Handle(), kSelectionTimer, kRestoredSelectionTimerMs, nullptr)
               : ::KillTimer(Handle(), kSelectionTimer);
    }
}

void BackupDlg::CallOnUiThread(const std::function<void()>& call) {
    uiCalls.Call(Handle(), call);
}

MsgResult BackupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TrayIcon::ShellRestartMessage()) {
        tray.OnShellRestarted(DevicePresent() == 1);
        return MsgResult::NotHandled();
    }
    switch (message) {
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam);
        case WM_PAINT:
            OnPaint();
            return MsgResult::Handled();
        case WM_PRINTCLIENT:
            // Themed radio buttons ask for the picture behind them this way.
            PaintBackground(reinterpret_cast<HDC>(wParam));
            return MsgResult::Handled();
        case WM_QUERYDRAGICON:
            return MsgResult::Handled(reinterpret_cast<LRESULT>(appIcon));
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DEVICECHANGE:
            return OnDeviceChange(wParam);
        case kCallOnUiThreadMessage:
            uiCalls.RunQueued();
            return MsgResult::Handled();
        case kLogonLookMessage:
            LookForLateBackup(ReminderOccasion::Logon);
            return MsgResult::Handled();
        case kTrayNotifyMessage:
            // The person clicked the reminder, or closed it, or it was seen long enough.
            if (wParam == TrayIcon::kId &&
                (lParam == NIN_BALLOONUSERCLICK || lParam == NIN_BALLOONTIMEOUT)) {
                EndReminder();
                return MsgResult::Handled();
            }
            if (tray.OnNotify(Handle(), wParam, lParam,
                              {messageTexts[Msg::EarlierVersions], messageTexts[Msg::CheckMenu],
                               messageTexts[Msg::RestoreMenu], AttachedVersionsFolder().has_value(),
                               run.state.backupRunning == 0 && openCheck == nullptr,
                               run.state.backupRunning == 0 && openCheck == nullptr &&
                                   openRestore == nullptr})) {
                OnTrayOpen();
            }
            return MsgResult::Handled();
        case kCheckOfferMessage:
            OfferCheck();
            return MsgResult::Handled();
        case kDataFolderRefusedMessage:
            if (const FolderVerdict verdict = CheckDataFolder(); !verdict.Trusted()) {
                ShowDataFolderRefusal(verdict);
            }
            return MsgResult::Handled();
        case kHideCheckboxesMessage:
            if (lParam == kHideCheckboxesParam) {
                selectionList.HideTopLevelCheckboxes();
            }
            return MsgResult::NotHandled();
        default:
            return MsgResult::NotHandled();
    }
}

MsgResult BackupDlg::OnCommand(WORD id, WORD code, HWND) {
    if (code != BN_CLICKED) {
        return MsgResult::NotHandled();
    }
    switch (id) {
        case ID_TRAY_OPEN:
            OnTrayOpen();
            return MsgResult::Handled();
        case ID_TRAY_EXIT:
            OnTrayExit();
            return MsgResult::Handled();
        case ID_TRAY_VERSIONS:
            // Looked for again: the enclosure or the saved list may have changed since the menu.
            if (const std::optional<std::wstring> folder = AttachedVersionsFolder()) {
                Ask(ShellVerb::Explore, *folder);
            }
            return MsgResult::Handled();
        case ID_TRAY_CHECK:
            CheckBackupNow();
            return MsgResult::Handled();
        case ID_TRAY_RESTORE:
        case IDC_RESTORE_OPEN:
            RestoreFiles();
            return MsgResult::Handled();
        case IDC_COPY:
            SelectCopyMode();
            ShowBackupSummary();
            return MsgResult::Handled();
        case IDC_SYNC:
            SelectSyncMode();
            ShowBackupSummary();
            return MsgResult::Handled();
        case IDC_NEW_SOURCE_DIR:
            MakeSourceFolder();
            return MsgResult::Handled();
        case IDC_NEW_TARGET_DIR:
            MakeTargetFolder();
            return MsgResult::Handled();
        case IDC_SAVE:
            SavePathList();
            return MsgResult::Handled();
        case IDC_CLEAR:
            ClearSelection();
            return MsgResult::Handled();
        case IDC_BT1:
            return MsgResult::Handled();
        default:
            return MsgResult::NotHandled();
    }
}

MsgResult BackupDlg::OnNotify(const NMHDR& header) {
    const bool fromSource = header.hwndFrom == sourceTree.Handle();
    const bool fromTarget = header.hwndFrom == targetTree.Handle();
    if (!fromSource && !fromTarget) {
        return MsgResult::NotHandled();
    }
    if (header.code == TVN_SELCHANGEDW) {
        fromSource ? OnSourceSelChanged() : OnTargetSelChanged();
        return MsgResult::Handled(0);
    }
    if (header.code == TVN_ITEMEXPANDINGW) {
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        const bool cancel = fromSource ? OnSourceExpanding(change) : OnTargetExpanding(change);
        return MsgResult::Handled(cancel ? TRUE : FALSE);
    }
    return MsgResult::NotHandled();
}

void BackupDlg::OnSourceSelChanged() {
    HTREEITEM item = sourceTree.SelectedItem();
    if (item != nullptr) {
        std::wstring path = sourceTree.ItemToPath(item);
        ::SetDlgItemTextW(Handle(), IDC_SOURCE_PATH, path.c_str());
        sourceSelection = std::move(path);
    }
    TreeView_SelectItem(sourceTree.Handle(), item);
}

void BackupDlg::OnTargetSelChanged() {
    HTREEITEM item = targetTree.SelectedItem();
    if (item != nullptr) {
        std::wstring path = targetTree.ItemToPath(item);
        ::SetDlgItemTextW(Handle(), IDC_TARGET_PATH, path.c_str());
        targetSelection = std::move(path);
    } else {
        targetSelection.clear();
    }
    TreeView_SelectItem(targetTree.Handle(), item);
}

bool BackupDlg::OnSourceExpanding(const NMTREEVIEWW& change) {
    const bool cancel = OnTargetExpanding(change);
    if (clearPending == 1) {
        ::PostMessageW(Handle(), kHideCheckboxesMessage, 0, kHideCheckboxesParam);
        clearPending = 0;
    }
    return cancel;
}

bool BackupDlg::OnTargetExpanding(const NMTREEVIEWW& change) {
    CTreeFileCtrl& tree = change.hdr.hwndFrom == sourceTree.Handle() ? sourceTree : targetTree;
    HTREEITEM item = change.itemNew.hItem;
    if (change.action == TVE_EXPAND && tree.HasChildren(item) &&
        TreeView_GetChild(tree.Handle(), item) == nullptr) {
        // The item is gone when its folder was: the tree must not expand it.
        return !tree.ExpandItem(item);
    }
    return false;
}

void BackupDlg::OnTimer(UINT_PTR id) {
    if (id == kPollTimer) {
        deviceLayer.OnPollTimer();
    } else if (id == kSelectionTimer) {
        RebuildSelectionList();
    } else if (id == kReminderTimer) {
        LookForLateBackup(ReminderOccasion::Later);
    } else if (id == kRollingCheckTimer) {
        OnRollingCheckTimer();
    }
}

void BackupDlg::MakeSourceFolder() {
    MakeFolderBelow(Handle(), newDirDlg, sourceTree, sourceSelection, messageTexts, {});
}

void BackupDlg::MakeTargetFolder() {
    if (targetSelection.empty() || !TargetKeyAnswers()) {
        return;
    }
    MakeFolderBelow(Handle(), newDirDlg, targetTree, targetSelection, messageTexts,
                    [this] { return TargetKeyAnswers(); });
}

void BackupDlg::OnOK() {
    // Ending the program mid-run would leave the copy going on in a process that looks closed.
    if (run.state.backupRunning == 1) {
        return;
    }
    Dialog::OnOK();
}

void BackupDlg::OnCancel() {
    if (tray.inTray == 0) {
        ::SendMessageW(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return;
    }
    if (run.state.backupRunning == 1) {
        return;
    }
    deviceLayer.ReleaseVendorLibraries(true);
    if (DevicePresent() == 1) {
        tray.trayIcon.Delete();
    }
    EndDialog(IDCANCEL);
}

}  // namespace bexlo
