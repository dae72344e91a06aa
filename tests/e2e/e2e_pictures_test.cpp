// Rendered frames against stored reference pictures: catches regressions in how the layer turns
// quads into pixels (texture upload, blending, glyphs, clipping).
//
// The references are small crops in tests/reference/. The compositor's pictures are exact on every
// machine and must match theirs to the last bit; the GPU path (SDL's offscreen driver with OpenGL,
// where the machine has it) renders the same frames and is held within 2 per channel of its own
// references, which differ from the compositor's only where OpenGL's pixel centres (half a pixel
// off Direct3D 9's) pick a neighbouring texel. They change only on purpose: after a change to the
// art or to the rendering that is meant to show, regenerate them with
//     ZORVALEN_UPDATE_REFERENCES=1 ./zorvalen_tests --gtest_filter='RenderedFrames.*'
// (run from the build directory) and look at the new files before committing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <SDL2/SDL.h>
#include <headless.h>

#include "png_write.h"
#include "runner.h"
#include "script.h"
#include "support/replay_scenes.h"

namespace {

// Beside the test data directory, which need not exist.
const std::string reference_dir = std::filesystem::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/reference/";

// Largest difference of two pixels over red, green and blue (the back buffer's alpha is not shown).
int channel_difference(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift : {16, 8, 0}) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        most = std::max(most, d);
    }
    return most;
}

struct Crop {
    int x, y, w, h;
};

enum class Path { compositor, gpu };

// Renders `script` up to `frame` and returns the presented picture, cut to `crop`; an empty
// picture when the GPU path cannot start on this machine.
replay::Picture render(const std::string& script_name, int64_t frame, Crop crop, Path path = Path::compositor) {
    struct Hint {
        explicit Hint(Path path) {
            if (path == Path::gpu) SDL_SetHint("ZORVALEN_PRESENTATION", "gpu");
        }
        ~Hint() { SDL_ResetHint("ZORVALEN_PRESENTATION"); }
    } hint(path);
    replay::Script script;
    if (!load_tracked_script(script_name, script)) return {};
    replay::Picture picture;
    replay::RunSettings settings;
    settings.mode = headless::Mode::render;
    settings.frame_limit = frame + 1;
    settings.shots.push_back(replay::Shot{frame, ""});
    settings.record_draws = true;
    settings.after_frame = [&](const replay::FrameReport& report) {
        if (report.frame == frame) {
            EXPECT_TRUE(replay::captured_picture(picture)) << "nothing captured";
        }
    };
    const replay::RunOutcome outcome = replay::play(script, settings);
    if (path == Path::gpu && !outcome.started) return {};
    EXPECT_TRUE(outcome.started) << "the game did not start in render mode";
    if (picture.width != 800 || picture.height != 600) {
        ADD_FAILURE() << "the picture is " << picture.width << " x " << picture.height << ", not 800 x 600";
        return {};
    }
    return replay::crop(picture, crop.x, crop.y, crop.w, crop.h);
}

void expect_matches_reference(const replay::Picture& actual, const std::string& name, int tolerance) {
    ASSERT_GT(actual.width, 0);
    const std::string path = reference_dir + name;
    const char* update = std::getenv("ZORVALEN_UPDATE_REFERENCES");
    if (update != nullptr && std::string(update) == "1") {
        ASSERT_TRUE(replay::write_png(path, actual)) << "cannot write " << path;
        std::printf("wrote %s\n", path.c_str());
        return;
    }
    replay::Picture expected;
    ASSERT_TRUE(replay::read_png(path, expected)) << "no reference " << path;
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    int off = 0;
    int worst = 0;
    int first_x = -1;
    int first_y = -1;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            const int d = channel_difference(actual.at(x, y), expected.at(x, y));
            worst = std::max(worst, d);
            if (d > tolerance && off++ == 0) {
                first_x = x;
                first_y = y;
            }
        }
    }
    if (off > 0) {
        const std::string kept = ::testing::TempDir() + "actual_" + name;
        replay::write_png(kept, actual);
        ADD_FAILURE() << off << " pixels differ from " << path << " by more than " << tolerance
                      << " (worst " << worst << ", first at " << first_x << ", " << first_y
                      << " of the crop); this run's picture is in " << kept;
    }
}

// The level line on its banner, with the edge of the title picture above it.
constexpr Crop TITLE_CROP{136, 456, 256, 112};
// A rocket's path through a column: explosions blending over the stars and stage, the player,
// enemies, the HUD's banner.
constexpr Crop BUSY_CROP{176, 0, 256, 112};

TEST(RenderedFrames, TitleScreenMatchesItsReferenceExactly) {
    expect_matches_reference(render("title.txt", 0, TITLE_CROP), "title.png", 0);
}

TEST(RenderedFrames, BusyFrameMatchesItsReferenceExactly) {
    expect_matches_reference(render("rocket_column.txt", 150, BUSY_CROP), "busy.png", 0);
}

TEST(RenderedFrames, TheGpuPathDrawsTheTitleScreenWithinTolerance) {
    const replay::Picture picture = render("title.txt", 0, TITLE_CROP, Path::gpu);
    if (picture.width == 0) GTEST_SKIP() << "no OpenGL through SDL's offscreen driver here";
    expect_matches_reference(picture, "title_gpu.png", 2);
}

TEST(RenderedFrames, TheGpuPathDrawsTheBusyFrameWithinTolerance) {
    const replay::Picture picture = render("rocket_column.txt", 150, BUSY_CROP, Path::gpu);
    if (picture.width == 0) GTEST_SKIP() << "no OpenGL through SDL's offscreen driver here";
    expect_matches_reference(picture, "busy_gpu.png", 2);
}

}  // namespace
