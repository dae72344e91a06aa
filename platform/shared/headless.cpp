// The headless control surface: mode, close requests, the quad logs and read-back, and the
// frame hooks of a driver of the game's own loop. The mode chooses the window system of the
// windows made from then on: the backend's own, or the headless one (window_system.h).
#include <headless.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "headless_control.h"
#include "input_feed.h"
#include "window_system.h"

namespace {

headless::Mode current_mode = headless::Mode::off;
// A tool or test may ask for the close from another thread, as the window system would.
std::atomic<int> pending_closes{0};

// Big enough for a frame with every star of the starfield on screen plus everything else.
constexpr int LOG_CAPACITY = 32768;

struct Log {
    headless::QuadRecord quads[LOG_CAPACITY];
    int count = 0;
    int dropped = 0;
};

// Static storage: recording a frame allocates nothing. Presenting swaps the two logs'
// roles rather than copying a frame's worth of records.
Log first_log;
Log second_log;
Log* current_log = &first_log;
Log* presented_log = &second_log;
bool recording_wanted = true;
bool offline_sound_wanted = false;
// Counted unsigned so that a run past 2^31 frames wraps instead of overflowing.
unsigned frames_presented = 0;

bool capture_requested = false;
bool on_demand = false;
std::vector<std::uint32_t> captured;
int captured_width = 0;
int captured_height = 0;
bool captured_valid = false;

headless::FrameHooks frame_hooks{};
bool frame_due = true;  // the first look at the messages comes before the first frame

headless::DrawLog view(const Log& log) { return {log.quads, log.count, log.dropped}; }

}  // namespace

namespace headless {

void set_mode(Mode mode) {
    // A window made for one mode is no use in another; the next CreateWindowExA makes a fresh one.
    platform::reset_windowing();
    platform::reset_pad();
    current_mode = mode;
    recording_wanted = true;
    on_demand = false;
    frame_hooks = {};
}

Mode mode() { return current_mode; }

void set_frame_hooks(FrameHooks hooks) {
    frame_hooks = hooks;
    frame_due = true;
}

void feed_key(unsigned char code, bool down) { platform::feed_key(code, down); }
void feed_mouse_button(int button, bool down) { platform::feed_mouse_button(button, down); }
void feed_mouse_motion(int dx, int dy) { platform::feed_mouse_motion(dx, dy); }

void post_close() { ++pending_closes; }

void set_offline_sound(bool on) { offline_sound_wanted = on; }
bool offline_sound() { return offline_sound_wanted; }

void set_recording(bool on) { recording_wanted = on; }

DrawLog current_draws() { return view(*current_log); }
DrawLog presented_draws() { return view(*presented_log); }
int presented_frames() { return static_cast<int>(frames_presented); }

void capture_next_present() { capture_requested = true; }

void set_pictures_on_demand(bool on) { on_demand = on; }

const std::uint32_t* captured_pixels(int* width, int* height) {
    if (width != nullptr) *width = captured_valid ? captured_width : 0;
    if (height != nullptr) *height = captured_valid ? captured_height : 0;
    return captured_valid ? captured.data() : nullptr;
}

}  // namespace headless

namespace platform {

bool take_close_request() {
    int pending = pending_closes.load();
    while (pending > 0 && !pending_closes.compare_exchange_weak(pending, pending - 1)) {
    }
    return pending > 0;
}

void clear_close_requests() { pending_closes = 0; }

WindowSystem& current_window_system() {
    switch (current_mode) {
    case headless::Mode::off: return native_window_system();
    case headless::Mode::render:
        if (WindowSystem* own = rendering_window_system()) return *own;
        return headless_window_system(true);
    case headless::Mode::record: break;
    }
    return headless_window_system(false);
}

void frame_begins() {
    if (!frame_due || frame_hooks.before_frame == nullptr) return;
    frame_due = false;
    frame_hooks.before_frame();
}

void frame_shown() {
    frame_due = true;
    if (frame_hooks.after_present != nullptr) frame_hooks.after_present();
}

bool driven_by_hooks() { return frame_hooks.before_frame != nullptr; }

namespace draw_log {

void device_created() {
    current_log->count = current_log->dropped = 0;
    presented_log->count = presented_log->dropped = 0;
    frames_presented = 0;
    capture_requested = false;
    captured_valid = false;
}

void scene_begun() { current_log->count = current_log->dropped = 0; }

// The game itself has no use for the log; only tests and tools read it.
bool recording() { return recording_wanted && current_mode != headless::Mode::off; }

void record(const headless::QuadRecord& quad) {
    Log& log = *current_log;
    if (log.count == LOG_CAPACITY) {
        ++log.dropped;
        return;
    }
    log.quads[log.count++] = quad;
}

void presented() {
    Log* const shown = current_log;
    current_log = presented_log;
    presented_log = shown;
    ++frames_presented;
}

bool capture_wanted() { return capture_requested; }

bool pictures_on_demand() { return on_demand; }

std::uint32_t* capture_buffer(int width, int height) {
    // Only a test asks for this, once in a while: the buffer grows here and not per frame.
    captured.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    captured_width = width;
    captured_height = height;
    return captured.data();
}

void capture_done(bool ok) {
    capture_requested = false;
    captured_valid = ok;
}

}  // namespace draw_log
}  // namespace platform
