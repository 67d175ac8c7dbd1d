#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/PressPlan.h"
#include "backup/RunHost.h"
#include "backup/RunState.h"
#include "backup/Walkers.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// One backup run a button press starts: the run thread reads path.txt, checks the destination,
// walks every saved source with the Copy or Synchronize walker and records the backup, while the
// progress thread paces the progress display. The run thread ends every run: once the display has
// stopped it tells the enclosure and shows the end box, and the run is over for the person as
// the box is answered, when the state, the controls and polling come back. Whatever either thread
// meets, a run always ends so.
class BackupRun : private ProgressFeedback {
public:
    BackupRun(RunHost& host, FileSystem& fs) : host_(host), fs_(fs) {}
    // Waits for the threads; whatever they wait for on the host must still answer.
    ~BackupRun() override;
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // Starts RunBackupThread with what the interface thread captured. False while a run is going,
    // or when no thread could be made: the press is dropped. A run started while the thread of
    // the last one is still taking its answered box off the screen runs next on that thread.
    bool Start(RunInputs inputs);
    // Waits until the threads of the last run have ended.
    void Join();

    RunState state;

private:
    struct Refusal {
        const wchar_t* caption;
        Msg text;
    };

    void RunBackupThread();
    // Whether the thread takes on a run started meanwhile; when not, it is free from now.
    bool TakeNextRun();
    // One run from its start to the answer of its end box.
    void RunAndEnd();
    int RunBackup();
    void ProgressThread();
    void AnimateProgress();
    bool StartProgressThread();
    int Refuse(const wchar_t* caption, Msg text);
    void HoldControls();
    bool DevicePresent() const { return host_.EnclosurePresent().load() == 1; }
    int BarPosition() override { return state.barPosition; }
    void SlowDown() override { ++state.stepDelayMs; }
    void Copied(std::uint64_t bytes) override;
    // The share of the pre-scan's bytes copied so far, 0 to 100.
    int CopiedShare() const;
    // The box that tells how the run ended: "Copy complete!", or what was not copied and why.
    void TellOutcome();
    // The run's last box: everything comes back as it is answered.
    void ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon);
    // The controls, polling and the state given back, once a run.
    void GiveBack();
    void WriteLog(const std::wstring& result);
    std::wstring ReasonText(const CopyFailure& failure) const;
    // Counts what the press would replace and asks the person when that looks like damage.
    GuardChoice GuardReplacements(const PressPlan& plan);
    // The versions folder's explanation, in the chosen language.
    std::wstring VersionsReadMe() const;
    void SetProgress(int position);
    // Sleeps `ms`, keeping the progress window painted; a copying pause ends early with the run.
    void Pause(int ms, bool endsWithRun);
    bool Launch(std::thread& thread, void (BackupRun::*body)());

    RunHost& host_;
    FileSystem& fs_;
    // Written by Start, only while no run is going.
    RunInputs inputs_;
    std::thread runThread_;
    // Started and joined by the run thread.
    std::thread progressThread_;
    // Guards the two below, which say whether the run thread is going and whether a run started
    // while it was ending the last one waits for it.
    std::mutex startMutex_;
    bool runThreadBusy_ = false;
    bool nextRun_ = false;
    // Run thread only: a progress thread paces this run.
    bool progressStarted_ = false;
    // Progress thread only.
    bool progressWindowOpen_ = false;

    // What the run did, written by the run thread before it reports the end.
    struct Outcome {
        std::wstring started;
        std::wstring target;
        std::wstring asked;
        std::wstring catalog;
        bool complete = false;
        std::uint64_t filesCopied = 0;
        std::uint64_t bytesCopied = 0;
        std::uint64_t filesUnchanged = 0;
        // The entries a run that stopped early never came to.
        std::uint64_t notTried = 0;
        // Each entry not copied, with the reason in words.
        std::vector<std::pair<std::wstring, std::wstring>> failures;
        // The copies left as they were because only new files were to be copied.
        std::vector<std::wstring> held;
    };
    Outcome outcome_;
    // Run thread only: the walk began, so its end must be told.
    bool outcomeToTell_ = false;
    // Run thread only: the check that refused the run, told in its end box.
    std::optional<Refusal> refusal_;
    // Run thread only: this run gave everything back.
    bool givenBack_ = false;
};

}  // namespace bexlo
