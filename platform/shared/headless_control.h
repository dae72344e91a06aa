// Seams between the windowing, device and headless parts of the Linux layer.
#pragma once

#include <cstdint>

#include <d3d9.h>
#include <headless.h>

struct SDL_Window;

namespace platform {

// Windowing (win32.cpp).
bool is_live_window(HWND window);
SDL_Window* sdl_window_of(HWND window);  // null in record mode or for a stale handle
void client_size(HWND window, int* width, int* height);
// Tears down the window and the video subsystem so that the next window is made for `mode`.
void reset_windowing();

// Device (d3d9.cpp): called before a window goes away, so that a device bound to it stops
// touching its renderer.
void window_destroying(HWND window);

// Headless bookkeeping (headless.cpp), fed by the device.
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

// Close requests queued by headless::post_close, taken by the message pump.
bool take_close_request();
void clear_close_requests();

}  // namespace platform
