#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/CheckDlg.h"
#include "app/RestoreDlg.h"
#include "app/LanguageFiles.h"
#include "app/OsVersion.h"
#include "app/TrayState.h"
#include "backup/BackupRun.h"
#include "backup/CheckTask.h"
#include "backup/NewDirDlg.h"
#include "backup/Reminder.h"
#include "backup/ProgressDlg.h"
#include "backup/SaveRules.h"
#include "backup/SelectionList.h"
#include "backup/Versions.h"
#include "backup/WindowsFileSystem.h"
#include "device/DeviceLayer.h"
#include "controls/CCButton.h"
#include "controls/CLabelStatic.h"
#include "controls/ScaledArt.h"
#include "framework/DesktopShell.h"
#include "framework/Dialog.h"
#include "framework/MachineIdentity.h"
#include "framework/WindowsDataFolder.h"
#include "framework/UiThreadCalls.h"
#include "res/resource.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

// Private messages and timers of the main dialog.
inline constexpr UINT kTrayNotifyMessage = WM_USER + 5;
inline constexpr UINT kHideCheckboxesMessage = WM_APP + 1;
inline constexpr LPARAM kHideCheckboxesParam = 14;
// Wakes the interface thread to run the calls other threads queued for it. It carries nothing:
// sent by another process, it can at most make the thread look at its own queue.
inline constexpr UINT kCallOnUiThreadMessage = WM_APP + 2;
// Says, once the dialog runs, why the data folder was not read at start.
inline constexpr UINT kDataFolderRefusedMessage = WM_APP + 4;
// Looks, once the dialog runs, whether the backup is late: the program starts with the logon.
inline constexpr UINT kLogonLookMessage = WM_APP + 5;
// Offers, once the run's end has been handled, to read the backup back.
inline constexpr UINT kCheckOfferMessage = WM_APP + 6;
inline constexpr UINT_PTR kSelectionTimer = 4;
inline constexpr UINT_PTR kPollTimer = 5;
// Looks again whether the backup is late.
inline constexpr UINT_PTR kReminderTimer = 6;
inline constexpr UINT kReminderLookMs = 10 * 60 * 1000;
// Looks whether the check that runs on its own after a press has ended.
inline constexpr UINT_PTR kRollingCheckTimer = 7;
inline constexpr UINT kRollingCheckLookMs = 500;
inline constexpr UINT kStartTimerMs = 750;
inline constexpr UINT kRestoredSelectionTimerMs = 1000;

// The controls whose captions a language changes.
inline constexpr std::pair<int, Caption> kCaptionControls[] = {
    {IDC_PATH_SETTING, Caption::PathSetting},
    {IDC_BACKUP_STYLE, Caption::BackupStyle},
    {IDC_SOURCE_HEADING, Caption::Source},
    {IDC_DEST_HEADING, Caption::Destination},
    {IDC_SAVE, Caption::Save},
    {IDC_CLEAR, Caption::Clear},
    {IDC_COPY, Caption::Copy},
    {IDC_SYNC, Caption::Sync},
    {IDC_COPY_PRGS, Caption::CopyProgress},
};

// The order Tab takes through the controls: the commands, then each side's new-folder button
// above its tree, then the restore window's button below them.
inline constexpr int kTabOrder[] = {IDC_SAVE,           IDC_CLEAR,          IDC_COPY,
                                    IDC_SYNC,           IDC_NEW_SOURCE_DIR, IDC_SOURCE_TREE,
                                    IDC_NEW_TARGET_DIR, IDC_TARGET_TREE,    IDC_RESTORE_OPEN};

struct BackupDlgOptions {
    // Where the platform version comes from; the platform's own record when empty.
    std::function<PlatformVersion()> readVersion;
    // The disks the run reads and writes; the real ones when none is given. It outlives the
    // dialog.
    FileSystem* fileSystem = nullptr;
    // The person's shell, which opens the versions folder and shows the trees' properties; the
    // desktop's own when none is given. It outlives the dialog.
    UserShell* userShell = nullptr;
    // Asks the person for a folder to restore into or restore from; the shell's folder picker
    // when none is given.
    RestoreDlg::PickFolder pickFolder{};
};

// The program's one main window, and the home of the state the interface thread shares with
// the device layer and the run. Fields that the run and poll threads also touch are atomic.
class BackupDlg : public Dialog, private PollHost, private RunHost, private UserShell {
public:
    using Options = BackupDlgOptions;

    // `seam` is the hardware the device layer talks to; it outlives the dialog.
    explicit BackupDlg(DeviceSeam& seam, Options options = {});
    // The window goes first, so that no run thread still waits on it.
    ~BackupDlg() override;

