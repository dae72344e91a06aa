#include "common/frame_schedule.h"

int64_t FrameSchedule::ticks_after(int64_t frames) const {
    // Whole seconds first, so a fast clock cannot overflow the product in a long run.
    const int64_t seconds = frames / frames_per_second_;
    const int64_t rest = frames % frames_per_second_;
    return seconds * ticks_per_second_ + rest * ticks_per_second_ / frames_per_second_;
}

int64_t FrameSchedule::next_deadline(int64_t now) {
    if (!started_) {
        started_ = true;
        start_ = now;
        frame_ = 0;
        return now;
    }
    const int64_t due = start_ + ticks_after(frame_ + 1);
    if (now > due + ticks_after(catch_up_frames_)) {
        start_ = now;
        frame_ = 0;
        return now;
    }
    ++frame_;
    return due > now ? due : now;
}

bool VsyncWatch::presented(int64_t now) {
    if (frames_ < 0) {
        frames_ = 0;
        window_start_ = now;
        return true;
    }
    if (++frames_ < window_) return true;
    const int64_t elapsed = now - window_start_;
    frames_ = 0;
    window_start_ = now;
    // The window should take window / rate seconds. Under nine tenths of that (faster than
    // about 66 frames a second at 60) the presents are not holding the game to its rate:
    // a retrace that does not wait, or a display that was switched to 75 Hz or more.
    return elapsed * 10 * frames_per_second_ >= int64_t{9} * window_ * ticks_per_second_;
}

bool refresh_matches_frame_rate(uint32_t hertz, int32_t frames_per_second) {
    const int64_t rate = frames_per_second;
    return hertz != 0 && int64_t{hertz} >= rate - 1 && int64_t{hertz} <= rate + 1;
}
