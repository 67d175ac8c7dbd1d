#pragma once

#include <windows.h>

#include <utility>

#include "framework/Accessible.h"

namespace bexlo {

// What a handler did with a message: its result, and whether it handled it at all.
struct MsgResult {
    LRESULT value = 0;
    bool handled = false;

    static MsgResult Handled(LRESULT value = 0) { return {value, true}; }
    static MsgResult NotHandled() { return {}; }
};

// A control created from a dialog template and hooked with SetWindowSubclass, the object being the
// subclass reference data. The owning dialog reflects notifications to the control object before
// handling them itself (see Dialog).
class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool Attach(HWND window);
    void Detach();
    HWND Handle() const { return window_; }

    // The control object hooked to a window, or null when the window is not one of ours.
    static Control* FromHandle(HWND window);

    // What a screen reader is told of the control; without a name, only what the platform tells.
    void SetAccessible(AccessibleFacts facts) { accessible_ = std::move(facts); }
    const AccessibleFacts& Accessible() const { return accessible_; }

    // Reflected from the parent: WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM and WM_COMMAND.
    virtual MsgResult OnReflected(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Messages sent to the control itself; not handled means the original procedure runs.
    virtual MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called once the window is hooked.
    virtual void OnAttached() {}
    LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData);
    static constexpr UINT_PTR kSubclassId = 0xB1;

    HWND window_ = nullptr;
    AccessibleFacts accessible_;
};

}  // namespace bexlo
