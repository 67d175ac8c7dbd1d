#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/LanguageFiles.h"
#include "backup/FileSystem.h"
#include "backup/Walkers.h"

namespace bexlo {

class BackupDlg;

// One backup run a button press starts: the run thread reads path.txt, checks the destination,
// walks every saved source with the Copy or Synchronize walker and records the backup; the
// progress thread paces the progress display and gives the controls back at the end. Both touch
// the dialog's windows only through messages.
class BackupRun : private ProgressFeedback {
public:
    BackupRun(BackupDlg& dialog, FileSystem& fs) : dialog_(dialog), fs_(fs) {}
    // Waits for the threads; the dialog's window must be gone, so that none of them waits for it.
    ~BackupRun() override;
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // Starts RunBackupThread. False while the threads of an earlier run are still going, or when
    // no thread could be made: the press is then dropped.
    bool Start();

private:
    void RunBackupThread();
    int RunBackup(int pressKey);
    void ProgressThread();
    bool StartProgressThread();
    // The refusals of the checks: the box shown with polling paused.
    int Refuse(const wchar_t* caption, Msg text);
    // The run messages to family 1 and 2 enclosures, while the pressed one takes them.
    void NotifyDevice(int mode);
    int BarPosition() override;
    void SlowDown() override;
    void SetProgress(int position);
    // Sleeps `ms`, keeping the progress window painted; a copying pause ends early with the run.
    void Pause(int ms, bool endsWithRun);
    // On the interface thread: the controls and timers off for the run, and the trees kept from
    // reselecting after refreshes; or all of it back.
    void HoldControls(bool hold);
    // The end of every run with a progress thread, on the interface thread.
    void RestoreAfterRun();
    void Join();
    // Runs `body` on `thread`; `done` is false until it has returned.
    bool Launch(std::thread& thread, std::atomic<bool>& done, const wchar_t* name,
                void (BackupRun::*body)());

    BackupDlg& dialog_;
    FileSystem& fs_;
    std::thread runThread_;
    std::thread progressThread_;
    std::atomic<bool> runThreadDone_{true};
    std::atomic<bool> progressThreadDone_{true};
    // The destination selected when the controls went off, selected again at the end; taken
    // on the interface thread, which owns the selection.
    std::wstring keptSelection_;
    // Set on the progress thread while the progress window is open.
    bool progressWindowOpen_ = false;
};

}  // namespace bexlo
