// No gamepad in the browser yet: the page's Gamepad API is not read, so nothing is ever added
// to the keyboard and mouse, and a replay script that plays a pad cannot have one.
#include <dinput.h>
#include <headless.h>

#include "input_feed.h"

namespace platform {

uint32_t read_pad_actions() { return 0; }
uint32_t read_pad_actions(int32_t&, int32_t&) { return 0; }
void pad_focus_lost() {}
void reset_pad() {}

}  // namespace platform

namespace headless {

int attach_pad() { return -1; }
void set_pad(int, const gamepad::PadReading&) {}
void detach_pad(int) {}

}  // namespace headless
