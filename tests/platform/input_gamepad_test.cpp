// A gamepad read as the keyboard and mouse the game polls, on SDL's virtual pads.
#include <gtest/gtest.h>

#include <cstdlib>

#include <dinput.h>
#include <headless.h>
#include <pad_mapping.h>

#include "settings/settings.h"
#include "input_feed.h"
#include "input/input.h"
#include "support/game_fixture.h"
#include "world/world.h"

namespace {

using gamepad::PadReading;
namespace button = gamepad::button;

class Gamepad : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_mouse();
        init_keyboard();
        pad = headless::attach_pad();
        ASSERT_GE(pad, 0) << "SDL made no virtual pad";
    }

    static void poll() {
        poll_mouse();
        poll_keyboard();
    }
    // Sets the pad and plays one frame.
    void frame(const PadReading& reading) {
        headless::set_pad(pad, reading);
        poll();
    }
    static PadReading left_stick(int x, int y) { return PadReading{.left_x = x, .left_y = y}; }
    static PadReading right_stick(int x, int y) { return PadReading{.right_x = x, .right_y = y}; }
    static PadReading buttons(uint32_t bits) { return PadReading{.buttons = bits}; }
    static bool held(int code) { return world.keys[code] != 0; }
    static int held_movement_keys() { return held(DIK_W) + held(DIK_A) + held(DIK_S) + held(DIK_D); }

    int pad = -1;
};

TEST_F(Gamepad, TheLeftStickAndDpadHoldWasdPastAQuarterOfTheirTravelWithDiagonalsAsTwoKeys) {
    frame(left_stick(8000, 0));
    EXPECT_EQ(held_movement_keys(), 0) << "inside the dead zone";
    frame(left_stick(-5700, -5700));  // about 8060 along the diagonal, still inside
    EXPECT_EQ(held_movement_keys(), 0);
    frame(left_stick(8400, 0));
    EXPECT_TRUE(held(DIK_D));
    EXPECT_EQ(held_movement_keys(), 1);
    frame(left_stick(0, -32768));
    EXPECT_TRUE(held(DIK_W));
    EXPECT_EQ(held_movement_keys(), 1);
    // A wobble off the axis is still one key; 45 degrees gives both.
    frame(left_stick(9000, 30000));
    EXPECT_TRUE(held(DIK_S));
    EXPECT_EQ(held_movement_keys(), 1);
    frame(left_stick(-23170, 23170));
    EXPECT_TRUE(held(DIK_A) && held(DIK_S));
    EXPECT_EQ(held_movement_keys(), 2);
    frame(left_stick(20000, -12000));  // 31 degrees above the x axis
    EXPECT_TRUE(held(DIK_D) && held(DIK_W));
    EXPECT_EQ(held_movement_keys(), 2);

    frame(buttons(button::dpad_up | button::dpad_left));
    EXPECT_TRUE(held(DIK_W) && held(DIK_A));
    EXPECT_EQ(held_movement_keys(), 2);
    frame({});
    EXPECT_EQ(held_movement_keys(), 0);
    EXPECT_FALSE(held(DIK_UP) || held(DIK_LEFT)) << "the pad gives W/A/S/D only";
}

