#pragma once

#include <windows.h>

#include "framework/Control.h"
#include "framework/DisplayScale.h"
#include "framework/Handles.h"

namespace bexlo {

// One pass of data exchange between a dialog's controls and its fields. Loading binds the control
// objects to their windows (the first time) and fills the controls; saving reads them back.
class DataExchange {
public:
    DataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}

    bool Saving() const { return saving_; }
    HWND Dialog() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }

    // Hooks `control` to the dialog item `id`; false when the item is missing.
    bool Bind(int id, Control& control);

    bool Failed() const { return failed_; }

private:
    HWND dialog_;
    bool saving_;
    bool failed_ = false;
};

// A dialog from a resource template, modal or modeless. `this` is put on the window with
// WM_INITDIALOG and taken off again before the window or the object goes, so no message reaches a
// half-built or half-destroyed object.
class Dialog {
public:
    explicit Dialog(UINT templateId) : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    INT_PTR DoModal(HWND parent);
    bool Create(HWND parent);  // modeless
    void EndDialog(INT_PTR result);

    HWND Handle() const { return window_; }
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }
    UINT TemplateId() const { return templateId_; }
    bool UpdateData(bool saving);

protected:
    virtual void DoDataExchange(DataExchange&) {}
    // The base loads the controls; return true to let the platform set the focus.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // WM_COMMAND, after the control that sent it had its reflected share. Not handled, a click
    // of IDOK or IDCANCEL goes to OnOK or OnCancel.
    virtual MsgResult OnCommand(WORD id, WORD code, HWND control);
    // WM_NOTIFY, after the control that sent it had its reflected share.
    virtual MsgResult OnNotify(const NMHDR& header);
    virtual void OnTimer(UINT_PTR id);
    // Everything else after the controls had their reflected share. Not handled means the
    // platform's default dialog handling runs.
    virtual MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The window is about to go (WM_DESTROY); child controls still exist.
    virtual void OnDestroy() {}
    // The window moved to a monitor of another scale and is laid out for `dpi`: pictures drawn
    // for a scale are made again.
    virtual void OnScaleChanged(int) {}
    // The scale the window is laid out for.
    int Dpi() const { return dpi_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // The handler a message goes to, its parameters unpacked.
    MsgResult Decode(UINT message, WPARAM wParam, LPARAM lParam);
    MsgResult Reflect(UINT message, WPARAM wParam, LPARAM lParam) const;
    void Forget();
    MsgResult OnDpiChanged(int dpi, const RECT& suggested);
    // Where the platform does not: the font and every control, from the scale `fromDpi` to
    // the window's.
    void Rescale(int fromDpi);

    UINT templateId_;
    HWND window_ = nullptr;
    bool modal_ = false;
    int dpi_ = kDefaultDpi;
    // The dialog's font at a scale it was not made for.
    UniqueFont scaledFont_;
};

}  // namespace bexlo
