// The thread's message queue as Win32 keeps it, shared by the desktop and browser layers:
// posted messages come out in order, a full queue drops (as Windows' does), and WM_QUIT is a
// flag rather than a message, which comes out once everything else has. No SDL here.
#pragma once

#include <windows.h>

namespace platform {

class MessageQueue {
public:
    void post(HWND target, UINT message, WPARAM wparam, LPARAM lparam, DWORD time);
    void post_quit(int exit_code);
    // PeekMessage's search: the first posted message the filters let through, then the quit.
    bool peek(MSG* message, HWND filter_window, UINT filter_min, UINT filter_max, UINT remove);
    void purge(HWND target);   // a destroyed window's messages go with it
    void clear_posted();       // every posted message, but not a quit
    void clear();

private:
    static constexpr int CAPACITY = 256;
    void remove_at(int position);

    MSG messages_[CAPACITY] = {};
    int count_ = 0;
    bool quit_posted_ = false;
    int quit_code_ = 0;
};

}  // namespace platform
