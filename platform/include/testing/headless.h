// Control of our layer for tests and tools, on every backend: a headless mode with no window
// system (a backend of its own, platform/shared/headless_window.cpp), scripted input, a log of
// every quad drawn, read-back of the presented picture, and hooks for a driver of the game's
// own loop. The game itself never includes this header, and cannot: only the tests and the
// tools are given platform/include/testing.
//
// On the desktop the virtual pads are SDL's virtual game controllers, and the render mode may
// draw on the GPU (the hint ZORVALEN_PRESENTATION=gpu, SDL's offscreen driver); in the browser
// there are no pads, and the render mode always draws with the compositor.
#pragma once

#include <cstdint>

#include <d3d9.h>

namespace gamepad {
struct PadReading;
}

namespace headless {

enum class Mode {
    off,     // the game: a real window on the desktop, paced at 60 frames per second
    record,  // no window system and no rendering; every quad is recorded
    render,  // pictures drawn by the layer's own compositor, exact, with no window system (or, with
             // the hint ZORVALEN_PRESENTATION=gpu, by SDL's offscreen driver with OpenGL); quads recorded too
};

// Chosen once, before the window is created. No frame pacing and no audio device in either headless mode.
void set_mode(Mode mode);
Mode mode();

// Headless runs make no sound. With this on (it outlasts set_mode), DirectSoundCreate8 gives a
// device that mixes only when asked (audio::render), so tests can load and play the game's sounds.
void set_offline_sound(bool on);
bool offline_sound();

// Scripted input: what the keyboard and mouse devices read on their next GetDeviceState.
// Keys stay as set; mouse motion is consumed by one read; buttons stay as set.
void set_keys(const unsigned char keys[256]);
void set_mouse(int dx, int dy, bool left, bool right);

// Virtual gamepads, seen by the layer as pads plugged in, in the order attached. In the
// headless modes the layer looks at no other pads. attach_pad gives a handle, or -1 when no
// pad can be made; a pad reads as set until set again, and detaching unplugs it. set_mode
// detaches them all.
int attach_pad();
void set_pad(int pad, const gamepad::PadReading& reading);
void detach_pad(int pad);

// Queues a close request for the main window, as the window system would.
void post_close();

// A driver of the game's own loop in place of a player (the page's scripted play): the game
// runs as it does for the player, and `before_frame` runs once before each frame, at its first
// look at the messages after a Present, `after_present` at each Present. While the hooks are
// set the window counts as focused, whatever the window system says (a headless browser never
// gives the page focus). Works in every mode and on every backend; set_mode clears them.
struct FrameHooks {
    void (*before_frame)();
    void (*after_present)();
};
void set_frame_hooks(FrameHooks hooks);

// Input for such a driver, as the window system reports a player's: unlike set_keys and
// set_mouse, which the headless modes read in place of the devices, these reach the devices as
// key and button events do. Keys are DirectInput scan codes; buttons count from 0 (left, right).
void feed_key(unsigned char code, bool down);
void feed_mouse_button(int button, bool down);
void feed_mouse_motion(int dx, int dy);

// What the keyboard and mouse devices gave the game since the last take: the keys and buttons
// of the last successful read, pads and touch included, and the motion of every read summed.
// For such a driver to write the player's input down as replay script lines.
struct DeviceReads {
    unsigned char keys[256];  // 0x80 for a held key
    int dx, dy;
    bool left, right;
};
DeviceReads take_device_reads();

// One quad as the device drew it, with the states that were in force.
struct QuadRecord {
    const IDirect3DBaseTexture9* texture;  // null for untextured quads
    float x[4], y[4];                      // the four vertices in strip order
    float u[4], v[4];
    std::uint32_t color;                   // ARGB of the first vertex
    bool blend;                            // D3DRS_ALPHABLENDENABLE
    std::uint32_t src_blend, dest_blend;   // D3DRS_SRCBLEND, D3DRS_DESTBLEND
    std::uint32_t cull_mode;               // D3DRS_CULLMODE at the time
    bool culled;                           // discarded by the cull mode
};

struct DrawLog {
    const QuadRecord* quads;
    int count;    // recorded quads (at most the log's capacity)
    int dropped;  // quads past the capacity, counted but not kept
};

// Recording is on after every set_mode unless turned off here (a tool that reads no draws
// saves the work); the game itself, with the headless mode off, never records.
void set_recording(bool on);

DrawLog current_draws();    // since the scene was last begun
DrawLog presented_draws();  // the scene most recently presented
int presented_frames();     // Present calls since the device was created

// In render mode: ask for the next Present to keep a copy of the picture, then read it.
// Pixels are 0xAARRGGBB, row-major, width x height; null when no picture was captured.
void capture_next_present();
const std::uint32_t* captured_pixels(int* width, int* height);

// In render mode with the compositor: draw only the frames whose picture is asked for with
// capture_next_present before the frame's first draw; the others are only recorded, and cost
// what record mode costs. A capture asked later in a frame whose quads were skipped gives no
// picture (captured_pixels returns null). Off after every set_mode.
void set_pictures_on_demand(bool on);

}  // namespace headless
