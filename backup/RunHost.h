#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "backup/ReplaceGuard.h"
#include "framework/MessageTexts.h"

namespace bexlo {

enum class BoxIcon { Warning, Information };

// What a family-1 or family-2 enclosure is told about the run its press started.
enum class RunMessage { Failed, Complete, ItemStarting };

// What a backup run asks of the main window and the device layer. The run and progress threads
// call these; an implementation carries out on the interface thread whatever touches a control.
class RunHost {
public:
    virtual ~RunHost() = default;

    // The box that ends a run, owned by the main window, with its fixed caption. `answered` runs
    // once, on the calling thread, as the person answers the box and before it has gone from the
    // screen (which may take the platform a while), or, at the latest, before this returns.
    virtual void ShowEndBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon,
                            const std::function<void()>& answered) = 0;
    // The box that asks, before a run's first write, whether it may replace what it found: the
    // person's answer, Yes for all, No for only new files, Cancel for nothing.
    virtual GuardChoice AskBeforeReplacing(const std::wstring& text) = 0;
    // The language's text of a message.
    virtual std::wstring Text(Msg id) const = 0;
    // The controls and timers off for the run, the bar at 0, the trees kept from reselecting
    // after refreshes and the destination's selection kept.
    virtual void HoldControls() = 0;
    // The controls and timers back and the bar at 0, and the button drained once of presses made
    // during the run, so that the next poll tick listens; with `reselectTarget` the destination
    // kept by HoldControls selected again. `running` is cleared with them, on the thread that
    // handles the person's commands, so that none it handles next finds the run still going.
    virtual void ReleaseControls(bool reselectTarget, std::atomic<int>& running) = 0;
    // The key check of a family-1 enclosure drive: 1 when the key answers, else 0, after the
    // "Key Lost" box when the enclosure reported the key out.
    virtual int CheckKey(int drive) = 0;
    // A run message for the pressed enclosure, while it takes them.
    virtual void NotifyDevice(RunMessage message) = 0;
    // 1 while an enclosure is attached; cleared when the last one goes.
    virtual const std::atomic<int>& EnclosurePresent() const = 0;
    // After a successful run into `target`: the destination tree's drive shows that it holds
    // folders.
    virtual void ShowTargetHasFolders(const std::wstring& target) = 0;

    // The progress display, from the progress thread. The window, when opened, belongs to that
    // thread; false when it could not be made.
    virtual bool OpenProgressWindow() = 0;
    virtual void CloseProgressWindow() = 0;
    // The main dialog's bar and, while it is open, the progress window.
    virtual void SetProgress(int position) = 0;
    // Waits up to `ms`, keeping the open progress window painted.
    virtual void WaitPaintingProgress(int ms) = 0;
};

}  // namespace bexlo
