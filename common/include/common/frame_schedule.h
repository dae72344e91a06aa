// The arithmetic of holding the game at a fixed frame rate, on any clock that counts ticks.
// Every speed in the game is counted in frames, so the frame rate is the game's clock.
// It lives below both the game and the Linux layer: the game's Windows build paces with it
// (gfx/present_limiter_win32), and so does the layer's Present (platform/sdl/present_limiter).
#pragma once

#include <cstdint>

// Frame deadlines, counted from a start time in whole frames so that rounding never adds up.
// Frames that run late, or wake late on a busy machine, are made up by the next ones going out
// at once until the schedule is met again, so the game keeps its speed; only once it is more
// than `catch_up_frames` behind (by default a quarter of a second: a real stall, a dragged
// window) does the schedule start afresh from now instead of rushing that many frames out.
class FrameSchedule {
public:
    FrameSchedule(int64_t ticks_per_second, int32_t frames_per_second, int64_t catch_up_frames = CATCH_UP_FRAMES)
        : ticks_per_second_(ticks_per_second),
          frames_per_second_(frames_per_second),
          catch_up_frames_(catch_up_frames) {}

    // Called once per frame, just before it is shown: the time to wait until (`now` itself
    // when the frame is due already).
    int64_t next_deadline(int64_t now);

    void restart() { started_ = false; }

    static constexpr int64_t CATCH_UP_FRAMES = 15;

private:
    int64_t ticks_after(int64_t frames) const;

    int64_t ticks_per_second_;
    int32_t frames_per_second_;
    int64_t catch_up_frames_;
    bool started_ = false;
    int64_t start_ = 0;
    int64_t frame_ = 0;
};

// Tells whether presents that are meant to wait for the display's retrace really hold the game
// near the frame rate: some drivers accept vsync and then do not wait, a minimised window is
// not waited for, and a fast display waits too little. Fed with the time of every present;
// judges once per window of presents.
class VsyncWatch {
public:
    VsyncWatch(int64_t ticks_per_second, int32_t frames_per_second, int32_t window)
        : ticks_per_second_(ticks_per_second), frames_per_second_(frames_per_second), window_(window) {}

    // False once a whole window of presents came clearly faster than the frame rate.
    bool presented(int64_t now);

private:
    int64_t ticks_per_second_;
    int32_t frames_per_second_;
    int32_t window_;
    int32_t frames_ = -1;
    int64_t window_start_ = 0;
};

// Whether a display refreshing at `hertz` shows the game's frames one retrace each. Displays
// that report 59 Hz run at 59.94; 0 means the refresh rate is unknown.
bool refresh_matches_frame_rate(uint32_t hertz, int32_t frames_per_second);
