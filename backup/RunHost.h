#pragma once

#include <atomic>
#include <string>

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

    // A message box owned by the main window, with its fixed caption.
    virtual void ShowBox(const wchar_t* caption, const std::wstring& text, BoxIcon icon) = 0;
    // The language's text of a message.
    virtual std::wstring Text(Msg id) const = 0;
    // A refused run: the warning box shown with the controls and polling paused around it.
    virtual void ShowRefusal(const wchar_t* caption, Msg text) = 0;
    // The controls and timers off for the run, the bar at 0, the trees kept from reselecting
    // after refreshes and the destination's selection kept.
    virtual void HoldControls() = 0;
    // The controls and timers back and the bar at 0, and the button drained of presses made
    // during the run; with `reselectTarget` the destination kept by HoldControls selected again.
    virtual void ReleaseControls(bool reselectTarget) = 0;
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
