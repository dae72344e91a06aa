// The browser's pacing: whatever the display's rate, the page shows 60 game frames a second,
// spread evenly over the display's frames.
#include <gtest/gtest.h>

#include <cstdint>

#include "frame_gate.h"

namespace {

struct Shown {
    int64_t shown = 0;
    int64_t longest_gap = 0;  // microseconds between two shown frames
};

// A minute of a display at `hertz`, each game frame ready `work` microseconds after the
// animation frame that showed the one before.
Shown play_a_minute(double hertz, int64_t work) {
    web::FrameGate gate;
    Shown run;
    int64_t last_shown = 0;
    gate.frame_ready(work);
    for (int64_t k = 1;; ++k) {
        const auto time = static_cast<int64_t>(static_cast<double>(k) * 1e6 / hertz);
        if (time > 60 * web::FrameGate::MICROSECONDS_PER_SECOND) break;
        if (!gate.shows(time)) continue;
        ++run.shown;
        if (run.shown > 1 && time - last_shown > run.longest_gap) run.longest_gap = time - last_shown;
        last_shown = time;
        gate.frame_ready(time + work);
    }
    return run;
}

TEST(WebFrameGate, HoldsSixtyFramesASecondOnCommonDisplays) {
    for (const double hertz : {60.0, 59.94, 75.0, 120.0, 144.0, 165.0, 240.0}) {
        for (const int64_t work : {1000, 6000, 12000}) {
            const Shown run = play_a_minute(hertz, work);
            EXPECT_NEAR(static_cast<double>(run.shown), 60.0 * 60.0, 60.0 * 60.0 * 0.005)
                << hertz << " Hz, " << work << " us of work";
            // Never more than one display frame later than a game frame is due.
            EXPECT_LE(run.longest_gap, 16667 + static_cast<int64_t>(1e6 / hertz) + 1)
                << hertz << " Hz, " << work << " us of work";
        }
    }
}

TEST(WebFrameGate, ShowsEveryFrameOfADisplaySlowerThanTheGame) {
    const Shown run = play_a_minute(50.0, 2000);
    EXPECT_EQ(run.shown, 50 * 60);
}

}  // namespace