TEST_F(Gamepad, TheRightStickMovesTheCursorAcrossTheScreenInHalfASecondAndKeepsTheRemainder) {
    set_cursor_bounds(-1000000, -1000000, 1000000, 1000000);
    for (int i = 0; i < 100; ++i) frame(right_stick(5000, -3000));
    EXPECT_EQ(world.cursor_x, 0) << "inside the dead zone";
    EXPECT_EQ(world.cursor_y, 0);

    // Half deflection moves far slower than half speed, and by fractions of a count a frame
    // that add up: after every frame the cursor is within one count of the exact path.
    int counts[600];
    for (int& count : counts) {
        frame(right_stick(16384, 0));
        count = world.cursor_x;
    }
    const double per_frame = counts[599] / 600.0;
    EXPECT_GT(per_frame, 1.0);
    EXPECT_LT(per_frame, 800.0 / 30 / 4);
    EXPECT_NE(per_frame, static_cast<int>(per_frame)) << "a speed with a fraction tests the remainder";
    // per_frame itself is known to within 1/600 of a count.
    for (int i = 0; i < 600; ++i)
        EXPECT_LT(std::abs(counts[i] - per_frame * (i + 1)), 1.0 + (i + 1) / 600.0) << "frame " << i;
    EXPECT_EQ(world.cursor_y, 0);

    // Full deflection: 800 pixels in 30 frames. What was left of a count above may add one.
    set_cursor_bounds(0, 0, 800, 600);
    set_mouse(-1000000, 0, false, false);
    frame({});
    ASSERT_EQ(world.cursor_x, 0);
    for (int i = 0; i < 15; ++i) frame(right_stick(32767, 0));
    EXPECT_EQ(world.cursor_x, 400);
    for (int i = 0; i < 15; ++i) frame(right_stick(32767, 0));
    EXPECT_EQ(world.cursor_x, 800);
    // A corner is a diagonal at full speed: 30 frames of 800 / 30 / sqrt(2), 565.7 pixels.
    for (int i = 0; i < 30; ++i) frame(right_stick(-32768, 32767));
    EXPECT_NEAR(world.cursor_x, 800 - 565, 1);
    EXPECT_EQ(world.cursor_y, 565);

    // The mouse's own motion adds to the pad's.
    set_mouse(-5, 0, false, false);
    const int x = world.cursor_x;
    frame(right_stick(-32768, 0));
    EXPECT_LE(world.cursor_x, x - 5 - 26);
    EXPECT_GE(world.cursor_x, x - 5 - 27);
}

TEST_F(Gamepad, TriggersPastHalfTravelAndShouldersHoldTheMouseButtons) {
    frame(PadReading{.left_trigger = 16383, .right_trigger = 16383});
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.mouse_right, 0);
    frame(PadReading{.right_trigger = 16384});
    EXPECT_EQ(world.mouse_left, 128);
    EXPECT_EQ(world.mouse_right, 0);
    frame(PadReading{.left_trigger = 32767});
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.mouse_right, 128);
    frame(buttons(button::right_shoulder));
    EXPECT_EQ(world.mouse_left, 128);
    frame(buttons(button::left_shoulder));
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.mouse_right, 128);
}

TEST_F(Gamepad, StartIsSpaceAndBackIsEscapeOnlyOnceHeldForASecond) {
    frame(buttons(button::start));
    EXPECT_TRUE(held(DIK_SPACE));
    frame({});
    EXPECT_FALSE(held(DIK_SPACE));

    for (int i = 0; i < 59; ++i) {
        frame(buttons(button::back));
        ASSERT_FALSE(held(DIK_ESCAPE)) << "frame " << i;
    }
    frame({});
    for (int i = 0; i < 59; ++i) frame(buttons(button::back));
    EXPECT_FALSE(held(DIK_ESCAPE)) << "a release starts the second over";
    frame(buttons(button::back));
    EXPECT_TRUE(held(DIK_ESCAPE));
    frame({});
    EXPECT_FALSE(held(DIK_ESCAPE));
}

TEST_F(Gamepad, KeysAndButtonsHeldOnEitherDeviceCountAsHeld) {
    hold_keys({DIK_D, DIK_SPACE});
    set_mouse(0, 0, false, true);
    frame(PadReading{.left_x = -32768, .right_trigger = 32767});
    EXPECT_TRUE(held(DIK_D) && held(DIK_A) && held(DIK_SPACE));
    EXPECT_EQ(world.mouse_left, 128);
    EXPECT_EQ(world.mouse_right, 128);
}

TEST_F(Gamepad, WhatTheDevicesGaveTheGameIsTakenWithThePadsPartAndMotionSummed) {
    headless::take_device_reads();
    unsigned char keys[256] = {};
    keys[DIK_SPACE] = 0x80;
    headless::set_keys(keys);
    headless::set_mouse(3, -2, false, true);
    frame(PadReading{.left_x = 32767, .right_trigger = 32767});
    headless::set_mouse(4, 0, false, true);
    poll();
    const headless::DeviceReads reads = headless::take_device_reads();
    EXPECT_EQ(reads.keys[DIK_SPACE], 0x80);
    EXPECT_EQ(reads.keys[DIK_D], 0x80) << "the pad's stick";
    EXPECT_TRUE(reads.left) << "the pad's trigger";
    EXPECT_TRUE(reads.right);
    EXPECT_EQ(reads.dx, 7);
    EXPECT_EQ(reads.dy, -2);
    const headless::DeviceReads again = headless::take_device_reads();
    EXPECT_EQ(again.dx, 0) << "motion is taken once";
    EXPECT_EQ(again.keys[DIK_D], 0x80) << "keys stay as last read";
}

