// The playback overlay: an opaque bar across the game's picture with where the replay is, its
// speed, the recorded game's final score and the keys. It lies where the game writes nothing:
// over the top of the title (whose name starts below it), over the bottom in play (whose HUD is
// at the top), so the game's own text is never hidden by it nor shows through it. Drawn here
// into a small picture of its own; the layer lays it over the game's picture as that is shown,
// and never among the game's own quads.
#pragma once

#include <cstdint>
#include <string>

#include "overlays/text_picture.h"
#include "replays/replay_player.h"

namespace replays {

class PlaybackOverlay {
public:
    static constexpr int WIDTH = 800;  // the game's picture
    static constexpr int HEIGHT = 32;
    static constexpr int LEFT = 0;
    // Where it goes: at the top while the game shows its title, at the bottom in play.
    static constexpr int TOP_ON_TITLE = 0;
    static constexpr int TOP_IN_PLAY = 600 - HEIGHT;
    static int top_for(const PlaybackView& view) { return view.in_play ? TOP_IN_PLAY : TOP_ON_TITLE; }

    PlaybackOverlay();
    // Draws the picture again when what it says has changed.
    void update(const PlaybackView& view);
    const std::uint32_t* pixels() const { return picture_.pixels(); }
    // Grows with every change of the picture.
    std::uint64_t version() const { return version_; }

    // The bar's two lines for a view, as they are drawn.
    static std::string status_line(const PlaybackView& view);
    static std::string keys_line(const PlaybackView& view);

private:
    overlays::TextPicture picture_;
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
