#include "framework/BoxAnswerWatch.h"

#include <utility>

#include "framework/Guard.h"

namespace bexlo {

thread_local BoxAnswerWatch* BoxAnswerWatch::current = nullptr;

BoxAnswerWatch::BoxAnswerWatch(const std::function<void()>& answered)
    : answered_(answered),
      outer_(std::exchange(current, this)),
      hook_(::SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, ::GetCurrentThreadId())) {}

BoxAnswerWatch::~BoxAnswerWatch() {
    hook_.Reset();
    current = outer_;
    Answer();
}

void BoxAnswerWatch::Answer() {
    if (!std::exchange(done_, true)) {
        GuardCall(L"BoxAnswerWatch", answered_);
    }
}

LRESULT CALLBACK BoxAnswerWatch::Watch(int code, WPARAM wParam, LPARAM lParam) {
    BoxAnswerWatch* watch = current;
    if (code == HC_ACTION && watch != nullptr) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent.message == WM_INITDIALOG && watch->box_ == nullptr) {
            watch->box_ = sent.hwnd;
        } else if (sent.message == WM_WINDOWPOSCHANGING && sent.hwnd == watch->box_ &&
                   (reinterpret_cast<const WINDOWPOS*>(sent.lParam)->flags & SWP_HIDEWINDOW)) {
            watch->Answer();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace bexlo
