// The sound's level on the screen after a volume key (F9, F10, F12): "VOLUME 70%", or "MUTED",
// for a second and a half of frames, in a box of its own over the game's picture. The layer
// shows it on the desktop and on the page, where it handles the keys; the Windows exe can take
// its text or its pixels.
#pragma once

#include <cstdint>
#include <string>

#include "overlays/text_picture.h"
#include "settings/sound_levels.h"

namespace overlays {

class VolumeDisplay {
public:
    static constexpr int FRAMES = 90;  // a second and a half at the game's 60 frames a second
    static constexpr int WIDTH = 200;
    static constexpr int HEIGHT = 36;
    // Centred, below the HUD's top lines and above the title's panel.
    static constexpr int LEFT = (800 - WIDTH) / 2;
    static constexpr int TOP = 56;

    VolumeDisplay();
    // A volume key was pressed: the levels now in force are shown from the next frame shown.
    void show(const settings::SoundLevels& levels);
    // A frame was shown with the display on it.
    void frame_shown();
    bool visible() const { return frames_left_ > 0; }
    int frames_left() const { return frames_left_; }

    const std::uint32_t* pixels() const { return picture_.pixels(); }
    // Grows with every change of the picture.
    std::uint64_t version() const { return version_; }
    // What it says, for levels.
    static std::string text(const settings::SoundLevels& levels);

private:
    TextPicture picture_;
    int frames_left_ = 0;
    std::uint64_t version_ = 0;
    settings::SoundLevels shown_;
};

// The program's one display, fed where the layer takes the volume keys.
VolumeDisplay& volume_display();

}  // namespace overlays
