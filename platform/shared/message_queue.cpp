#include "message_queue.h"

#include <cstdint>

namespace platform {

namespace {

bool matches(const MSG& message, HWND filter_window, UINT filter_min, UINT filter_max) {
    // A window of -1 asks for the thread's own messages, those posted to no window.
    if (filter_window == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
        if (message.hwnd != nullptr) return false;
    } else if (filter_window != nullptr && message.hwnd != filter_window) {
        return false;
    }
    if (filter_min == 0 && filter_max == 0) return true;
    return message.message >= filter_min && message.message <= filter_max;
}

}  // namespace

void MessageQueue::post(HWND target, UINT message, WPARAM wparam, LPARAM lparam, DWORD time) {
    if (count_ == CAPACITY) return;
    messages_[count_++] = MSG{target, message, wparam, lparam, time, {}};
}

void MessageQueue::post_quit(int exit_code) {
    quit_posted_ = true;
    quit_code_ = exit_code;
}

bool MessageQueue::peek(MSG* message, HWND filter_window, UINT filter_min, UINT filter_max, UINT remove) {
    for (int i = 0; i < count_; ++i) {
        if (!matches(messages_[i], filter_window, filter_min, filter_max)) continue;
        *message = messages_[i];
        if (remove & PM_REMOVE) remove_at(i);
        return true;
    }
    const bool wants_thread_messages =
        filter_window == nullptr || filter_window == reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
    const bool in_range = (filter_min == 0 && filter_max == 0) || (WM_QUIT >= filter_min && WM_QUIT <= filter_max);
    if (!quit_posted_ || !wants_thread_messages || !in_range) return false;
    *message = MSG{};
    message->message = WM_QUIT;
    message->wParam = static_cast<WPARAM>(quit_code_);
    if (remove & PM_REMOVE) quit_posted_ = false;
    return true;
}

void MessageQueue::purge(HWND target) {
    for (int i = 0; i < count_;)
        if (messages_[i].hwnd == target)
            remove_at(i);
        else
            ++i;
}

void MessageQueue::clear_posted() { count_ = 0; }

void MessageQueue::clear() {
    count_ = 0;
    quit_posted_ = false;
    quit_code_ = 0;
}

void MessageQueue::remove_at(int position) {
    for (int i = position; i + 1 < count_; ++i) messages_[i] = messages_[i + 1];
    --count_;
}

}  // namespace platform
