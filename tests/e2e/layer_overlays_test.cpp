// What the layer lays over the game's picture, through the real game in render mode: the replay
// bar, opaque, in a place the game's own text never takes (the top of the title, the bottom in
// play), naming the recording's final score for what it is; and the sound's level after a volume
// key, for its 90 frames and no more. Around them every pixel, and every quad the game issued,
// is what the game made without them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <dinput.h>
#include <headless.h>

#include "overlays/volume_display.h"
#include "replay_commands.h"
#include "replays/game_probe.h"
#include "replays/replay_overlay.h"
#include "replays/replay_session.h"
#include "runner.h"
#include "script.h"
#include "settings/sound_levels.h"

namespace {

namespace fs = std::filesystem;

struct Box {
    int left, top, width, height;
    bool holds(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

// Every pixel outside `box` is the game's own; inside it, the overlay's, whatever the game drew.
void expect_laid_over(const replay::Picture& shown, const replay::Picture& game, const Box& box,
                      const std::uint32_t* overlay, const std::string& what) {
    ASSERT_EQ(shown.width, 800) << what;
    ASSERT_EQ(game.width, 800) << what;
    int outside = 0, inside = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            // The back buffer's alpha is not shown.
            const std::uint32_t pixel = shown.at(x, y) & 0xFFFFFFu;
            if (!box.holds(x, y))
                outside += pixel != (game.at(x, y) & 0xFFFFFFu);
            else
                inside += pixel != (overlay[(y - box.top) * box.width + (x - box.left)] & 0xFFFFFFu);
        }
    EXPECT_EQ(outside, 0) << what << ": pixels of the game's changed outside the overlay";
    EXPECT_EQ(inside, 0) << what << ": pixels of the overlay that are not its own (the game's show through)";
}

// The pictures of the frames asked for, with each frame's quads as the runner writes them.
struct Played {
    std::map<int64_t, replay::Picture> pictures;
    std::string draws;
};

class LayerOverlays : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::path(::testing::TempDir()) / ("layer_overlays_" + std::to_string(::getpid()));
        fs::create_directories(work_);
        back_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(back_);
        fs::remove_all(work_);
    }

    // Plays `frames` frames in render mode, keeping the pictures of `wanted`; `each` runs before
    // every frame and `seen` after it.
    Played play(int64_t frames, const std::vector<int64_t>& wanted,
             const std::function<void(int64_t, replay::FrameInput&)>& each,
             const std::function<void(int64_t)>& seen, bool with_draws) {
        Played run;
        const fs::path draws = work_ / "draws.jsonl";
        std::FILE* draws_out = with_draws ? std::fopen(draws.c_str(), "w") : nullptr;
        fs::current_path(ZORVALEN_ASSET_DIR);
        replay::RunSettings settings;
        settings.mode = headless::Mode::render;
        settings.frame_limit = frames;
        settings.draws_out = draws_out;
        settings.input_source = [&](int64_t frame, replay::FrameInput& input) {
            if (each) each(frame, input);
        };
        settings.picture_wanted = [&](int64_t frame) { return std::find(wanted.begin(), wanted.end(), frame) != wanted.end(); };
        settings.after_frame = [&](const replay::FrameReport& report) {
            replay::Picture picture;
            if (settings.picture_wanted(report.frame)) {
                EXPECT_TRUE(replay::captured_picture(picture)) << "no picture of frame " << report.frame;
                run.pictures[report.frame] = picture;
            }
            if (seen) seen(report.frame);
        };
        EXPECT_TRUE(replay::play(replay::Script{}, settings).started);
        fs::current_path(back_);
        if (draws_out == nullptr) return run;
        std::fclose(draws_out);
        std::ifstream in(draws);
        run.draws.assign(std::istreambuf_iterator<char>(in), {});
        return run;
    }

    fs::path work_, back_;
};

