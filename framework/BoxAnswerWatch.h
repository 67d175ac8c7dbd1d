#pragma once

#include <windows.h>

#include <functional>

#include "framework/Handles.h"

namespace bexlo {

// Runs a callback as the person answers the message box that the calling thread shows next. An
// answered box is hidden at once but may stay on the screen a while (without a window manager,
// Wine keeps it two seconds), and the box returns only once it has gone: the run it ends must not
// wait for that.
class BoxAnswerWatch {
public:
    explicit BoxAnswerWatch(const std::function<void()>& answered);
    // A box that could not be shown, or went without being hidden first, was answered all the
    // same.
    ~BoxAnswerWatch();
    BoxAnswerWatch(const BoxAnswerWatch&) = delete;
    BoxAnswerWatch& operator=(const BoxAnswerWatch&) = delete;

private:
    void Answer();

    // Messages sent to the thread's windows: the box is the first dialog made after the watch
    // began, and its answer hides it.
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam);

    static thread_local BoxAnswerWatch* current;

    const std::function<void()>& answered_;
    BoxAnswerWatch* outer_;
    HWND box_ = nullptr;
    bool done_ = false;
    UniqueHook hook_;
};

}  // namespace bexlo
