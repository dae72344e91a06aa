// The player's controls at the devices' reads: what the game reads is the actions of what the
// player holds, by the controls in force.
#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <dinput.h>
#include <headless.h>

#include "settings/settings.h"
#include "dinput_keymap.h"
#include "input/input.h"
#include "support/game_fixture.h"
#include "world/world.h"

namespace {

using settings::Action;

class Controls : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_mouse();
        init_keyboard();
    }
    void TearDown() override {
        settings::put_settings_in_force(settings::Settings{});
        GameFixture::TearDown();
    }
    static void bind(Action action, settings::Input first, settings::Input second = settings::no_input) {
        chosen.controls.keys[static_cast<int>(action)] = {first, second};
        settings::put_settings_in_force(chosen);
    }
    static void frame() {
        poll_mouse();
        poll_keyboard();
    }
    static bool held(int code) { return world.keys[code] != 0; }

    static inline settings::Settings chosen;
};

TEST_F(Controls, RemappedKeysReadAsTheGamesOwnAndTheOldOnesAsNothing) {
    chosen = {};
    bind(Action::fire, DIK_SPACE);
    bind(Action::pause, DIK_P);
    bind(Action::up, DIK_I);

    hold_keys({DIK_SPACE});
    frame();
    EXPECT_EQ(world.mouse_left, 128);
    EXPECT_FALSE(held(DIK_SPACE)) << "Space fires now, and no longer pauses";
    hold_keys({DIK_P});
    frame();
    EXPECT_TRUE(held(DIK_SPACE));
    EXPECT_EQ(world.mouse_left, 0);
    hold_keys({DIK_W, DIK_I});
    frame();
    EXPECT_TRUE(held(DIK_W));
    hold_keys({DIK_W});
    frame();
    EXPECT_FALSE(held(DIK_W)) << "W moves no more";
    hold_keys({DIK_UP, DIK_Q});
    frame();
    EXPECT_FALSE(held(DIK_UP)) << "nor the arrow";
    EXPECT_TRUE(held(DIK_Q)) << "a key the game never reads is left as it is";
    set_mouse(0, 0, true, false);
    hold_keys({});
    frame();
    EXPECT_EQ(world.mouse_left, 0) << "the left button no longer fires";
}

TEST_F(Controls, ButtonsSwapAndStandForKeysActionsAndKeysForButtons) {
    chosen = {};
    chosen.controls.swap_mouse_buttons = true;
    bind(Action::pause, settings::mouse_button(1));
    bind(Action::rocket, DIK_R, DIK_LSHIFT);

    set_mouse(0, 0, true, false);  // the left, which is now the right: pause
    frame();
    EXPECT_TRUE(held(DIK_SPACE));
    EXPECT_EQ(world.mouse_left, 0);
    EXPECT_EQ(world.mouse_right, 0);
    set_mouse(0, 0, false, true);  // the right, now the left: fire
    frame();
    EXPECT_EQ(world.mouse_left, 128);
    EXPECT_FALSE(held(DIK_SPACE));
    set_mouse(0, 0, false, false);
    hold_keys({DIK_LSHIFT});
    frame();
    EXPECT_EQ(world.mouse_right, 128);
    EXPECT_TRUE(held(DIK_LSHIFT)) << "a bound key the game never reads still reads as it is";
}

TEST_F(Controls, AimSpeedScalesCountsAndKeepsTheRestForTheNextRead) {
    set_cursor_bounds(-1000, -1000, 1000, 1000);
    chosen = {};
    chosen.controls.aim_speed = 50;
    settings::put_settings_in_force(chosen);
    const int expected_x[] = {0, 1, 1, 2, 2, 3};
    for (int x : expected_x) {
        set_mouse(1, -1, false, false);
        frame();
        EXPECT_EQ(world.cursor_x, x);
        EXPECT_EQ(world.cursor_y, -x) << "the rest keeps its sign";
    }

    chosen.controls.aim_speed = 150;
    settings::put_settings_in_force(chosen);
    world.cursor_x = 0;
    const int faster_x[] = {1, 3, 4, 6};
    for (int x : faster_x) {
        set_mouse(1, 0, false, false);
        frame();
        EXPECT_EQ(world.cursor_x, x);
    }
}

TEST(AimScale, AtOneEveryCountPassesAsItCame) {
    settings::AimScale aim;
    for (int32_t count : {1, -7, 0, 2147483647, -2147483647 - 1}) {
        int32_t dx = count, dy = -count / 2;
        aim.scale(100, dx, dy);
        EXPECT_EQ(dx, count);
        EXPECT_EQ(dy, -count / 2);
    }
}

TEST(KeyNames, EveryNamedKeyIsOneTheDesktopReports) {
    uint8_t codes[256];
    const int count = settings::list_named_keys(codes);
    EXPECT_GT(count, 100);
    bool reported[256] = {};
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) reported[dinput::dik_from_scancode(scancode)] = true;
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(reported[codes[i]]) << settings::name_input(codes[i]) << " (" << int(codes[i]) << ")";
        EXPECT_EQ(settings::find_input(settings::name_input(codes[i])), codes[i]);
    }
}

}  // namespace