TEST_F(LayerOverlays, TheReplayBarIsOpaqueWhereTheGameWritesNothingAndNamesTheFinalScore) {
    // A minute of title, Space, then play: recorded, then looked at straight and watched.
    const std::string script = (work_ / "run.txt").string(), replay = (work_ / "run.zvr").string();
    std::ofstream(script) << "60\n1 SPACE\n200 D\n60 A LMB\n";
    const char* argv[] = {"zorvalen-replay", "--record", replay.c_str(), script.c_str()};
    ASSERT_EQ(replay::run_command_line(4, argv, ZORVALEN_ASSET_DIR), 0);
    replays::install_game_probe();
    constexpr int64_t TITLE = 30, PLAY = 240;
    std::string message, warning;

    ASSERT_TRUE(replays::start_playing(replay, replays::ReplayPlayer::Use::verify, message, warning)) << message;
    const Played straight = play(300, {TITLE, PLAY}, nullptr, nullptr, false);
    replays::end_session();

    ASSERT_TRUE(replays::start_playing(replay, replays::ReplayPlayer::Use::watch, message, warning)) << message;
    std::map<int64_t, replays::OverlayPicture> bars;
    std::map<int64_t, std::vector<std::uint32_t>> bar_pixels;
    std::string status;
    const Played watched = play(
        300, {TITLE, PLAY},
        // A key of no use to the playback keeps the bar up past its three seconds.
        [](int64_t frame, replay::FrameInput& input) {
            if (frame == 150) input.keys[DIK_X] = 0x80;
        },
        [&](int64_t frame) {
            replays::OverlayPicture bar{};
            if (frame != TITLE && frame != PLAY) return;
            ASSERT_TRUE(replays::playback_overlay(bar)) << "no bar at frame " << frame;
            bars[frame] = bar;
            bar_pixels[frame].assign(bar.pixels, bar.pixels + bar.width * bar.height);
            if (frame == TITLE) status = replays::playback_status();
        },
        false);
    replays::end_session();

    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[TITLE].top, 0) << "over the title the bar takes the top, above the game's name";
    EXPECT_EQ(bars[PLAY].top + bars[PLAY].height, 600) << "in play the bar takes the bottom, away from the HUD";
    for (int64_t frame : {TITLE, PLAY}) {
        const replays::OverlayPicture& bar = bars[frame];
        expect_laid_over(watched.pictures.at(frame), straight.pictures.at(frame),
                         {bar.left, bar.top, bar.width, bar.height}, bar_pixels[frame].data(),
                         "frame " + std::to_string(frame));
    }
    EXPECT_NE(status.find("FINAL SCORE 0 AT LEVEL 1"), std::string::npos) << status;
    EXPECT_EQ(status.find("   SCORE"), std::string::npos) << status;
}

TEST_F(LayerOverlays, AVolumeKeyShowsTheLevelForNinetyFramesOverThePicture) {
    const settings::SoundLevels before = settings::read_live_levels();
    settings::set_live_levels(settings::SoundLevels{});
    const Played straight = play(215, {9, 10, 99, 100, 130, 210}, nullptr, nullptr, true);

    // F9 before frame 10, F12 before frame 120, as the window's key events: the first shows from
    // 10 to 99, the second from 120 to 209.
    std::vector<std::uint32_t> volume_pixels, muted_pixels;
    const Played pressed = play(
        215, {9, 10, 99, 100, 130, 210},
        [](int64_t frame, replay::FrameInput&) {
            if (frame == 10 || frame == 120) headless::feed_key(frame == 10 ? DIK_F9 : DIK_F12, true);
            if (frame == 11 || frame == 121) headless::feed_key(frame == 11 ? DIK_F9 : DIK_F12, false);
        },
        [&](int64_t frame) {
            const overlays::VolumeDisplay& display = overlays::volume_display();
            constexpr std::size_t size = overlays::VolumeDisplay::WIDTH * overlays::VolumeDisplay::HEIGHT;
            if (frame == 10) volume_pixels.assign(display.pixels(), display.pixels() + size);
            if (frame == 130) muted_pixels.assign(display.pixels(), display.pixels() + size);
        },
        true);
    const settings::SoundLevels after = settings::read_live_levels();
    settings::set_live_levels(before);

    EXPECT_EQ(after.master, 90);
    EXPECT_TRUE(after.mute);
    EXPECT_EQ(overlays::VolumeDisplay::text({90, 100, 100, false}), "VOLUME 90%");
    EXPECT_EQ(overlays::VolumeDisplay::text({90, 100, 100, true}), "MUTED");
    EXPECT_EQ(pressed.draws, straight.draws) << "the volume display changed the game's quads";
    const Box box{overlays::VolumeDisplay::LEFT, overlays::VolumeDisplay::TOP, overlays::VolumeDisplay::WIDTH,
                  overlays::VolumeDisplay::HEIGHT};
    ASSERT_FALSE(volume_pixels.empty());
    for (int64_t frame : {10, 99})
        expect_laid_over(pressed.pictures.at(frame), straight.pictures.at(frame), box, volume_pixels.data(),
                         "frame " + std::to_string(frame));
    expect_laid_over(pressed.pictures.at(130), straight.pictures.at(130), box, muted_pixels.data(), "muted");
    EXPECT_NE(volume_pixels, muted_pixels);
    for (int64_t frame : {9, 100, 210}) {
        const replay::Picture &a = pressed.pictures.at(frame), &b = straight.pictures.at(frame);
        EXPECT_EQ(a.pixels, b.pixels) << "frame " << frame << " shows more than the game";
    }
}

}  // namespace
