// What a DirectInput device reports, built from the window system's events between two
// reads. Pure state: no SDL, no window.
#pragma once

#include <cstdint>

#include <dinput.h>

namespace dinput {

// A key reads as held while it is down, and also on the first read after a press that
// came and went between two reads: a tap shorter than a frame is never lost.
class KeyTracker {
public:
    void press(uint8_t code);
    void release(uint8_t code);
    // Everything up and nothing pending, for when the window system stops telling us.
    void clear();
    // Writes 256 bytes, 0x80 for a held key, and starts a new interval.
    void read(uint8_t out[256]);
    // The same bytes, leaving the interval as it is.
    void peek(uint8_t out[256]) const;

private:
    void forget_taps();

    uint8_t down_[256] = {};
    uint8_t tapped_[256] = {};
};

// Relative motion summed since the last read; buttons as keys above.
class MouseTracker {
public:
    static constexpr int button_count = 4;

    void move(int64_t dx, int64_t dy);
    void turn_wheel(int64_t dz);
    void button(int index, bool down);
    // Drops motion not yet read.
    void forget_motion();
    void clear();
    void read(DIMOUSESTATE& out);
    // The button bytes a read would give, leaving everything as it is.
    void peek_buttons(uint8_t out[button_count]) const;

private:
    int64_t dx_ = 0;
    int64_t dy_ = 0;
    int64_t dz_ = 0;
    bool down_[button_count] = {};
    bool clicked_[button_count] = {};
};

}  // namespace dinput
