#include "replays/replay_overlay.h"

namespace replays {

namespace {

constexpr std::uint32_t BAR = 0xFF0A0E1Au;  // opaque, so no pixel of the game's shows through
constexpr std::uint32_t RULE = 0xFF34405Cu;
constexpr std::uint32_t TEXT = 0xFFFFFFFFu;
constexpr std::uint32_t DIM = 0xFFB0B0B0u;
constexpr std::uint32_t ALARM = 0xFFFF6040u;

}  // namespace

PlaybackOverlay::PlaybackOverlay() : picture_(WIDTH, HEIGHT) { picture_.fill(BAR); }

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
    // The recording's end, not the score of the moment: the game's HUD shows that.
    if (view.has_trailer)
        line += "   FINAL SCORE " + std::to_string(view.trailer.score) + " AT LEVEL " +
                std::to_string(view.trailer.level);
    return line;
}

std::string PlaybackOverlay::keys_line(const PlaybackView& view) {
    std::string line = "SPACE PAUSE  LEFT/RIGHT 10 S  UP/DOWN SPEED  R RESTART  ESC QUIT";
    if (view.other_assets) line += "  (OTHER ASSETS)";
    return line;
}

void PlaybackOverlay::update(const PlaybackView& view) {
    const Shown now{view.frame / 60, view.frames, view.speed, view.paused, view.at_end, view.other_assets,
                    view.desync_frame};
    if (now == shown_) return;
    shown_ = now;
    picture_.fill(BAR);
    // A rule on both long edges, so the bar reads as the layer's own over either end of the picture.
    picture_.fill_rect(0, 0, WIDTH, 1, RULE);
    picture_.fill_rect(0, HEIGHT - 1, WIDTH, HEIGHT, RULE);
    picture_.draw_text(status_line(view), 12, 3, 2, view.desync_frame >= 0 ? ALARM : TEXT);
    picture_.draw_text(keys_line(view), 12, 21, 1, DIM);
    ++version_;
}

}  // namespace replays
