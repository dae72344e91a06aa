#include "app/messages.h"

#include "world/world.h"

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) {
        // Closing ends the program through the quit flag, so the window is not destroyed here.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void drain_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) world.quit_requested = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