    int osVersion = kOsUnknown;
    int itemLimit = 99;
    int clearPending = 1;
    std::wstring sourceSelection;
    std::wstring targetSelection;
    MessageTexts messageTexts;
    UiTexts uiTexts;
    TrayState tray;
    NewDirDlg newDirDlg;
    ProgressDlg progressDlg;
    HICON appIcon = nullptr;
    std::wstring treePath = L"C:\\";
    // The device record (drive tables, backupDrive, defaultTarget) and the poll state
    // (pollSkip, devicePresent, notifyDevice, pressDrive, pressKey).
    DeviceLayer deviceLayer;

    int DevicePresent() const { return deviceLayer.state.devicePresent.load(); }
    // The run a press starts, and its state (backupRunning, copyFinished, runEnded ...).
    BackupRun& Run() { return run; }
    const BackupRun& Run() const { return run; }

    CTreeFileCtrl& SourceTree() { return sourceTree; }
    CTreeFileCtrl& TargetTree() { return targetTree; }

    // Defaults, then the chosen language's texts; the main dialog's captions change only when the
    // language gave all of its UI texts.
    void LoadStringFiles();
    void SelectCopyMode();
    void SelectSyncMode();
    // The radios as the backup record (SerailNo.txt) left them: 1 when it was read, else 0.
    int ReadBackupType();

    // Save and Clear, and the selection list that mirrors the source tree's check marks.
    void SavePathList();
    // Saves `sources` to back up into `target` with the style chosen; false, after a box that
    // says why, when they cannot be saved.
    bool SaveChoice(const std::wstring& target, const std::vector<std::wstring>& sources);
    void ClearSelection();
    void RebuildSelectionList() { selectionList.Rebuild(); }
    const std::vector<std::wstring>& SelectionEntries() const { return selectionList.Entries(); }

    // The controls a run must not see used, and timers 5 and 4.
    void EnableUi(bool enable);
    // Runs `call` on the interface thread and waits for it; nothing when the window is gone.
    void CallOnUiThread(const std::function<void()>& call);
    // The family-1 enclosure drive that `path` lies on, if any: the drive with the key.
    std::optional<int> KeyDriveOf(const std::wstring& path) const;
    // A message box owned by the dialog, with its fixed caption and the language's text; any
    // thread may show one.
    void ShowBox(const wchar_t* caption, Msg text, BoxIcon icon);
    void ShowBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon);
    std::wstring Text(Msg id) const override { return messageTexts[id]; }
    GuardChoice AskBeforeReplacing(const std::wstring& text) override;
    int CheckKey(int drive) override;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    MsgResult OnCommand(WORD id, WORD code, HWND control) override;
    MsgResult OnNotify(const NMHDR& header) override;
    void OnTimer(UINT_PTR id) override;
    void OnScaleChanged(int dpi) override;

