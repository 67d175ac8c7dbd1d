// The main dialog's word on the backup itself: what a press backs up and when the last complete
// backup was made, under the trees and in the icon's tip, and the reminder when it is late.

#include "app/BackupDlg.h"

#include "backup/CheckReport.h"
#include "backup/PathList.h"
#include "framework/CaptionText.h"
#include "res/resource.h"

namespace bexlo {

namespace {

// The tip's characters after its first line, "File Backup", and the line break after it.
constexpr std::size_t kTipDetailLimit = 127 - 12;

}  // namespace

void BackupDlg::ShowBackupSummary() {
    if (!dataFolderTrusted) {
        return;
    }
    const auto bytes = fileSystem.ReadFileBytes(PathListFile(), kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    SummaryFacts facts;
    if (list.status == PathListRead::Status::Usable) {
        facts.sources = list.sources.size();
        facts.target = list.target;
    }
    wchar_t mode[kMaxProfileValue + 1]{};
    ::GetDlgItemTextW(Handle(),
                      ::IsDlgButtonChecked(Handle(), IDC_SYNC) == BST_CHECKED ? IDC_SYNC : IDC_COPY,
                      mode, static_cast<int>(std::size(mode)));
    facts.modeName = WithoutAccessKey(mode);
    const BackupHistory history = ReadBackupHistory(fileSystem);
    facts.lastComplete = history.lastComplete;
    const std::int64_t now = fileSystem.CurrentTime();
    const std::wstring line = BackupSummary(facts, now, LocalMomentOf, messageTexts);
    ::SetDlgItemTextW(Handle(), IDC_SUMMARY, line.c_str());
    // The label has no background of its own: the picture behind it is painted again.
    HWND label = Item(IDC_SUMMARY);
    RECT area{};
    ::GetWindowRect(label, &area);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&area), 2);
    ::RedrawWindow(Handle(), &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    // How much a check read lately, where the tip has room for it after what a press backs up.
    std::wstring checked;
    if (const std::uint64_t read = BytesCheckedRecently(history, now); read > 0) {
        checked = L"\n" + messageTexts[Msg::CheckRecent] + L" " + SizeText(read, messageTexts);
    }
    if (checked.size() > kTipDetailLimit / 2) {
        checked.clear();
    }
    tray.trayIcon.SetTipDetail(BackupSummary(facts, now, LocalMomentOf, messageTexts, L"\n",
                                             kTipDetailLimit - checked.size()) +
                               checked);
}

void BackupDlg::LookForLateBackup(ReminderOccasion occasion) {
    // A run writes the history meanwhile, and no reminder comes during one.
    if (!dataFolderTrusted || run.state.backupRunning == 1 || !CheckDataFolder().Trusted()) {
        return;
    }
    ShowBackupSummary();
    const auto bytes = fileSystem.ReadFileBytes(PathListFile(), kPathListReadLimit);
    if (!bytes || ReadPathList(*bytes).status != PathListRead::Status::Usable) {
        return;
    }
    BackupHistory history = ReadBackupHistory(fileSystem);
    const std::int64_t now = fileSystem.CurrentTime();
    if (!history.lastComplete && !history.watchedSince) {
        history.watchedSince = now;
        WriteBackupHistory(fileSystem, history);
    }
    if (!ReminderDue(history, ReadReminderSetting(fileSystem), now, occasion, false,
                     LocalMomentOf)) {
        return;
    }
    if (tray.ShowReminder(Handle(), kTrayNotifyMessage, smallIcon ? smallIcon.Get() : appIcon,
                          messageTexts[Msg::RemindTitle],
                          ReminderText(history, now, messageTexts))) {
        history.lastReminded = now;
        WriteBackupHistory(fileSystem, history);
    }
}

void BackupDlg::OnRunEnded() {
    if (!dataFolderTrusted) {
        return;
    }
    CheckAfterPress();
    ShowBackupSummary();
    if (!BackupLate(ReadBackupHistory(fileSystem), ReadReminderSetting(fileSystem),
                    fileSystem.CurrentTime())) {
        EndReminder();
    }
}

}  // namespace bexlo
