// A progress bar on a terminal: frames done, speed as a multiple of real time, time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace replay {

// Seconds as m:ss.s (or h:mm:ss.s).
std::string clock_text(double seconds);

class ProgressBar {
public:
    // Draws on `out` only when it is a terminal; otherwise stays silent.
    ProgressBar(std::FILE* out, int64_t total_frames, int frame_rate);
    // At most ten redraws a second, whatever the call rate.
    void update(int64_t frames_done);
    // Clears the bar's line so that what follows starts clean.
    void clear();

    double elapsed_seconds() const;

private:
    void draw(int64_t frames_done, double elapsed);

    std::FILE* out_;
    bool shown_;
    int64_t total_;
    int frame_rate_;
    std::chrono::steady_clock::time_point start_;
    double last_drawn_ = -1;
};

}  // namespace replay
