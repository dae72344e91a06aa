#include "overlays/volume_display.h"

namespace overlays {

namespace {

constexpr std::uint32_t BACKDROP = 0xFF101820u;  // opaque: the game never shows through its text
constexpr std::uint32_t BORDER = 0xFF5070B0u;
constexpr std::uint32_t TEXT = 0xFFFFFFFFu;
constexpr int SCALE = 2;

}  // namespace

VolumeDisplay::VolumeDisplay() : picture_(WIDTH, HEIGHT) {}

std::string VolumeDisplay::text(const settings::SoundLevels& levels) {
    if (levels.mute) return "MUTED";
    return "VOLUME " + std::to_string(levels.master) + "%";
}

void VolumeDisplay::show(const settings::SoundLevels& levels) {
    frames_left_ = FRAMES;
    if (version_ > 0 && levels == shown_) return;
    shown_ = levels;
    const std::string line = text(levels);
    picture_.fill(BORDER);
    picture_.fill_rect(2, 2, WIDTH - 2, HEIGHT - 2, BACKDROP);
    picture_.draw_text(line, (WIDTH - TextPicture::text_width(line, SCALE)) / 2, (HEIGHT - 7 * SCALE) / 2 - 2, SCALE,
                       TEXT);
    ++version_;
}

void VolumeDisplay::frame_shown() {
    if (frames_left_ > 0) --frames_left_;
}

VolumeDisplay& volume_display() {
    static VolumeDisplay display;
    return display;
}

}  // namespace overlays