private:
    PlatformVersion ReadPlatformVersion() const;
    void ApplyDriveFlags();
    MsgResult OnDeviceChange(WPARAM event);
    void EnableDeviceControls(bool enable);

    bool StartRun() override;
    bool RunActive() const override { return run.state.backupRunning == 1; }
    void StopPollTimer() override;
    void StartPollTimer() override;

    void ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon,
                    const std::function<void()>& answered) override;
    void HoldControls() override;
    void ReleaseControls(bool reselectTarget, std::atomic<int>& running) override;
    void NotifyDevice(RunMessage message) override;
    const std::atomic<int>& EnclosurePresent() const override {
        return deviceLayer.state.devicePresent;
    }
    void ShowTargetHasFolders(const std::wstring& target) override;
    bool OpenProgressWindow() override;
    void CloseProgressWindow() override;
    void SetProgress(int position) override;
    void WaitPaintingProgress(int ms) override;

    // What a screen reader calls each control, in the language of the captions.
    void NameControls();
    void ArrangeTabOrder();
    MsgResult OnCtlColor(HDC dc, HWND control);
    void OnPaint();
    // The background picture, drawn over what the dialog erased.
    void PaintBackground(HDC dc);
    MsgResult OnSysCommand(WPARAM command);
    void OnSourceSelChanged();
    void OnTargetSelChanged();
    // Each returns true to cancel the expansion: the folder had gone and its item with it.
    bool OnSourceExpanding(const NMTREEVIEWW& change);
    bool OnTargetExpanding(const NMTREEVIEWW& change);
    void OnTrayOpen();
    void OnTrayExit();
    // The line under the trees and the icon's tip: what a press backs up and when the last
    // complete backup was made.
    void ShowBackupSummary();
    // Reminds the person when the backup is late and the schedule says so.
    void LookForLateBackup(ReminderOccasion occasion);
    // A press, the enclosure's arrival or the person's answer took the reminder away.
    void EndReminder() { tray.EndReminder(DevicePresent() == 1); }
    // The summary anew, and the reminder away when the press walked to its end.
    void OnRunEnded();
    // "Check the backup...": reads the backup back in a window of its own and ends in a box.
    void CheckBackupNow();
    // After a press: the check that runs on its own when the setting asks for it, or the offer of
    // one after many presses without.
    void CheckAfterPress();
    void OfferCheck();
    void OnRollingCheckTimer();
    // A press is coming: a check going stops where it is, to go on at the next one.
    void StopChecks();
    // Logs a check, keeps how much it read and says how it ended as `tell` asks.
    enum class CheckTell { Always, OnDamage, Never };
    void FinishCheck(const CheckOutcome& outcome, const std::wstring& destination,
                     const std::wstring& started, std::int64_t round, CheckTell tell);
    // "Restore files...": the backup as it was at any press, in a window of its own.
    void RestoreFiles();
    // The backup a restore reads: the saved destination's, or the default destination's on a PC
    // that saved none, or one the person picks.
    std::optional<RestoreSetup> BackupToRestore();
    // A press is coming: a restore going is cancelled, what it restored stays.
    void StopRestore();
    // The saved destination, long form, while the enclosure holding its backup is there.
    std::optional<std::wstring> AttachedDestination();
    // The versions folder of the saved destination, while the enclosure is there.
    std::optional<std::wstring> AttachedVersionsFolder() {
        return DevicePresent() == 1 && CheckDataFolder().Trusted()
                   ? EarlierVersionsFolder(fileSystem)
                   : std::nullopt;
    }
    // The trees' requests go through here too: what the person's shell does not do, a box says.
    bool Ask(ShellVerb verb, const std::wstring& path) override;
    // Says why nothing of the saved choices is read or written.
    void ShowDataFolderRefusal(const FolderVerdict& verdict);
    // The box that says why Save refused, naming the paths concerned.
    void ShowSaveRefusal(const SaveRefusal& refusal);
    void MakeSourceFolder();
    void MakeTargetFolder();
    // The key check of the family-1 enclosure holding the destination, if it is on one; false
    // (after the "Key Lost" box when the key is missing) when the enclosure does not answer yes.
    bool TargetKeyAnswers();

    DeviceSeam& seam;
    Options options;
    // The calls other threads wait on, run by the interface thread when woken.
    UiThreadCalls uiCalls{kCallOnUiThreadMessage};

    CLabelStatic sourceFrame;
    CLabelStatic targetFrame;
    Control sourceHeading;
    Control destinationHeading;
    Control backupStyleHeading;
    Control pathSettingHeading;
    CTreeFileCtrl sourceTree;
    CTreeFileCtrl targetTree;
    SelectionList selectionList;
    Control progressBar;
    CLabelStatic background;
    CLabelStatic sourcePathText;
    CLabelStatic targetPathText;
    CCButton saveButton;
    CCButton clearButton;
    Control syncRadio;
    Control copyRadio;
    Control newSourceDirButton;
    Control newTargetDirButton;
    Control restoreButton;
    Control copyProgressLabel;
    Control unusedStatic1051;
    Control unusedStatic1052;
    Control unusedStatic1053;

    ScaledArt backgroundArt;
    // The new-folder buttons' icon and the small application icon at the window's scale.
    UniqueIcon folderIcon;
    UniqueIcon smallIcon;

    WindowsFileSystem windowsFileSystem;
    FileSystem& fileSystem;
    DesktopShell desktopShell;
    UserShell& userShell;
    // Whether the data folder passed its check at start, and the backup style and language were
    // read from it.
    bool dataFolderTrusted = false;
    // The destination selected when a run took the controls, selected again at its end.
    std::wstring keptSelection;
    // This PC, as its records in a destination's catalog name it.
    const std::wstring machine = MachineIdentity();
    BackupRun run;
    // The check the person started, while its window is open.
    CheckDlg* openCheck = nullptr;
    // The restore window, while it is open.
    RestoreDlg* openRestore = nullptr;
    // The check that runs on its own after a press, with where it reads, when it began and the
    // round of checks it goes on with.
    CheckTask rollingCheck;
    std::wstring rollingDestination;
    std::wstring rollingStarted;
    std::int64_t rollingRound = 0;
};

}  // namespace bexlo
