#include "replays/replay_overlay.h"

#include <algorithm>
#include <cstring>

// The font comes from stb (Debian's libstb-dev); it is all static functions, not all used here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace replays {

namespace {

constexpr std::uint32_t BAR = 0xB0000000u;  // black, two thirds opaque
constexpr std::uint32_t TEXT = 0xFFFFFFFFu;
constexpr std::uint32_t DIM = 0xFFB0B0B0u;
constexpr std::uint32_t ALARM = 0xFFFF6040u;
constexpr std::size_t QUAD_BYTES = 64;  // four vertices of x, y, z and a colour

}  // namespace

PlaybackOverlay::PlaybackOverlay() : pixels_(static_cast<std::size_t>(WIDTH) * HEIGHT, BAR), quads_(64 * 1024) {}

std::string PlaybackOverlay::status_line(const PlaybackView& view) {
    std::string line;
    if (view.desync_frame >= 0) {
        return "DESYNC AT FRAME " + std::to_string(view.desync_frame) + " (" +
               clock_of_frames(static_cast<std::uint32_t>(view.desync_frame)) + "): NOT THE RECORDED GAME";
    }
    if (view.at_end)
        line = view.truncated ? "CUT SHORT" : "END";
    else if (view.paused)
        line = "PAUSED";
    else
        line = view.speed > 1 ? "PLAYING " + std::to_string(view.speed) + "X" : "PLAYING";
    line += "   " + clock_of_frames(view.frame) + " / " + clock_of_frames(view.frames);
    if (view.has_trailer)
        line += "   SCORE " + std::to_string(view.trailer.score) + "  LEVEL " + std::to_string(view.trailer.level);
    return line;
}

std::string PlaybackOverlay::keys_line(const PlaybackView& view) {
    std::string line = "SPACE PAUSE  LEFT/RIGHT 10 S  UP/DOWN SPEED  R RESTART  ESC QUIT";
    if (view.other_assets) line += "  (OTHER ASSETS)";
    return line;
}

void PlaybackOverlay::draw_text(const std::string& text, int x, int y, int scale, std::uint32_t colour) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    const int count = stb_easy_font_print(0, 0, line.data(), nullptr, quads_.data(), static_cast<int>(quads_.size()));
    for (int q = 0; q < count; ++q) {
        // Each quad is an upright rectangle: its first and third corners are enough.
        float corner[2][2];
        std::memcpy(corner[0], quads_.data() + q * QUAD_BYTES, 2 * sizeof(float));
        std::memcpy(corner[1], quads_.data() + q * QUAD_BYTES + 32, 2 * sizeof(float));
        const int left = std::max(0, x + static_cast<int>(corner[0][0] * scale));
        const int top = std::max(0, y + static_cast<int>(corner[0][1] * scale));
        const int right = std::min(WIDTH, x + static_cast<int>(corner[1][0] * scale));
        const int bottom = std::min(HEIGHT, y + static_cast<int>(corner[1][1] * scale));
        for (int row = top; row < bottom; ++row)
            std::fill(pixels_.begin() + row * WIDTH + left, pixels_.begin() + row * WIDTH + std::max(left, right), colour);
    }
}

void PlaybackOverlay::update(const PlaybackView& view) {
    const Shown now{view.frame / 60, view.frames, view.speed, view.paused, view.at_end, view.other_assets,
                    view.desync_frame};
    if (now == shown_) return;
    shown_ = now;
    const std::string status = status_line(view);
    const std::string keys = keys_line(view);
    std::fill(pixels_.begin(), pixels_.end(), BAR);
    draw_text(status, 12, 6, 2, view.desync_frame >= 0 ? ALARM : TEXT);
    draw_text(keys, 12, 34, 1, DIM);
    ++version_;
}

}  // namespace replays
