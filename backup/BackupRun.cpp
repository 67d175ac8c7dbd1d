#include "backup/BackupRun.h"

#include <algorithm>
#include <cwctype>
#include <system_error>
#include <utility>

#include "backup/BackupRecord.h"
#include "backup/Catalog.h"
#include "backup/Pacing.h"
#include "backup/PathList.h"
#include "backup/SourceIdentity.h"
#include "backup/SourcesFile.h"
#include "backup/PressPlan.h"
#include "backup/ReplaceGuard.h"
#include "backup/Reminder.h"
#include "backup/RunLog.h"
#include "backup/Versions.h"
#include "framework/Guard.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

// How many of the entries not copied the box names; the log names them all.
constexpr std::size_t kFailuresShown = 5;
// How many of the files that show signs of damage the box that asks names.
constexpr std::size_t kDamagedShown = 5;

const wchar_t* ModeName(RunMode mode) {
    switch (mode) {
        case RunMode::Copy:
            return L"Copy";
        case RunMode::Sync:
            return L"Synchronize";
        case RunMode::None:
            break;
    }
    return L"none";
}

// What the log says of the catalog a press found; nothing when it was there and sound.
std::wstring CatalogText(const Catalog* catalog, bool walking) {
    if (!walking) {
        return {};
    }
    if (catalog == nullptr) {
        return L"none can be kept in the destination; every file is judged by its size and times";
    }
    switch (catalog->HowStarted()) {
        case Catalog::Start::Kept:
            break;
        case Catalog::Start::New:
            return L"the catalog was made anew";
        case Catalog::Start::Damaged:
            return L"the catalog was damaged: kept aside, and made anew";
        case Catalog::Start::OtherDestination:
            return L"the catalog belonged to another destination folder: kept aside, and made "
                   L"anew";
    }
    return {};
}

}  // namespace

std::optional<int> KeyDriveOf(const std::vector<int>& keyDrives, const std::wstring& path) {
    for (int drive : keyDrives) {
        if (!path.empty() && std::towupper(path[0]) == static_cast<wint_t>(L'A' + drive)) {
            return drive;
        }
    }
    return std::nullopt;
}

BackupRun::~BackupRun() {
    Join();
}

void BackupRun::Join() {
    // The run thread joins its progress thread before it ends.
    if (runThread_.joinable()) {
        runThread_.join();
    }
}

bool BackupRun::Start(RunInputs inputs) {
    std::lock_guard lock(startMutex_);
    if (state.backupRunning == 1) {
        return false;
    }
    inputs_ = std::move(inputs);
    // Set before the thread starts, so that neither a second press nor a minimise slips in.
    state.backupRunning = 1;
    state.copyFinished = 0;
    if (runThreadBusy_) {
        nextRun_ = true;
        return true;
    }
    Join();
    runThreadBusy_ = Launch(runThread_, &BackupRun::RunBackupThread);
    if (!runThreadBusy_) {
        state.backupRunning = 0;
    }
    return runThreadBusy_;
}

