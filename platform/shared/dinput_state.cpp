#include "dinput_state.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dinput {

namespace {

constexpr uint8_t held = 0x80;

// Sums saturate, so no amount of motion between reads can wrap around.
int64_t add_saturated(int64_t sum, int64_t delta) {
    return std::clamp<int64_t>(sum + delta, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max());
}

}  // namespace

void KeyTracker::press(uint8_t code) {
    down_[code] = held;
    tapped_[code] = held;
}

void KeyTracker::release(uint8_t code) { down_[code] = 0; }

void KeyTracker::forget_taps() { std::memset(tapped_, 0, sizeof tapped_); }

void KeyTracker::clear() {
    std::memset(down_, 0, sizeof down_);
    forget_taps();
}

void KeyTracker::read(uint8_t out[256]) {
    peek(out);
    forget_taps();
}

void KeyTracker::peek(uint8_t out[256]) const {
    for (int i = 0; i < 256; ++i) out[i] = down_[i] | tapped_[i];
}

void MouseTracker::move(int64_t dx, int64_t dy) {
    dx_ = add_saturated(dx_, dx);
    dy_ = add_saturated(dy_, dy);
}

void MouseTracker::turn_wheel(int64_t dz) {
    dz_ = add_saturated(dz_, dz);
}

void MouseTracker::button(int index, bool down) {
    if (index < 0 || index >= button_count) return;
    down_[index] = down;
    if (down) clicked_[index] = true;
}

void MouseTracker::forget_motion() { dx_ = dy_ = dz_ = 0; }

void MouseTracker::clear() {
    forget_motion();
    std::fill(down_, down_ + button_count, false);
    std::fill(clicked_, clicked_ + button_count, false);
}

void MouseTracker::read(DIMOUSESTATE& out) {
    out.lX = static_cast<LONG>(dx_);
    out.lY = static_cast<LONG>(dy_);
    out.lZ = static_cast<LONG>(dz_);
    peek_buttons(out.rgbButtons);
    forget_motion();
    std::fill(clicked_, clicked_ + button_count, false);
}

void MouseTracker::peek_buttons(uint8_t out[button_count]) const {
    for (int i = 0; i < button_count; ++i) out[i] = (down_[i] || clicked_[i]) ? held : 0;
}

}  // namespace dinput
