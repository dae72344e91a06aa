// The playback overlay: a bar across the bottom of the game's picture with where the replay is,
// its speed, its score and the keys. Drawn here into a small picture of its own (0xAARRGGBB,
// alpha not premultiplied); the layer lays it over the game's picture as that is shown, and
// never among the game's own quads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replays/replay_player.h"

namespace replays {

class PlaybackOverlay {
public:
    static constexpr int WIDTH = 800;  // the game's picture
    static constexpr int HEIGHT = 52;
    static constexpr int LEFT = 0;
    static constexpr int TOP = 600 - HEIGHT;

    PlaybackOverlay();
    // Draws the picture again when what it says has changed.
    void update(const PlaybackView& view);
    const std::uint32_t* pixels() const { return pixels_.data(); }
    // Grows with every change of the picture.
    std::uint64_t version() const { return version_; }

    // The bar's two lines for a view, as they are drawn.
    static std::string status_line(const PlaybackView& view);
    static std::string keys_line(const PlaybackView& view);

private:
    void draw_text(const std::string& text, int x, int y, int scale, std::uint32_t colour);

    std::vector<std::uint32_t> pixels_;
    std::vector<char> quads_;  // the font's output, made once
    // What the picture shows now, to tell a change without making its text every frame.
    struct Shown {
        std::uint32_t second = ~0u, frames = 0;
        int speed = 0;
        bool paused = false, at_end = false, other_assets = false;
        std::int64_t desync_frame = -2;
        bool operator==(const Shown&) const = default;
    } shown_;
    std::uint64_t version_ = 0;
};

}  // namespace replays
