#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/RunHost.h"
#include "backup/RunState.h"
#include "backup/Walkers.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// One backup run a button press starts: the run thread reads path.txt, checks the destination,
// walks every saved source with the Copy or Synchronize walker and records the backup; the
// progress thread paces the progress display and gives the controls back at the end. Whatever
// either thread meets, a run always ends: the state, the controls, polling and the enclosure's
// run message come back.
class BackupRun : private ProgressFeedback {
public:
    BackupRun(RunHost& host, FileSystem& fs) : host_(host), fs_(fs) {}
    // Waits for the threads; whatever they wait for on the host must still answer.
    ~BackupRun() override;
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // Starts RunBackupThread with what the interface thread captured. False while the threads
    // of an earlier run are still going, or when no thread could be made: the press is dropped.
    bool Start(RunInputs inputs);
    // Waits until the threads of the last run have ended.
    void Join();

    RunState state;

private:
    void RunBackupThread();
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
    void WriteLog(const std::wstring& result);
    std::wstring ReasonText(const CopyFailure& failure) const;
    void SetProgress(int position);
    // Sleeps `ms`, keeping the progress window painted; a copying pause ends early with the run.
    void Pause(int ms, bool endsWithRun);
    // Runs `body` on `thread`; `done` is false until it has returned.
    bool Launch(std::thread& thread, std::atomic<bool>& done, void (BackupRun::*body)());

    RunHost& host_;
    FileSystem& fs_;
    // Written on the interface thread before the run thread starts.
    RunInputs inputs_;
    std::thread runThread_;
    std::thread progressThread_;
    std::atomic<bool> runThreadDone_{true};
    std::atomic<bool> progressThreadDone_{true};
    // Run thread only: the progress thread took over the end of the run.
    bool progressStarted_ = false;
    // Progress thread only.
    bool progressWindowOpen_ = false;

    // What the run did, written by the run thread before it reports the end.
    struct Outcome {
        std::wstring started;
        std::wstring target;
        bool complete = false;
        std::uint64_t filesCopied = 0;
        std::uint64_t bytesCopied = 0;
        std::uint64_t filesUnchanged = 0;
        // The entries a run that stopped early never came to.
        std::uint64_t notTried = 0;
        // Each entry not copied, with the reason in words.
        std::vector<std::pair<std::wstring, std::wstring>> failures;
    };
    Outcome outcome_;
    // Run thread only: the walk began, so its end must be told.
    bool outcomeToTell_ = false;
    // The end is told once, by whichever thread gets to it.
    std::atomic<bool> told_{false};
    std::atomic<bool> progressEnded_{false};
};

}  // namespace bexlo
