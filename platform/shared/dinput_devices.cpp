// DirectInput 8's objects and the system keyboard and mouse as polled devices, fed by
// whatever window system the layer runs on (input_feed.h).
//
// Foreground devices behave as on Windows: losing focus takes them away (reads fail until the
// game acquires them again), and an exclusive mouse has the window system capture the pointer.
//
// What the game reads is what the player holds translated by the controls in force (the keys
// bound to each action, the mouse buttons' swap, the aim speed, the pad's bindings): each read
// takes the player's own keys, buttons and pad and hands the game the keys and buttons of the
// actions they stand for. With the default controls that is the player's input as it came.
// Every read, translated so, then passes replays/device_reads.h on its way to the game: recorded
// for the replay, or replaced by one being watched. The translation is made here rather than in
// that module's translating stage because a read needs the other device's state as it stands.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <dinput.h>
#include <headless.h>

#include "com_object.h"
#include "overlays/volume_display.h"
#include "replays/device_reads.h"
#include "settings/settings.h"
#include "dinput_state.h"
#include "input_feed.h"

const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};

// Only the identity and the data size of the predefined formats matter here; the object
// tables that describe them field by field are not modelled.
const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 0, DIDF_RELAXIS, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 0, DIDF_RELAXIS, sizeof(DIMOUSESTATE), 0, nullptr};

const GUID dinput_property_ids[3] = {
    {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
    {0x00000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
    {0x00000002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
};

namespace {

const GUID iid_direct_input_device8a = {0x54D41080, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};

using dinput::KeyTracker;
using dinput::MouseTracker;

enum class Kind { keyboard, mouse };

// What tests and the replay runner script in the headless modes, read in place of events.
struct Script {
    uint8_t keys[256] = {};
    int64_t dx = 0;
    int64_t dy = 0;
    bool left = false;
    bool right = false;
};
Script script;

bool headless_input() { return headless::mode() != headless::Mode::off; }

// A key may be bound to a button's action and a button to a key's, so each read needs the other
// device's state too. The game reads the mouse, then the keyboard, every frame: the mouse's read
// looks at the keys as they stand (the keyboard's read just after sees the same), and the
// keyboard's takes the buttons the mouse's read saw, when it came since the keyboard's last read,
// so a click shorter than a frame counts for both.
struct PlayerHeld {
    uint8_t buttons[dinput::MouseTracker::button_count] = {};
    bool buttons_fresh = false;
    settings::AimScale aim;
};
PlayerHeld player;

// What the game was given, for headless::take_device_reads.
headless::DeviceReads given{};

void set_pointer_capture(bool capture) {
    if (!headless_input()) platform::capture_pointer(capture);
}

class Device;
std::vector<Device*> live_devices;

class Device final : public platform::RefCounted<IDirectInputDevice8A> {
public:
    explicit Device(Kind kind) : kind_(kind) {
        live_devices.push_back(this);
        player = PlayerHeld{};  // a new game: nothing held over from the last
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object, {&iid_direct_input_device8a});
    }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            if (acquired_) Unacquire();
            live_devices.erase(std::remove(live_devices.begin(), live_devices.end(), this), live_devices.end());
            delete this;
        }
        return left;
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        if (acquired_) return DIERR_ACQUIRED;
        const LPCDIDATAFORMAT expected = kind_ == Kind::keyboard ? &c_dfDIKeyboard : &c_dfDIMouse;
        if (format != expected) return DIERR_INVALIDPARAM;
        format_ = format;
        return DI_OK;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
        const DWORD exclusivity = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
        const DWORD ground = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
        if (exclusivity == 0 || exclusivity == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE)) return DIERR_INVALIDPARAM;
        if (ground == 0 || ground == (DISCL_FOREGROUND | DISCL_BACKGROUND)) return DIERR_INVALIDPARAM;
        if (acquired_) return DIERR_ACQUIRED;
        cooperation_ = flags;
        return DI_OK;
    }
    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER) || header->dwHow != DIPH_DEVICE)
            return DIERR_INVALIDPARAM;
        if (property != DIPROP_BUFFERSIZE && property != DIPROP_AXISMODE) return DIERR_UNSUPPORTED;
        if (header->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        const DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (property == DIPROP_AXISMODE) {
            // Only the relative mode exists here; it is the mouse's default anyway.
            if (kind_ != Kind::mouse) return DIERR_UNSUPPORTED;
            if (acquired_) return DIERR_ACQUIRED;
            return value == DIPROPAXISMODE_REL ? DI_OK : DIERR_UNSUPPORTED;
        }
        // Buffered data is never read by the game: the size is accepted and has no effect.
        return DI_OK;
    }

    HRESULT Acquire() override {
        if (format_ == nullptr) return DIERR_INVALIDPARAM;
        if (acquired_) return DI_NOEFFECT;
        if (foreground() && !platform::window_has_focus()) return DIERR_OTHERAPPHASPRIO;
        acquired_ = true;
        lost_ = false;
        // Motion from before is not ours to report: the pointer was not captured. Key and
        // button events only come while the window has focus, so presses that arrived just
        // before (in the frame the focus came back) are kept.
        mouse_.forget_motion();
        if (captures_pointer()) set_pointer_capture(true);
        return DI_OK;
    }
    HRESULT Unacquire() override {
        if (!acquired_) return DI_NOEFFECT;
        acquired_ = false;
        if (captures_pointer()) set_pointer_capture(false);
        return DI_OK;
    }

    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        if (data == nullptr || format_ == nullptr || size != format_->dwDataSize) return DIERR_INVALIDPARAM;
        // A failed read still leaves a defined state: nothing held, no motion.
        std::memset(data, 0, size);
        const HRESULT result = !acquired_ ? (lost_ ? DIERR_INPUTLOST : DIERR_NOTACQUIRED) : DI_OK;
        const bool read = acquired_;
        bool ok = false;
        if (kind_ == Kind::keyboard) {
            if (read) read_keyboard(static_cast<uint8_t*>(data));
            ok = device_reads::pass_keyboard_read(static_cast<uint8_t*>(data), read);
        } else {
            DIMOUSESTATE& state = *static_cast<DIMOUSESTATE*>(data);
            if (read) read_mouse(state);
            ok = device_reads::pass_mouse_state(state, read);
        }
        // A read a replay answered succeeds, so the game does not ask for its device back as it
        // would after a failed one: ask here, for the player's own keys to come back with the focus.
        if (ok && !read) Acquire();
        return ok ? DI_OK : result;
    }

    // Events from the window system.
    void key(uint8_t code, bool down) {
        if (kind_ != Kind::keyboard) return;
        if (down)
            keys_.press(code);
        else
            keys_.release(code);
    }
    MouseTracker& mouse() { return mouse_; }
    bool is_mouse() const { return kind_ == Kind::mouse; }

    void focus_lost() {
        keys_.clear();
        mouse_.clear();
        if (acquired_ && foreground()) {
            Unacquire();
            lost_ = true;
        }
    }

