// Seams between the parts of the browser backend. Not seen by the game.
#pragma once

#include "settings/controls.h"

namespace web {

// The page's one canvas, as html5.h names it.
inline constexpr const char* CANVAS = "#canvas";
// What holds the canvas and what the page draws over it: where the mouse is listened to and
// locked, so that the page's own layers over the picture do not take its clicks.
inline constexpr const char* STAGE = "#stage";

// Input (dinput.cpp): listens to the page's keyboard, mouse and focus once there is a window.
void listen_for_input();
bool page_has_focus();
// An exclusive mouse takes the pointer at the next click on the canvas (pointer lock).
void capture_pointer(bool capture);

// Sound (dsound.cpp): the browser lets audio start only from a user's key, click or touch.
void start_audio_from_gesture();

// Pads (gamepad.cpp): the touch controls' move stick, as a pad's left stick (-32768..32767).
void set_touch_stick(int x, int y);
// The touch buttons, as the actions they stand for, whatever keys those are bound to.
void set_touch_action(settings::Action action, bool down);

}  // namespace web
