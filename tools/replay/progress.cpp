#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace replay {

std::string clock_text(double seconds) {
    const int64_t tenths = std::llround(std::max(seconds, 0.0) * 10);
    const int64_t hours = tenths / 36000;
    const int64_t minutes = tenths / 600 % 60;
    const double rest = static_cast<double>(tenths % 600) / 10;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%04.1f", static_cast<long long>(hours),
                      static_cast<long long>(minutes), rest);
    } else {
        std::snprintf(text, sizeof text, "%lld:%04.1f", static_cast<long long>(minutes), rest);
    }
    return text;
}

ProgressBar::ProgressBar(std::FILE* out, int64_t total_frames, int frame_rate)
    : out_(out),
      shown_(out != nullptr && isatty(fileno(out)) == 1),
      total_(std::max<int64_t>(total_frames, 1)),
      frame_rate_(frame_rate),
      start_(std::chrono::steady_clock::now()) {}

double ProgressBar::elapsed_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressBar::update(int64_t frames_done) {
    if (!shown_) return;
    const double elapsed = elapsed_seconds();
    if (last_drawn_ >= 0 && elapsed - last_drawn_ < 0.1 && frames_done < total_) return;
    last_drawn_ = elapsed;
    draw(frames_done, elapsed);
}

void ProgressBar::draw(int64_t frames_done, double elapsed) {
    constexpr int width = 30;
    const double done = std::clamp(static_cast<double>(frames_done) / static_cast<double>(total_), 0.0, 1.0);
    const int filled = static_cast<int>(done * width);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    const double video_seconds = static_cast<double>(frames_done) / frame_rate_;
    const double speed = elapsed > 0 ? video_seconds / elapsed : 0;
    const double per_frame = frames_done > 0 ? elapsed / static_cast<double>(frames_done) : 0;
    const double left = per_frame * static_cast<double>(total_ - frames_done);
    std::fprintf(out_, "\r[%s] %lld/%lld frames  %.1fx real time  %s left \x1b[K", bar.c_str(),
                 static_cast<long long>(frames_done), static_cast<long long>(total_), speed, clock_text(left).c_str());
    std::fflush(out_);
}

void ProgressBar::clear() {
    if (!shown_ || last_drawn_ < 0) return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
}

}  // namespace replay
