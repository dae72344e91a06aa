// The game's polled keyboard and mouse, on the headless devices that read scripted input.
#include <gtest/gtest.h>

#include <cstdint>

#include <dinput.h>

#include "input_feed.h"
#include "input/input.h"
#include "support/game_fixture.h"
#include "world/world.h"

namespace {

class Input : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_mouse();
        init_keyboard();
    }

    static void poll() {
        poll_mouse();
        poll_keyboard();
    }
    static bool pressed(int code) { return world.keys[code] != 0 && world.prev_keys[code] == 0; }
    static bool clicked() { return world.mouse_left != 0 && world.prev_mouse_left == 0; }
    static void move_cursor(int dx, int dy) {
        set_mouse(dx, dy, false, false);
        poll();
    }
};

TEST_F(Input, SpaceHeldForManyFramesIsPressedOnItsFirstFrameOnly) {
    poll();
    hold_keys({DIK_SPACE});
    int presses = 0;
    for (int frame = 0; frame < 30; ++frame) {
        poll();
        EXPECT_NE(world.keys[DIK_SPACE], 0);
        presses += pressed(DIK_SPACE) ? 1 : 0;
    }
    EXPECT_EQ(presses, 1);

    hold_keys({});
    poll();
    EXPECT_EQ(world.keys[DIK_SPACE], 0);
    hold_keys({DIK_SPACE});
    poll();
    EXPECT_TRUE(pressed(DIK_SPACE));
}

TEST_F(Input, KeysAlreadyHeldAtStartCountAsPressedOnTheFirstFrame) {
    hold_keys({DIK_W, DIK_RIGHT, DIK_ESCAPE});
    poll();
    EXPECT_TRUE(pressed(DIK_W));
    EXPECT_TRUE(pressed(DIK_RIGHT));
    EXPECT_TRUE(pressed(DIK_ESCAPE));
    EXPECT_FALSE(pressed(DIK_S));
    poll();
    EXPECT_FALSE(pressed(DIK_W));
    EXPECT_NE(world.keys[DIK_W], 0);
}

TEST_F(Input, AClickHeldForSeveralFramesIsPressedOnceAndHeldThroughout) {
    int clicks = 0;
    for (int frame = 0; frame < 5; ++frame) {
        set_mouse(0, 0, true, false);
        poll();
        EXPECT_EQ(world.mouse_left, 128);
        EXPECT_EQ(world.mouse_right, 0);
        clicks += clicked() ? 1 : 0;
    }
    EXPECT_EQ(clicks, 1);

    set_mouse(0, 0, false, true);
    poll();
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.prev_mouse_left, 128);
    EXPECT_EQ(world.mouse_right, 128);
    EXPECT_EQ(world.prev_mouse_right, 0);
}

TEST_F(Input, TheCursorMovesByRelativeMotionAndStopsAtTheScreensInclusiveEdges) {
    poll();
    EXPECT_EQ(world.cursor_x, 0);
    EXPECT_EQ(world.cursor_y, 0);
    move_cursor(13, 7);
    EXPECT_EQ(world.cursor_x, 13);
    EXPECT_EQ(world.cursor_y, 7);
    poll();  // motion is consumed by one read
    EXPECT_EQ(world.cursor_x, 13);

    move_cursor(100000, 100000);
    EXPECT_EQ(world.cursor_x, 800);
    EXPECT_EQ(world.cursor_y, 600);
    move_cursor(-1, -1);
    EXPECT_EQ(world.cursor_x, 799);
    EXPECT_EQ(world.cursor_y, 599);
    move_cursor(-100000, -100000);
    EXPECT_EQ(world.cursor_x, 0);
    EXPECT_EQ(world.cursor_y, 0);
}

TEST_F(Input, BoundsGivenReversedArePutInOrderAtTheNextPoll) {
    set_cursor_bounds(700, 500, 100, 50);
    EXPECT_EQ(world.cursor_bounds.left, 700);  // stored unchanged until the poll
    move_cursor(0, 0);
    EXPECT_EQ(world.cursor_bounds.left, 100);
    EXPECT_EQ(world.cursor_bounds.top, 50);
    EXPECT_EQ(world.cursor_bounds.right, 700);
    EXPECT_EQ(world.cursor_bounds.bottom, 500);
    EXPECT_EQ(world.cursor_x, 100);
    EXPECT_EQ(world.cursor_y, 50);
    move_cursor(5000, 5000);
    EXPECT_EQ(world.cursor_x, 700);
    EXPECT_EQ(world.cursor_y, 500);
}

