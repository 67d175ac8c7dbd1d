#include "app/CheckDlg.h"

#include <commctrl.h>
#include <oleacc.h>

#include "backup/CheckReport.h"
#include "backup/ProgressDlg.h"
#include "framework/CaptionText.h"
#include "res/resource.h"

namespace bexlo {

namespace {

constexpr UINT_PTR kCheckTimer = 1;
constexpr UINT kCheckTimerMs = 250;
// The bar's range: tenths of a percent.
constexpr int kBarRange = 1000;

}  // namespace

CheckDlg::CheckDlg(const MessageTexts& texts, CheckTask::Work work)
    : Dialog(IDD_CHECK), texts_(texts), work_(std::move(work)) {}

void CheckDlg::DoDataExchange(DataExchange& exchange) {
    exchange.Bind(IDC_CHECK_BAR, bar_);
}

bool CheckDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    ::SetWindowTextW(Handle(), texts_[Msg::CheckTitle].c_str());
    ::SetDlgItemTextW(Handle(), IDCANCEL, texts_[Msg::CheckStop].c_str());
    bar_.SetAccessible({WithoutTrailingColon(texts_[Msg::CheckRead]), ROLE_SYSTEM_PROGRESSBAR,
                        ProgressDlg::BarValue});
    ::SendMessageW(Item(IDC_CHECK_BAR), PBM_SETRANGE32, 0, kBarRange);
    Show({});
    if (!task_.Start(std::move(work_))) {
        EndDialog(IDABORT);
        return true;
    }
    ::SetTimer(Handle(), kCheckTimer, kCheckTimerMs, nullptr);
    return true;
}

void CheckDlg::Show(const CheckTask::Status& status) {
    const std::wstring text =
        CheckProgressText(status.done, status.total, status.secondsLeft, texts_);
    ::SetDlgItemTextW(Handle(), IDC_CHECK_TEXT, text.c_str());
    const int position = status.total == 0
                             ? 0
                             : static_cast<int>(std::min<std::uint64_t>(status.done, status.total) *
                                                kBarRange / status.total);
    ::SendMessageW(Item(IDC_CHECK_BAR), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CheckDlg::OnTimer(UINT_PTR id) {
    if (id != kCheckTimer) {
        return;
    }
    if (std::optional<CheckOutcome> ended = task_.Ended()) {
        Close(std::move(*ended));
        return;
    }
    Show(task_.Now());
}

void CheckDlg::OnCancel() {
    // The button waits for the check to take the word; the timer closes the window.
    task_.Stop();
    ::EnableWindow(Item(IDCANCEL), FALSE);
}

void CheckDlg::StopNow() {
    if (std::optional<CheckOutcome> ended = task_.StopAndWait()) {
        Close(std::move(*ended));
    }
}

void CheckDlg::Close(CheckOutcome outcome) {
    ::KillTimer(Handle(), kCheckTimer);
    outcome_ = std::move(outcome);
    EndDialog(IDOK);
}

}  // namespace bexlo