TEST_F(Gamepad, APadUnpluggedWhileHeldLeavesNothingHeldAndTheNextPadTakesOverOnlyThen) {
    const int second = headless::attach_pad();
    ASSERT_GE(second, 0);
    headless::set_pad(second, buttons(button::dpad_down));
    frame(PadReading{.left_x = 32767, .right_x = 32767, .right_trigger = 32767, .buttons = button::start});
    EXPECT_TRUE(held(DIK_D) && held(DIK_SPACE));
    EXPECT_FALSE(held(DIK_S)) << "the pad plugged in later waits";
    EXPECT_EQ(world.mouse_left, 128);
    const int x = world.cursor_x;

    headless::detach_pad(pad);
    headless::set_pad(second, {});
    poll();
    EXPECT_EQ(held_movement_keys(), 0);
    EXPECT_FALSE(held(DIK_SPACE));
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.cursor_x, x);

    headless::set_pad(second, buttons(button::dpad_down | button::left_shoulder));
    poll();
    EXPECT_TRUE(held(DIK_S));
    EXPECT_EQ(world.mouse_right, 128);

    // The first pad plugged in again does not take back the lead.
    pad = headless::attach_pad();
    headless::set_pad(pad, buttons(button::start));
    poll();
    EXPECT_FALSE(held(DIK_SPACE));
    EXPECT_TRUE(held(DIK_S));
}

TEST_F(Gamepad, WithoutFocusThePadReadsAsNothingHeldAndBacksHoldStartsOver) {
    for (int i = 0; i < 50; ++i) frame(PadReading{.left_x = 32767, .buttons = button::back});
    ASSERT_TRUE(held(DIK_D));

    platform::focus_changed(false);
    frame(PadReading{.left_x = 32767, .right_x = 32767, .buttons = button::back});
    EXPECT_FALSE(held(DIK_D));
    EXPECT_EQ(world.cursor_x, 0);

    // The headless window always has focus, so the devices come back on the next poll.
    platform::focus_changed(true);
    for (int i = 0; i < 20; ++i) frame(PadReading{.left_x = 32767, .buttons = button::back});
    EXPECT_TRUE(held(DIK_D));
    EXPECT_FALSE(held(DIK_ESCAPE)) << "only 20 frames of Back since the focus came back";
}

TEST_F(Gamepad, ThePlayersPadBindingsStandForTheActionsAndQuitWaitsASecondOnAnyButton) {
    struct Restore {
        ~Restore() { settings::put_settings_in_force(settings::Settings{}); }
    } restore;
    std::vector<settings::Problem> problems;
    settings::put_settings_in_force(settings::read_settings("[pad]\n"
                                                            "fire = [\"A\", \"RightStickRight\"]\n"
                                                            "pause = [\"Back\"]\n"
                                                            "quit = [\"Start\"]\n"
                                                            "up = []\n",
                                                            problems));
    ASSERT_TRUE(problems.empty());
    frame(buttons(button::a));
    EXPECT_EQ(world.mouse_left, 128);
    frame(PadReading{.right_x = 20000});
    EXPECT_EQ(world.mouse_left, 128) << "the right stick, past a quarter, fires as well as aims";
    EXPECT_GT(world.cursor_x, 0);
    frame(buttons(button::right_shoulder));
    EXPECT_EQ(world.mouse_left, 0) << "no longer bound";
    frame(left_stick(0, -32768));
    EXPECT_EQ(held_movement_keys(), 0) << "up is off the pad";
    frame(buttons(button::back));
    EXPECT_TRUE(held(DIK_SPACE));
    for (int i = 0; i < 59; ++i) {
        frame(buttons(button::start));
        ASSERT_FALSE(held(DIK_ESCAPE) || held(DIK_SPACE)) << "frame " << i;
    }
    frame(buttons(button::start));
    EXPECT_TRUE(held(DIK_ESCAPE));
}

}  // namespace