TEST_F(Input, OnlyTheLeftAndBottomBoundsAreKeptOnTheScreen) {
    set_cursor_bounds(-50, -100, 1200, 900);
    move_cursor(-5000, -5000);
    EXPECT_EQ(world.cursor_bounds.left, 0);
    EXPECT_EQ(world.cursor_bounds.bottom, 600);
    EXPECT_EQ(world.cursor_x, 0);
    EXPECT_EQ(world.cursor_y, -100);  // above the screen: the top is left as given
    move_cursor(5000, 5000);
    EXPECT_EQ(world.cursor_x, 1200);  // past the right edge: so is the right
    EXPECT_EQ(world.cursor_y, 600);

    set_cursor_bounds(900, 0, 1000, -20);
    move_cursor(0, 0);
    EXPECT_EQ(world.cursor_bounds.left, 800);
    EXPECT_EQ(world.cursor_bounds.top, -20);  // swapped with the bottom, then left alone
    EXPECT_EQ(world.cursor_bounds.bottom, 0);
}

TEST_F(Input, WhenTheEdgesCrossAfterAdjustmentTheRightAndBottomWin) {
    // The left edge is raised to 0, past the right edge at -10.
    set_cursor_bounds(-50, 0, -10, 600);
    move_cursor(300, 0);
    EXPECT_EQ(world.cursor_x, -10);
    // The bottom edge is lowered to 600, above the top edge at 650.
    set_cursor_bounds(0, 700, 800, 650);
    move_cursor(0, 0);
    EXPECT_EQ(world.cursor_bounds.top, 650);
    EXPECT_EQ(world.cursor_bounds.bottom, 600);
    EXPECT_EQ(world.cursor_y, 600);
}

TEST_F(Input, ACursorNearTheEndOfTheRangeNeverOverflows) {
    set_cursor_bounds(0, INT32_MIN, INT32_MAX, 600);
    for (int frame = 0; frame < 3; ++frame) move_cursor(2000000000, -2000000000);
    EXPECT_EQ(world.cursor_x, INT32_MAX);
    EXPECT_EQ(world.cursor_y, INT32_MIN);
}

TEST_F(Input, LosingFocusReadsAsNothingHeldAndInputReturnsWithIt) {
    hold_keys({DIK_D});
    set_mouse(20, 0, true, false);
    poll();
    ASSERT_NE(world.keys[DIK_D], 0);
    ASSERT_EQ(world.cursor_x, 20);

    platform::focus_changed(false);
    set_mouse(20, 0, true, false);
    poll();
    EXPECT_EQ(world.keys[DIK_D], 0);
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.cursor_x, 20);

    // The headless window always has focus, so the devices come back on the next poll.
    platform::focus_changed(true);
    set_mouse(20, 0, true, false);
    poll();
    EXPECT_NE(world.keys[DIK_D], 0);
    EXPECT_EQ(world.mouse_left, 128);
    EXPECT_EQ(world.cursor_x, 40);
}

TEST_F(Input, ReleasingIsSafeOnceTwiceOrWithoutDevices) {
    release_keyboard();
    release_mouse();
    EXPECT_EQ(world.keyboard_device, nullptr);
    EXPECT_EQ(world.keyboard_input, nullptr);
    EXPECT_EQ(world.mouse_device, nullptr);
    EXPECT_EQ(world.mouse_input, nullptr);
    EXPECT_FALSE(world.keyboard_ready);
    EXPECT_FALSE(world.mouse_ready);
    release_keyboard();
    release_mouse();

    // Polling with no devices at all reads nothing held and no motion.
    hold_keys({DIK_A});
    set_mouse(30, 30, true, true);
    poll();
    EXPECT_EQ(world.keys[DIK_A], 0);
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.mouse_right, 0);
    EXPECT_EQ(world.cursor_x, 0);
}

TEST_F(Input, TheDevicesKeepDirectInputsContract) {
    IDirectInput8A* input = nullptr;
    EXPECT_EQ(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, reinterpret_cast<void**>(&input), nullptr),
              DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(input, nullptr);
    ASSERT_EQ(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A, reinterpret_cast<void**>(&input), nullptr),
              DI_OK);

    IDirectInputDevice8A* device = nullptr;
    EXPECT_EQ(input->CreateDevice(GUID_NULL, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &device, nullptr), DI_OK);

    uint8_t keys[256];
    EXPECT_EQ(device->Acquire(), DIERR_INVALIDPARAM);  // no data format yet
    EXPECT_EQ(device->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    ASSERT_EQ(device->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);

    hold_keys({DIK_Q});
    keys[DIK_Q] = 0x55;
    EXPECT_EQ(device->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keys[DIK_Q], 0);  // a failed read still leaves nothing held
    ASSERT_EQ(device->Acquire(), DI_OK);
    EXPECT_EQ(device->GetDeviceState(16, keys), DIERR_INVALIDPARAM);
    ASSERT_EQ(device->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_Q], 0x80);
    EXPECT_EQ(device->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);

    device->Unacquire();
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(input->Release(), 0u);
}

}  // namespace
