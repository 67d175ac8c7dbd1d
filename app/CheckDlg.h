#pragma once

#include <optional>

#include "backup/CheckTask.h"
#include "framework/Dialog.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// The window of a check the person started: what has been read back of how much, the time left,
// and a button that stops the check (the next one goes on where it stopped). It is modal, so
// that the main dialog waits for it; a press meanwhile stops the check and closes it.
class CheckDlg : public Dialog {
public:
    CheckDlg(const MessageTexts& texts, CheckTask::Work work);

    // The check's outcome once the window has closed; nothing when the check could not start.
    const std::optional<CheckOutcome>& Outcome() const { return outcome_; }
    // Stops the check, waits for it and closes the window.
    void StopNow();

protected:
    void DoDataExchange(DataExchange& exchange) override;
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;

private:
    void Show(const CheckTask::Status& status);
    void Close(CheckOutcome outcome);

    const MessageTexts& texts_;
    CheckTask::Work work_;
    CheckTask task_;
    Control bar_;
    std::optional<CheckOutcome> outcome_;
};

}  // namespace bexlo
