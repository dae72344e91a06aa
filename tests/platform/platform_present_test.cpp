// The presentation path's choice and the window surface that shows the compositor's frame.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <headless.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <memory>

#include "compositor/compositor.h"
#include "frame_path.h"
#include "sdl_window.h"
#include "window_surface.h"

namespace {

TEST(Presentation, SoftwareOpenGlIsToldByItsRenderersName) {
    EXPECT_TRUE(platform::software_gl("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(platform::software_gl("softpipe"));
    EXPECT_TRUE(platform::software_gl("Software Rasterizer"));
    EXPECT_TRUE(platform::software_gl(nullptr));
    EXPECT_FALSE(platform::software_gl("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    EXPECT_FALSE(platform::software_gl("AMD Radeon RX 580 Series (polaris10, LLVM 15.0.6, DRM 3.49, 6.1.0)"));
}

TEST(Presentation, TheHintForcesEitherPath) {
    SDL_SetHint(platform::PRESENTATION_HINT, "gpu");
    EXPECT_EQ(platform::choose_presentation(), platform::Presentation::gpu);
    SDL_SetHint(platform::PRESENTATION_HINT, "Compositor");
    EXPECT_EQ(platform::choose_presentation(), platform::Presentation::compositor);
    SDL_SetHint(platform::PRESENTATION_HINT, "anything else");
    EXPECT_EQ(platform::forced_presentation(), platform::Presentation::automatic);
    SDL_ResetHint(platform::PRESENTATION_HINT);
}

// Whether a GL driver is mapped into this process.
bool gl_driver_mapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        for (const char* driver : {"libLLVM", "_dri.so", "libGLX_mesa", "libEGL_mesa", "libGL.so"})
            if (line.find(driver) != std::string::npos) return true;
    return false;
}

class RendererProbeTest : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("SDL_VIDEODRIVER"); }
};

TEST_F(RendererProbeTest, TheHelperGivesTheNameAskedHereAndLeavesNoDriverMapped) {
    if (gl_driver_mapped()) GTEST_SKIP() << "an earlier test of this process loaded GL";
    setenv("SDL_VIDEODRIVER", "offscreen", 1);  // GL through EGL, where Mesa is installed
    const std::string answer = platform::ask_renderer_name();
    EXPECT_FALSE(gl_driver_mapped()) << "the driver went with the helper";
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    EXPECT_EQ(answer, platform::read_renderer_name());
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(RendererProbeTest, NoGlAtAllTakesTheCompositorSilently) {
    // The helper asks the window system this process brought up, when it has one.
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "an earlier test of this process brought SDL's video up";
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // a window system without GL
    EXPECT_EQ(platform::ask_renderer_name(), "");
    EXPECT_EQ(platform::choose_presentation(), platform::Presentation::compositor);
}

// SDL's offscreen driver gives windows a surface in memory, as X11 gives them an XShm image.
class WindowSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::set_mode(headless::Mode::record);  // the layer's own video, if any, goes down
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("", 0, 0, 800, 600, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
    }
    void TearDown() override {
        surface.close();
        if (window != nullptr) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    }
    std::uint32_t shown(int x, int y) {
        SDL_Surface* on_screen = SDL_GetWindowSurface(window);
        std::uint32_t pixel = 0;
        SDL_GetRGBA(static_cast<const std::uint32_t*>(on_screen->pixels)[y * on_screen->pitch / 4 + x],
                    on_screen->format, reinterpret_cast<Uint8*>(&pixel) + 2, reinterpret_cast<Uint8*>(&pixel) + 1,
                    reinterpret_cast<Uint8*>(&pixel), reinterpret_cast<Uint8*>(&pixel) + 3);
        return pixel & 0xFFFFFFu;
    }

    SDL_Window* window = nullptr;
    platform::WindowSurface surface;
    platform::Compositor compositor{800, 600};
};

TEST_F(WindowSurfaceTest, TheFrameShowsAsItIsAndScaledInAResizedWindow) {
    compositor.clear(0xFF102030u);
    compositor.fill(0, 0, 400, 600, 0xFFFFFFFFu);
    ASSERT_TRUE(surface.open(window, compositor.frame()));
    ASSERT_TRUE(surface.present(compositor.frame()));
    EXPECT_EQ(shown(399, 0), 0xFFFFFFu);
    EXPECT_EQ(shown(400, 599), 0x102030u);

    SDL_SetWindowSize(window, 1000, 600);  // wider than 4:3: bars left and right
    ASSERT_TRUE(surface.present(compositor.frame()));
    EXPECT_EQ(shown(50, 300), 0u);
    EXPECT_EQ(shown(110, 300), 0xFFFFFFu);
    EXPECT_EQ(shown(890, 300), 0x102030u);
    EXPECT_EQ(shown(950, 300), 0u);

    SDL_SetWindowSize(window, 1600, 1200);  // a whole factor: every pixel exactly doubled
    ASSERT_TRUE(surface.present(compositor.frame()));
    EXPECT_EQ(shown(799, 1199), 0xFFFFFFu);
    EXPECT_EQ(shown(800, 0), 0x102030u);

    SDL_SetWindowSize(window, 1920, 1080);  // full screen on a common display: 1440 x 1080 at x = 240
    ASSERT_TRUE(surface.present(compositor.frame()));
    EXPECT_EQ(shown(239, 540), 0u);
    EXPECT_EQ(shown(240, 540), 0xFFFFFFu);
    EXPECT_EQ(shown(1679, 540), 0x102030u);
    EXPECT_EQ(shown(1680, 540), 0u);
}

// The window's output, driven as the device drives it: a full clear, the frame, Present.
class SurfaceOutputTest : public WindowSurfaceTest {
protected:
    void SetUp() override {
        WindowSurfaceTest::SetUp();
        SDL_SetHint(platform::PRESENTATION_HINT, "compositor");
        ASSERT_TRUE(platform::open_sdl_output(window, 800, 600, false, false, output));
        ASSERT_NE(output->compositor(), nullptr);
    }
    void TearDown() override {
        output.reset();
        SDL_ResetHint(platform::PRESENTATION_HINT);
        WindowSurfaceTest::TearDown();
    }
    void clear() {
        output->compositor()->clear(0xFF000000u);
        output->frame_cleared();
    }
    void draw_and_show(std::uint32_t colour) {
        output->compositor()->fill(100, 100, 200, 200, colour);
        output->show();
    }
    platform::ShownFrames shown_frames() const { return *platform::frames_shown(*output); }

    std::unique_ptr<platform::FrameOutput> output;
};

TEST_F(SurfaceOutputTest, TheOneToOneWindowDrawsEveryFrameInPlaceAndOtherSizesScale) {
    for (int frame = 0; frame < 3; ++frame) {
        clear();
        draw_and_show(0xFF00FF00u);
    }
    const platform::ShownFrames counts = shown_frames();
    EXPECT_EQ(counts.in_place, 3u) << "an 800 x 600 window needs neither the scaler nor a copy";
    EXPECT_EQ(counts.copied + counts.scaled + counts.converted, 0u);
    EXPECT_EQ(shown(150, 150), 0x00FF00u);
    EXPECT_EQ(shown(99, 150), 0u);

    SDL_SetWindowSize(window, 1600, 1200);
    clear();
    draw_and_show(0xFFFF0000u);
    EXPECT_EQ(shown_frames().scaled, 1u);
    EXPECT_EQ(shown(300, 300), 0xFF0000u);
    EXPECT_EQ(shown(199, 300), 0u);

    // The same picture again is neither scaled nor sent again; rows that change are.
    clear();
    draw_and_show(0xFFFF0000u);
    EXPECT_EQ(shown_frames().unchanged, 1u);
    clear();
    output->compositor()->fill(0, 500, 10, 510, 0xFFFFFF00u);
    draw_and_show(0xFFFF0000u);
    EXPECT_EQ(shown(5, 1005), 0xFFFF00u);
    EXPECT_EQ(shown(300, 300), 0xFF0000u);
    EXPECT_EQ(shown_frames().unchanged, 1u);
    // What the window system lost, the next frame gives back whole.
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    static_cast<std::uint32_t*>(surface->pixels)[300 * surface->pitch / 4 + 300] = 0xFF123456u;
    platform::surface_exposed();
    clear();
    output->compositor()->fill(0, 500, 10, 510, 0xFFFFFF00u);
    draw_and_show(0xFFFF0000u);
    EXPECT_EQ(shown(300, 300), 0xFF0000u);

    // Taller than 4:3 by 50 rows: the picture still lies 1:1, between bars, and is drawn in place.
    SDL_SetWindowSize(window, 800, 650);
    clear();
    draw_and_show(0xFF0000FFu);
    EXPECT_EQ(shown_frames().in_place, 4u);
    EXPECT_EQ(shown_frames().scaled, 4u);
    EXPECT_EQ(shown(150, 125), 0x0000FFu);
    EXPECT_EQ(shown(150, 10), 0u) << "the bar above";
    EXPECT_EQ(shown(150, 640), 0u) << "the bar below";
}

TEST_F(SurfaceOutputTest, AWindowResizedUnderAFrameDrawnInPlaceStillShowsIt) {
    clear();
    output->compositor()->fill(0, 0, 400, 600, 0xFFFFFFFFu);
    SDL_SetWindowSize(window, 1600, 1200);  // between the clear and Present, as a player's resize
    output->show();
    const platform::ShownFrames counts = shown_frames();
    EXPECT_EQ(counts.in_place, 0u);
    EXPECT_EQ(counts.scaled, 1u);
    EXPECT_EQ(shown(799, 600), 0xFFFFFFu);
    EXPECT_EQ(shown(800, 600), 0u);
}

}  // namespace
