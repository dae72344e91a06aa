// The headless control's side toward the layer (headless.cpp): what the shared device and
// window table tell it, and what they ask of it. Tests and tools hold the other side
// (platform/include/testing/headless.h); the game sees neither.
#pragma once

#include <cstdint>

#include <headless.h>

namespace platform {

// The quad logs and the captured picture, fed by the Direct3D device.
namespace draw_log {
void device_created();
void scene_begun();
bool recording();
void record(const headless::QuadRecord& quad);
void presented();
bool capture_wanted();
// Whether the compositor draws only the frames whose capture was asked before they began.
bool pictures_on_demand();
// Hands out the buffer for the captured picture; the device fills it with width x height pixels.
std::uint32_t* capture_buffer(int width, int height);
void capture_done(bool ok);
}  // namespace draw_log

// The frame hooks of a driver of the game's own loop (headless::set_frame_hooks): the window
// table calls frame_begins at each look at the messages (the hook runs at the first look after
// a Present), the device frame_shown once its output has shown a frame.
void frame_begins();
void frame_shown();
// Whether such a driver is set; the window then counts as focused.
bool driven_by_hooks();

// Close requests queued by headless::post_close, taken by the message pump.
bool take_close_request();
void clear_close_requests();

}  // namespace platform
