// The main dialog's checks of the backup: the one the person starts from the icon's menu, the
// one offered after many presses, and the one that runs on its own after each press when the
// setting asks for it. A check and a press never run together: a press stops the check, which
// goes on where it stopped at the next one.

#include "app/BackupDlg.h"

#include "backup/CheckReport.h"
#include "backup/PathList.h"
#include "framework/LongPath.h"

namespace bexlo {

std::optional<std::wstring> BackupDlg::AttachedDestination() {
    if (DevicePresent() != 1 || !CheckDataFolder().Trusted() ||
        !EarlierVersionsFolder(fileSystem)) {
        return std::nullopt;
    }
    const auto bytes = fileSystem.ReadFileBytes(PathListFile(), kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status != PathListRead::Status::Usable || list.target.empty()) {
        return std::nullopt;
    }
    return LongPath(list.target);
}

void BackupDlg::CheckBackupNow() {
    if (run.state.backupRunning == 1 || openCheck != nullptr || openRestore != nullptr) {
        return;
    }
    // The person's check goes on from where the one after the last press stopped.
    StopChecks();
    const std::optional<std::wstring> destination = AttachedDestination();
    if (!destination) {
        ShowBox(messageTexts[Msg::CheckCaption].c_str(), Msg::CheckNoDestination,
                BoxIcon::Information);
        return;
    }
    const std::wstring started = LocalTimeText();
    const std::int64_t now = fileSystem.CurrentTime();
    const std::int64_t round = ReadBackupHistory(fileSystem).checkRound.value_or(now);
    CheckDlg dialog(messageTexts,
                    [this, target = *destination, now, round](CheckFeedback& feedback) {
                        return CheckBackup(fileSystem, target, machine, now, 0, feedback, round);
                    });
    openCheck = &dialog;
    dialog.DoModal(Handle());
    openCheck = nullptr;
    if (dialog.Outcome()) {
        // A check a press stopped is only logged: the press's own box follows.
        FinishCheck(*dialog.Outcome(), *destination, started, round,
                    run.state.backupRunning == 0 ? CheckTell::Always : CheckTell::Never);
    }
}

void BackupDlg::CheckAfterPress() {
    if (!dataFolderTrusted || rollingCheck.Running()) {
        return;
    }
    BackupHistory history = ReadBackupHistory(fileSystem);
    ++history.pressesSinceCheck;
    const ReminderSetting setting = ReadReminderSetting(fileSystem);
    if (setting.checkAfterPress) {
        WriteBackupHistory(fileSystem, history);
        const std::optional<std::wstring> destination = AttachedDestination();
        if (!destination) {
            return;
        }
        rollingDestination = *destination;
        rollingStarted = LocalTimeText();
        const std::uint64_t budgetMs = static_cast<std::uint64_t>(setting.checkMinutes) * 60'000;
        if (rollingCheck.Start([this, target = *destination, budgetMs](CheckFeedback& feedback) {
                return CheckBackup(fileSystem, target, machine, fileSystem.CurrentTime(), budgetMs,
                                   feedback);
            })) {
            ::SetTimer(Handle(), kRollingCheckTimer, kRollingCheckLookMs, nullptr);
        }
        return;
    }
    const bool offer = history.pressesSinceCheck >= kPressesBetweenChecks;
    if (offer) {
        history.pressesSinceCheck = 0;
    }
    WriteBackupHistory(fileSystem, history);
    if (offer) {
        // Asked once the run's end has been handled: the run's thread waits for that.
        ::PostMessageW(Handle(), kCheckOfferMessage, 0, 0);
    }
}

void BackupDlg::OfferCheck() {
    if (run.state.backupRunning == 1 || openCheck != nullptr || !AttachedDestination()) {
        return;
    }
    if (::MessageBoxW(Handle(), messageTexts[Msg::CheckOffer].c_str(),
                      messageTexts[Msg::CheckCaption].c_str(),
                      MB_YESNO | MB_ICONQUESTION) == IDYES) {
        CheckBackupNow();
    }
}

void BackupDlg::OnRollingCheckTimer() {
    if (std::optional<CheckOutcome> outcome = rollingCheck.Ended()) {
        ::KillTimer(Handle(), kRollingCheckTimer);
        FinishCheck(*outcome, rollingDestination, rollingStarted, rollingRound,
                    CheckTell::OnDamage);
    }
}

void BackupDlg::StopChecks() {
    if (openCheck != nullptr) {
        openCheck->StopNow();
    }
    if (std::optional<CheckOutcome> outcome = rollingCheck.StopAndWait()) {
        ::KillTimer(Handle(), kRollingCheckTimer);
        FinishCheck(*outcome, rollingDestination, rollingStarted, rollingRound, CheckTell::Never);
    }
}

void BackupDlg::FinishCheck(const CheckOutcome& outcome, const std::wstring& destination,
                            const std::wstring& started, std::int64_t round, CheckTell tell) {
    AppendRunLog(fileSystem, CheckLogEntry(outcome, PlainPath(destination), started,
                                           LocalTimeText(), messageTexts));
    BackupHistory history = ReadBackupHistory(fileSystem);
    if (outcome.bytesRead > 0) {
        AddCheck(history, fileSystem.CurrentTime(), outcome.bytesRead);
    }
    // A stopped check leaves the rest of its round to the next one; a whole one starts anew.
    history.checkRound = outcome.cancelled ? std::optional(round) : std::nullopt;
    WriteBackupHistory(fileSystem, history);
    ShowBackupSummary();
    if (tell == CheckTell::Always || (tell == CheckTell::OnDamage && !outcome.damaged.empty())) {
        ShowBox(messageTexts[Msg::CheckCaption].c_str(), CheckEndText(outcome, messageTexts),
                outcome.damaged.empty() ? BoxIcon::Information : BoxIcon::Warning);
    }
}

}  // namespace bexlo