bool BackupRun::Launch(std::thread& thread, void (BackupRun::*body)()) {
    try {
        thread = std::thread(body, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void BackupRun::RunBackupThread() {
    do {
        RunAndEnd();
    } while (TakeNextRun());
}

bool BackupRun::TakeNextRun() {
    std::lock_guard lock(startMutex_);
    runThreadBusy_ = std::exchange(nextRun_, false);
    return runThreadBusy_;
}

void BackupRun::RunAndEnd() {
    givenBack_ = false;
    int result = 0;
    if (!GuardCall(L"RunBackupThread", [this, &result] { result = RunBackup(); })) {
        outcomeToTell_ = true;
        result = 0;
    }
    // The display finishes: up to the end after a complete walk, else where it stands.
    if (result == 1) {
        state.stepDelayMs = std::min(state.stepDelayMs.load(), kFinishingDelayLimitMs);
        state.copyFinished = 1;
    } else {
        state.runEnded = 1;
    }
    if (progressThread_.joinable()) {
        progressThread_.join();
    }
    state.runEnded = 1;
    // Told before the box, and while the run still holds the button: a press taken before would
    // aim the message elsewhere.
    const bool succeeded = result == 1 && outcome_.failures.empty() && outcome_.held.empty();
    GuardCall(L"RunBackupThread", [this, succeeded] {
        host_.NotifyDevice(succeeded ? RunMessage::Complete : RunMessage::Failed);
    });
    GuardCall(L"RunBackupThread", [this] {
        if (refusal_) {
            ShowEndBox(refusal_->caption, host_.Text(refusal_->text), BoxIcon::Warning);
        } else if (outcomeToTell_) {
            TellOutcome();
        }
    });
    // A run that shows no box, or whose box failed, ends with its last step.
    GiveBack();
}

void BackupRun::ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon) {
    host_.ShowEndBox(caption, text, icon, [this] { GiveBack(); });
}

void BackupRun::GiveBack() {
    if (std::exchange(givenBack_, true)) {
        return;
    }
    state.barPosition = 0;
    // Cleared by the host, since a run started next may set it again at once.
    if (!GuardCall(L"RunBackupThread",
                   [this] { host_.ReleaseControls(progressStarted_, state.backupRunning); })) {
        state.backupRunning = 0;
    }
}

int BackupRun::Refuse(const wchar_t* caption, Msg text) {
    // Shown as the run's end box, with the controls and polling paused until it is answered.
    refusal_ = Refusal{caption, text};
    HoldControls();
    std::wstring result = L"refused (";
    result += caption;
    WriteLog(result + L")");
    return 0;
}

void BackupRun::WriteLog(const std::wstring& result) {
    RunLogEntry entry;
    entry.started = outcome_.started;
    entry.ended = LocalTimeText();
    entry.mode = ModeName(inputs_.mode);
    entry.destination = outcome_.target;
    entry.asked = outcome_.asked;
    entry.catalog = outcome_.catalog;
    entry.filesCopied = outcome_.filesCopied;
    entry.filesUnchanged = outcome_.filesUnchanged;
    entry.bytesCopied = outcome_.bytesCopied;
    entry.failures = outcome_.failures;
    entry.held = outcome_.held;
    entry.result = result;
    AppendRunLog(fs_, entry);
}

std::wstring BackupRun::ReasonText(const CopyFailure& failure) const {
    switch (failure.reason) {
        case FailureReason::SourceMissing:
            return host_.Text(Msg::SourceMissing);
        case FailureReason::SourceOverlaps:
            return host_.Text(Msg::SourceOverlap);
        case FailureReason::EnclosureGone:
            return host_.Text(Msg::DeviceGone);
        case FailureReason::SameName:
            return host_.Text(Msg::SameName);
        case FailureReason::TooLargeForFat:
            return host_.Text(Msg::FatLimit);
        case FailureReason::DestinationGone:
            return host_.Text(Msg::DestinationGone);
        case FailureReason::Link:
            return host_.Text(Msg::LinkNotFollowed);
        case FailureReason::Encrypted:
            return host_.Text(Msg::Encrypted);
        case FailureReason::VersionsFolder:
            return host_.Text(Msg::VersionsName);
        case FailureReason::Conflict:
            return host_.Text(Msg::Conflict);
        case FailureReason::NoRoomForVersion:
            return host_.Text(Msg::NoRoomVersion);
        case FailureReason::NotOnDisk:
            return host_.Text(Msg::NotOnDisk);
        case FailureReason::SourceBecameLink:
            return host_.Text(Msg::SourceBecameLink);
        case FailureReason::SourceReplaced:
            return host_.Text(Msg::SourceReplaced);
        case FailureReason::LinkMoved:
            return host_.Text(Msg::LinkMoved);
        case FailureReason::Platform:
            break;
    }
    return fs_.ErrorText(failure.error);
}

GuardChoice BackupRun::GuardReplacements(const PressPlan& plan) {
    const DamageSample sample = SampleDamage(fs_, plan.replacements);
    const GuardFigures figures{plan.replacements.size(), plan.onBothSides, ReadReplaceHistory(fs_),
                               sample.sampled, sample.damaged.size()};
    if (!ShouldAsk(figures)) {
        return GuardChoice::BackUpAll;
    }
    std::wstring text = host_.Text(Msg::MassChange) + L"\n\n" + host_.Text(Msg::MassReplaced) +
                        L" " + std::to_wstring(figures.replacing) + L"\n" +
                        host_.Text(Msg::MassBoth) + L" " + std::to_wstring(figures.onBothSides);
    if (!sample.damaged.empty()) {
        text += L"\n" + host_.Text(Msg::MassDamaged) + L" " + std::to_wstring(figures.damaged) +
                L" / " + std::to_wstring(figures.sampled);
        for (std::size_t i = 0; i < std::min(sample.damaged.size(), kDamagedShown); ++i) {
            const DamageSign sign = sample.damaged[i].sign;
            const Msg said = sign == DamageSign::Empty    ? Msg::SignEmpty
                             : sign == DamageSign::Shrunk ? Msg::SignShrunk
                                                          : Msg::SignType;
            text += L"\n" + sample.damaged[i].path + L"\n    " + host_.Text(said);
        }
    }
    text += L"\n\n" + host_.Text(Msg::ChoiceAll) + L"\n" + host_.Text(Msg::ChoiceNew) + L"\n" +
            host_.Text(Msg::ChoiceCancel);
    const GuardChoice choice = host_.AskBeforeReplacing(text);
    outcome_.asked = std::to_wstring(figures.replacing) + L" of " +
                     std::to_wstring(figures.onBothSides) + L" files, " +
                     std::to_wstring(figures.damaged) + L" of " + std::to_wstring(figures.sampled) +
                     L" sampled with signs of damage; chosen: " +
                     (choice == GuardChoice::BackUpAll      ? L"back up all"
                      : choice == GuardChoice::OnlyNewFiles ? L"copy only new files"
                                                            : L"cancel");
    return choice;
}

std::wstring BackupRun::VersionsReadMe() const {
    std::wstring text;
    for (const Msg part :
         {Msg::VersionsReadMe1, Msg::VersionsReadMe2, Msg::VersionsReadMe3, Msg::VersionsReadMe4}) {
        text += host_.Text(part) + L"\r\n";
    }
    return text;
}

void BackupRun::TellOutcome() {
    const auto& failures = outcome_.failures;
    if (failures.empty() && outcome_.held.empty() && outcome_.complete) {
        ShowEndBox(L"Information", host_.Text(Msg::CopyOver), BoxIcon::Information);
        return;
    }
    std::wstring text = host_.Text(Msg::CopyFail);
    if (!outcome_.complete) {
        text += L"\n\n" + host_.Text(Msg::StoppedEarly) + L" " + std::to_wstring(outcome_.notTried);
    }
    if (!outcome_.held.empty()) {
        text += L"\n\n" + host_.Text(Msg::HeldBack) + L" " + std::to_wstring(outcome_.held.size());
    }
    if (!failures.empty()) {
        text += L"\n\n" + host_.Text(Msg::NotCopied) + L" " + std::to_wstring(failures.size());
        for (std::size_t i = 0; i < std::min(failures.size(), kFailuresShown); ++i) {
            text += L"\n" + failures[i].first + L"\n    " + failures[i].second;
        }
        if (failures.size() > kFailuresShown) {
            text += L"\n...";
        }
    }
    if (!failures.empty() || !outcome_.held.empty()) {
        text += L"\n\n" + host_.Text(Msg::SeeLog) + L" " + RunLogFile();
    }
    ShowEndBox(L"Copy Fail", text, BoxIcon::Warning);
}

void BackupRun::HoldControls() {
    host_.HoldControls();
    state.barPosition = 0;
}

int BackupRun::RunBackup() {
    progressStarted_ = false;
    outcomeToTell_ = false;
    refusal_.reset();
    outcome_ = {};
    outcome_.started = LocalTimeText();
    // Whatever changes from here on is newer than this run, whether the walk sees it or not.
    const std::int64_t started = fs_.CurrentTime();
    const auto bytes = fs_.ReadFileBytes(PathListFile(), kPathListReadLimit);
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status == PathListRead::Status::PathLost) {
        return Refuse(L"No Path File", Msg::PathLost);
    }
    const std::wstring& target = list.target;
    outcome_.target = target;
    const std::optional<int> keyDrive = KeyDriveOf(inputs_.keyDrives, target);
    if (inputs_.pressKey == 2 && keyDrive) {
        return Refuse(L"Key Lost", Msg::KeyLost);
    }
    if (state.serialCheckArmed == 1 && CheckBackupVolume(fs_, target) == 0) {
        return Refuse(L"Different Volume", Msg::DiffVol);
    }
    // Nothing is made, written or removed under a destination that a link leads away.
    if (!PlainFolderPath(fs_, LongPath(target))) {
        return Refuse(L"Copy Fail", Msg::DestinationNotPlain);
    }
    CreateFolderPath(fs_, LongPath(target));
    if (!PlainFolderPath(fs_, LongPath(target))) {
        return Refuse(L"Copy Fail", Msg::DestinationNotPlain);
    }
    // A list whose records cannot be read could never run: the user is told to save it again.
    if (list.status != PathListRead::Status::Usable) {
        return Refuse(L"No Path File", Msg::PathLost);
    }

    const bool walking = inputs_.mode != RunMode::None;
    const bool sync = inputs_.mode == RunMode::Sync;
    // A source that is no longer what was saved is named and walked in neither direction.
    SourceIdentities identities(fs_);
    std::vector<std::wstring> sources;
    std::vector<std::wstring> missing;
    std::vector<CopyFailure> refused;
    for (const std::wstring& source : list.sources) {
        if (!fs_.Find(LongPath(source))) {
            missing.push_back(source);
        }
        switch (identities.Check(source, sync)) {
            case SourceChange::None:
                sources.push_back(source);
                break;
            case SourceChange::BecameLink:
                refused.push_back({PlainPath(source), FailureReason::SourceBecameLink, 0});
                break;
            case SourceChange::OtherFolder:
                refused.push_back({PlainPath(source), FailureReason::SourceReplaced, 0});
                break;
            case SourceChange::LinkMoved:
                refused.push_back({PlainPath(source), FailureReason::LinkMoved, 0});
                break;
        }
    }
    identities.Keep();
    // Each copy is decided from its own record, kept beside the versions on the destination.
    const std::unique_ptr<Catalog> catalog =
        walking ? Catalog::Open(fs_, LongPath(target), inputs_.machine, started) : nullptr;
    outcome_.catalog = CatalogText(catalog.get(), walking);
    // A new PC finds in the backup which PC and which folders it came from.
    if (catalog) {
        WriteSourcesFile(fs_, target, {inputs_.places, list.sources});
    }
    const PressContext context{catalog.get(), started};
    PressPlan plan = walking ? PlanPress(fs_, context, sync, sources, target) : PressPlan{};
    // What the count found the same by reading it is recorded before anything moves.
    if (catalog) {
        catalog->Commit();
    }
    state.totalBytes = plan.totalBytes;
    state.copiedBytes = 0;
    const std::optional<int> delay = ComputeStepDelay(plan.totalBytes, plan.entryCount);
    const bool emptyRun = !delay.has_value();
    state.stepDelayMs = delay.value_or(kSmallRunDelayMs);
    HoldControls();
    const GuardChoice choice = GuardReplacements(plan);
    if (choice == GuardChoice::Cancel) {
        if (catalog) {
            catalog->Finish();
        }
        WriteLog(L"cancelled before replacing");
        return 0;
    }
    if (!emptyRun) {
        state.runEnded = 0;
        state.targetKeyDrive = keyDrive.value_or(-1);
        progressStarted_ = StartProgressThread();
        if (!progressStarted_) {
            return 0;
        }
    }

    outcomeToTell_ = true;
    // The run's beginning is logged, so that a run the program or the computer never finished is
    // seen as such.
    WriteLog({});
    BackupWalker walker(fs_, host_.EnclosurePresent(), *this, plan.totalBytes, context);
    walker.PassOverUnchanged(std::move(plan.unchanged));
    VersionStore versions(fs_, target, fs_.CurrentTime());
    versions.Explain(VersionsReadMe());
    walker.OnlyNewFiles(choice == GuardChoice::OnlyNewFiles);
    if (choice == GuardChoice::BackUpAll) {
        std::vector<VersionRecord> planned;
        for (const Replacement& replacement : plan.replacements) {
            planned.push_back(replacement.replaced);
        }
        versions.Plan(std::move(planned));
        walker.KeepVersions(&versions);
    }
    bool walked = true;
    for (const std::wstring& source : sources) {
        host_.NotifyDevice(RunMessage::ItemStarting);
        int result = 1;
        if (inputs_.mode == RunMode::Copy) {
            result = walker.CopyItem(source, target);
        } else if (inputs_.mode == RunMode::Sync) {
            result = walker.SyncItem(source, target);
        }
        state.copiedBytes = walker.CopiedBytes();
        if (result == 0) {
            walked = false;
            break;
        }
    }
    const bool complete = walked && DevicePresent();
    // The copies' data is on the disk before their records are written, and before the press
    // tells anyone it is complete.
    const bool recorded = DevicePresent() && walker.WriteRecords();
    if (DevicePresent()) {
        versions.Finish();
    }
    // Lets go of the folders held open on the enclosure, which could not be ejected otherwise.
    fs_.ConfineWrites({});
    if (complete && recorded && catalog) {
        catalog->Finish();
    }
    AppendReplaceHistory(fs_, choice == GuardChoice::BackUpAll ? plan.replacements.size() : 0);
    // A source the press made again from its backup is the one the next press expects.
    for (const std::wstring& source : missing) {
        identities.Remade(source);
    }
    identities.Keep();
    std::vector<CopyFailure> failures = std::move(refused);
    std::ranges::copy(walker.Failures(), std::back_inserter(failures));
    // A pulled enclosure is named as such, not as a destination that stopped answering.
    if (!DevicePresent()) {
        std::erase_if(failures, [](const CopyFailure& failure) {
            return failure.reason == FailureReason::DestinationGone;
        });
        failures.push_back({PlainPath(target), FailureReason::EnclosureGone, 0});
    }
    for (const CopyFailure& failure : failures) {
        outcome_.failures.emplace_back(failure.path, ReasonText(failure));
    }
    outcome_.held = walker.HeldBack();
    outcome_.complete = complete;
    outcome_.notTried =
        plan.allEntries - std::min<std::uint64_t>(walker.EntriesTried(), plan.allEntries);
    outcome_.filesUnchanged = walker.FilesUnchanged();
    outcome_.filesCopied = walker.FilesCopied();
    outcome_.bytesCopied = walker.CopiedBytes();
    if (complete && failures.empty() && outcome_.held.empty()) {
        WriteLog(L"complete");
    } else {
        const std::wstring early =
            L"stopped early, " + std::to_wstring(outcome_.notTried) + L" never tried, ";
        const std::wstring held =
            outcome_.held.empty() ? L""
                                  : L", " + std::to_wstring(outcome_.held.size()) + L" held back";
        WriteLog((complete ? L"" : early) + std::to_wstring(failures.size()) + L" not copied" +
                 held);
    }

    if (!complete) {
        return 0;
    }
    // A file it could not copy does not make the backup late: the press walked to its end.
    RecordCompleteBackup(fs_, fs_.CurrentTime());
    host_.ShowTargetHasFolders(target);
    WriteBackupRecord(fs_, inputs_.mode == RunMode::Sync ? BackupType::Sync : BackupType::Copy,
                      target);
    state.serialCheckArmed = 1;
    return 1;
}

}  // namespace bexlo