private:
    ~Device() override = default;

    bool foreground() const { return (cooperation_ & DISCL_BACKGROUND) == 0; }
    bool captures_pointer() const { return kind_ == Kind::mouse && (cooperation_ & DISCL_EXCLUSIVE) != 0; }

    void read_keyboard(uint8_t* out) {
        uint8_t keys[256];
        if (headless_input())
            for (int i = 0; i < 256; ++i) keys[i] = script.keys[i] ? 0x80 : 0;
        else
            keys_.read(keys);
        uint8_t buttons[dinput::MouseTracker::button_count];
        if (player.buttons_fresh)
            std::memcpy(buttons, player.buttons, sizeof buttons);
        else
            peek_buttons(buttons);
        player.buttons_fresh = false;

        const settings::Controls& controls = settings::read_settings_in_force().controls;
        const uint32_t actions = settings::find_held_actions(controls, keys, buttons, platform::read_pad_actions());
        settings::write_game_keys(controls, actions, keys, out);
        std::memcpy(given.keys, out, sizeof given.keys);
    }
    void read_mouse(DIMOUSESTATE& out) {
        DIMOUSESTATE mouse{};
        if (headless_input()) {
            mouse.lX = static_cast<LONG>(script.dx);
            mouse.lY = static_cast<LONG>(script.dy);
            script.dx = script.dy = 0;
            mouse.rgbButtons[0] = script.left ? 0x80 : 0;
            mouse.rgbButtons[1] = script.right ? 0x80 : 0;
        } else {
            mouse_.read(mouse);
        }
        const settings::Controls& controls = settings::read_settings_in_force().controls;
        settings::swap_mouse_buttons(controls, mouse.rgbButtons);
        uint8_t keys[256];
        peek_keys(keys);
        std::memcpy(player.buttons, mouse.rgbButtons, sizeof player.buttons);
        player.buttons_fresh = true;

        int32_t pad_dx = 0;
        int32_t pad_dy = 0;
        const uint32_t pad_actions = platform::read_pad_actions(pad_dx, pad_dy);
        const uint32_t actions = settings::find_held_actions(controls, keys, mouse.rgbButtons, pad_actions);
        int32_t dx = mouse.lX;
        int32_t dy = mouse.lY;
        player.aim.scale(controls.aim_speed, dx, dy);
        // Saturating, as the mouse's own sums do.
        out.lX = static_cast<LONG>(std::clamp<int64_t>(int64_t{dx} + pad_dx, INT32_MIN, INT32_MAX));
        out.lY = static_cast<LONG>(std::clamp<int64_t>(int64_t{dy} + pad_dy, INT32_MIN, INT32_MAX));
        out.lZ = mouse.lZ;
        settings::write_game_buttons(actions, mouse.rgbButtons, out.rgbButtons);
        given.dx = static_cast<int>(std::clamp<int64_t>(int64_t{given.dx} + out.lX, INT32_MIN, INT32_MAX));
        given.dy = static_cast<int>(std::clamp<int64_t>(int64_t{given.dy} + out.lY, INT32_MIN, INT32_MAX));
        given.left = out.rgbButtons[0] != 0;
        given.right = out.rgbButtons[1] != 0;
    }

    // The other device's state as it stands, without taking a read from it.
    static void peek_keys(uint8_t out[256]);
    static void peek_buttons(uint8_t out[dinput::MouseTracker::button_count]);

    Kind kind_;
    LPCDIDATAFORMAT format_ = nullptr;
    DWORD cooperation_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    bool acquired_ = false;
    bool lost_ = false;
    KeyTracker keys_;
    MouseTracker mouse_;
};

