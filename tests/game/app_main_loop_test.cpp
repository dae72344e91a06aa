// The whole program through WinMain on the headless layer: how it ends, and the World
// as the start-up sequence leaves it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "app/app.h"
#include "gfx/graphics.h"
#include "support/game_fixture.h"
#include "support/world_setup.h"

namespace {

// Ends a run that should have ended by itself, so that a fault fails the test instead of hanging it.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!woken_.wait_for(lock, std::chrono::seconds(20), [this] { return finished_; })) {
                  fired_ = true;
                  headless::post_close();
              }
          }) {}
    // True when the watchdog had to step in.
    bool finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        woken_.notify_one();
        thread_.join();
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool finished_ = false;
    bool fired_ = false;
    std::thread thread_;
};

class MainLoopTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        // WinMain makes its own window and device.
        release_graphics();
        reset_world();
    }

    static int run_program() {
        char command_line[1] = {0};
        return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    }
    static void expect_shut_down() {
        EXPECT_EQ(world.d3d_device, nullptr);
        EXPECT_EQ(world.d3d_object, nullptr);
        EXPECT_EQ(world.keyboard_device, nullptr);
        EXPECT_EQ(world.mouse_device, nullptr);
    }
};

TEST_F(MainLoopTest, EscapeHeldOnTheFirstFramePresentsThatFrameAndEndsWithZero) {
    hold_keys({DIK_ESCAPE});
    Watchdog watchdog;
    const int status = run_program();
    ASSERT_FALSE(watchdog.finish()) << "Escape did not end the program; it was closed instead";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(headless::presented_frames(), 1);
    const headless::DrawLog frame = headless::presented_draws();
    ASSERT_GE(frame.count, 1);
    EXPECT_EQ(frame.quads[0].color, 0xFF000000u) << "the frame starts with the black screen fill";
    EXPECT_EQ(frame.quads[0].x[3], 800.0f);
    EXPECT_EQ(frame.quads[0].y[3], 600.0f);
    EXPECT_FALSE(world.in_play) << "it was the title screen";
    expect_shut_down();
}

TEST_F(MainLoopTest, ClosingTheWindowFinishesTheFrameAndEndsWithZero) {
    headless::post_close();
    Watchdog watchdog;
    const int status = run_program();
    ASSERT_FALSE(watchdog.finish());
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(world.quit_requested);
    EXPECT_EQ(headless::presented_frames(), 1) << "the close taken at the top of the loop still lets the frame run";
    expect_shut_down();
}

TEST_F(MainLoopTest, WithNoDisplayTheGameSaysSoOnOneLineAndFails) {
    const char* saved = std::getenv("SDL_VIDEODRIVER");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // a driver that shows nothing: the same as no display
    headless::set_mode(headless::Mode::off);
    ::testing::internal::CaptureStderr();
    const int status = run_program();
    const std::string said = ::testing::internal::GetCapturedStderr();
    if (saved != nullptr)
        setenv("SDL_VIDEODRIVER", previous.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
    headless::set_mode(headless::Mode::record);

    EXPECT_NE(status, 0);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    EXPECT_NE(said.find("display"), std::string::npos) << said;
    EXPECT_EQ(world.d3d_device, nullptr);
}

using StartUpTest = GameFixture;

TEST_F(StartUpTest, InitGameLeavesTheWorldReadyForTheTitleScreen) {
    const HWND window = world.main_window;
    start_game();
    EXPECT_EQ(world.main_window, window);
    EXPECT_NE(world.d3d_object, nullptr);
    EXPECT_NE(world.d3d_device, nullptr);
    EXPECT_EQ(world.screen_width, 800);
    EXPECT_EQ(world.screen_height, 600);
    EXPECT_FALSE(world.quit_requested);
    expect_world_as_start_up_leaves_it();
    // The shared generator: 4 numbers per star, 4 for the medkit, 3 per enemy slot.
    EXPECT_EQ(zv::rand_state(), rand_state_after(1, 4 * STAR_COUNT + 4 + 3 * ENEMY_COUNT));
    EXPECT_NE(world.player_sprite.texture, nullptr);
    EXPECT_NE(world.title_sprite.texture, nullptr);
}

}  // namespace
