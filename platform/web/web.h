// Seams between the parts of the browser backend. Not seen by the game.
#pragma once

namespace web {

// The page's one canvas, as html5.h names it.
inline constexpr const char* CANVAS = "#canvas";

// Input (dinput.cpp): listens to the page's keyboard, mouse and focus once there is a window.
void listen_for_input();
bool page_has_focus();
// An exclusive mouse takes the pointer at the next click on the canvas (pointer lock).
void capture_pointer(bool capture);

// Sound (dsound.cpp): the browser lets audio start only from a user's key or click.
void start_audio_from_gesture();

}  // namespace web
