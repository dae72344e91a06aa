// Seams between the parts of the browser layer. Not seen by the game.
#pragma once

#include <windows.h>

namespace web {

// The page's one canvas, as html5.h names it.
inline constexpr const char* CANVAS = "#canvas";

// Windowing (win32.cpp).
bool is_live_window(HWND window);
bool page_has_focus();

// Shows a line of text over the canvas, in the page itself.
void show_message(const char* text);

// Input (dinput.cpp): listens to the page's keyboard, mouse and focus once there is a window.
void listen_for_input();

// The page's scripted play (main.cpp) drives the game's own loop with a script's input in
// place of the player's: `presented` runs at each Present of the canvas, `next_frame` once
// before each frame, when the game first looks at its messages. The page then counts as
// focused, whatever the browser says (a headless one never gives it focus).
struct FrameHooks {
    void (*presented)();
    void (*next_frame)();
};
void play_scripted(FrameHooks hooks);
// Called by the device at each Present of the canvas.
void frame_presented();

// Sound (dsound.cpp): the browser lets audio start only from a user's key or click.
void start_audio_from_gesture();

}  // namespace web