void Device::peek_keys(uint8_t out[256]) {
    std::memset(out, 0, 256);
    if (headless_input()) {
        for (int i = 0; i < 256; ++i) out[i] = script.keys[i] ? 0x80 : 0;
        return;
    }
    for (Device* device : live_devices) {
        if (device->kind_ == Kind::keyboard && device->acquired_) {
            device->keys_.peek(out);
            return;
        }
    }
}

void Device::peek_buttons(uint8_t out[dinput::MouseTracker::button_count]) {
    std::memset(out, 0, dinput::MouseTracker::button_count);
    if (headless_input()) {
        out[0] = script.left ? 0x80 : 0;
        out[1] = script.right ? 0x80 : 0;
    } else {
        for (Device* device : live_devices) {
            if (device->kind_ == Kind::mouse && device->acquired_) {
                device->mouse_.peek_buttons(out);
                break;
            }
        }
    }
    settings::swap_mouse_buttons(settings::read_settings_in_force().controls, out);
}

class DirectInput final : public platform::RefCounted<IDirectInput8A> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object, {&IID_IDirectInput8A});
    }

    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (device == nullptr) return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (outer != nullptr) return DIERR_NOAGGREGATION;
        if (guid == GUID_SysKeyboard)
            *device = new Device(Kind::keyboard);
        else if (guid == GUID_SysMouse)
            *device = new Device(Kind::mouse);
        else
            return DIERR_DEVICENOTREG;
        return DI_OK;
    }

private:
    ~DirectInput() override = default;
};

}  // namespace

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    if (out == nullptr) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
    if (riid != IID_IDirectInput8A) return DIERR_NOINTERFACE;
    *out = static_cast<IDirectInput8A*>(new DirectInput);
    return DI_OK;
}

namespace platform {

void feed_key(uint8_t code, bool down) {
    // The volume keys are the layer's own (the game never reads them), and still reach the
    // devices as any other key does.
    // The level they leave is shown over the picture for a moment (overlays/volume_display.h).
    if (down)
        if (const std::optional<settings::VolumeKey> volume = settings::find_volume_key(code)) {
            const settings::SoundLevels levels = settings::apply_volume_key(settings::read_live_levels(), *volume);
            settings::set_live_levels(levels);
            overlays::volume_display().show(levels);
        }
    for (Device* device : live_devices) device->key(code, down);
}

void feed_mouse_motion(int64_t dx, int64_t dy) {
    for (Device* device : live_devices)
        if (device->is_mouse()) device->mouse().move(dx, dy);
}

void feed_mouse_button(int index, bool down) {
    for (Device* device : live_devices)
        if (device->is_mouse()) device->mouse().button(index, down);
}

void feed_mouse_wheel(int64_t delta) {
    for (Device* device : live_devices)
        if (device->is_mouse()) device->mouse().turn_wheel(delta);
}

void focus_changed(bool focused) {
    // Key and button releases that happen elsewhere never reach us, so nothing counts as
    // held once focus has gone; the game acquires its devices again when it comes back.
    if (focused) return;
    for (Device* device : live_devices) device->focus_lost();
    player = PlayerHeld{};
    pad_focus_lost();
}

}  // namespace platform

namespace headless {

void set_keys(const unsigned char keys[256]) { std::memcpy(script.keys, keys, sizeof script.keys); }

DeviceReads take_device_reads() {
    const DeviceReads taken = given;
    given.dx = given.dy = 0;
    return taken;
}

void set_mouse(int dx, int dy, bool left, bool right) {
    script.dx = dx;
    script.dy = dy;
    script.left = left;
    script.right = right;
}

}  // namespace headless
