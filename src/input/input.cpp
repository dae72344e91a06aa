#include "input/input.h"

#include <cstring>
#include <utility>

#include "world/world.h"

// A device that could not be created leaves its pointer null: polling it then reads as
// nothing held and no motion, and the game plays on without that input.
//
// A foreground device is taken away when the window loses focus, and its reads fail until
// it is acquired again; a failed read counts as nothing held and no motion, and asks for
// the device back so that input returns with the focus.

namespace {

DIPROPDWORD device_property(DWORD value) {
    DIPROPDWORD property{};
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = value;
    return property;
}

void open_device(IDirectInput8A*& input, IDirectInputDevice8A*& device, REFGUID kind, LPCDIDATAFORMAT format,
                 REFGUID property, DWORD property_value) {
    DirectInput8Create(world.app_instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                       reinterpret_cast<void**>(&input), nullptr);
    if (input == nullptr) return;
    input->CreateDevice(kind, &device, nullptr);
    if (device == nullptr) return;
    device->SetDataFormat(format);
    device->SetCooperativeLevel(world.main_window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    const DIPROPDWORD value = device_property(property_value);
    device->SetProperty(property, &value.diph);
    device->Acquire();
}

void close_device(IDirectInput8A*& input, IDirectInputDevice8A*& device) {
    if (device != nullptr) {
        device->Unacquire();
        device->Release();
        device = nullptr;
    }
    if (input != nullptr) {
        input->Release();
        input = nullptr;
    }
}

// Reads the device's state into data, or leaves it all zero when that fails.
void read_device(IDirectInputDevice8A* device, DWORD size, void* data) {
    if (device != nullptr && SUCCEEDED(device->GetDeviceState(size, data))) return;
    std::memset(data, 0, size);
    if (device != nullptr) device->Acquire();
}

}  // namespace

void init_keyboard() {
    std::memset(world.keys, 0, sizeof world.keys);
    open_device(world.keyboard_input, world.keyboard_device, GUID_SysKeyboard, &c_dfDIKeyboard, DIPROP_BUFFERSIZE,
                256);
    world.keyboard_ready = true;
}

void init_mouse() {
    open_device(world.mouse_input, world.mouse_device, GUID_SysMouse, &c_dfDIMouse, DIPROP_AXISMODE,
                DIPROPAXISMODE_REL);
    world.mouse_ready = true;
}

void poll_keyboard() {
    std::memcpy(world.prev_keys, world.keys, sizeof world.keys);
    read_device(world.keyboard_device, sizeof world.keys, world.keys);
}

void poll_mouse() {
    world.prev_mouse_right = world.mouse_right;
    world.prev_mouse_left = world.mouse_left;

    DIMOUSESTATE state{};
    read_device(world.mouse_device, sizeof state, &state);
    world.mouse_left = state.rgbButtons[0] & 0x80;
    world.mouse_right = state.rgbButtons[1] & 0x80;

    CursorBounds& bounds = world.cursor_bounds;
    if (bounds.right < bounds.left) std::swap(bounds.left, bounds.right);
    if (bounds.bottom < bounds.top) std::swap(bounds.top, bounds.bottom);
    if (bounds.left < 0) bounds.left = 0;
    if (bounds.left > world.screen_width) bounds.left = world.screen_width;
    if (bounds.bottom < 0) bounds.bottom = 0;
    if (bounds.bottom > world.screen_height) bounds.bottom = world.screen_height;

    // Summed wide: with a bound far off the screen the cursor may sit near the end of the
    // 32-bit range, and the clamp below brings the sum back inside it.
    int64_t x = static_cast<int64_t>(world.cursor_x) + state.lX;
    int64_t y = static_cast<int64_t>(world.cursor_y) + state.lY;
    // Lower edge first, so the right and bottom edges win when the edges cross.
    if (x < bounds.left) x = bounds.left;
    if (x > bounds.right) x = bounds.right;
    if (y < bounds.top) y = bounds.top;
    if (y > bounds.bottom) y = bounds.bottom;
    world.cursor_x = static_cast<int32_t>(x);
    world.cursor_y = static_cast<int32_t>(y);
}

void set_cursor_bounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    world.cursor_bounds = {left, top, right, bottom};
}

void release_keyboard() {
    if (!world.keyboard_ready) return;
    close_device(world.keyboard_input, world.keyboard_device);
    world.keyboard_ready = false;
}

void release_mouse() {
    if (!world.mouse_ready) return;
    world.mouse_ready = false;
    close_device(world.mouse_input, world.mouse_device);
}
