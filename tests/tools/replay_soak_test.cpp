// The soak mode's two halves: the random player and the invariant check that stops it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "soak.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include "world/world.h"

namespace {

// A world that satisfies every invariant, as the start-up sequence leaves it.
void valid_world() {
    std::memset(static_cast<void*>(&world), 0, sizeof(World));
    world.level = 1;
    world.player_health = 100;
    world.rocket_ammo = 3;
    world.screen_width = 800;
    world.screen_height = 600;
    world.cursor_bounds = {0, 0, 800, 600};
    world.medkit.visible = 1;
}

std::string broken() {
    const char* what = replay::broken_invariant();
    return what == nullptr ? "" : what;
}

TEST(SoakCheck, NamesTheFirstBrokenFieldWithItsValue) {
    valid_world();
    EXPECT_EQ(broken(), "");

    world.player_health = 101;
    EXPECT_EQ(broken(), "player_health is 101 (allowed 0..100)");
    valid_world();
    world.cursor_x = 801;
    EXPECT_EQ(broken(), "cursor_x is 801 (allowed 0..800)");
    valid_world();
    world.bullets[3].active = 2;
    EXPECT_EQ(broken(), "bullets[3].active is 2 (allowed 0..1)");
    valid_world();
    world.medkit.visible = 0;  // hidden, yet nothing left to count down
    EXPECT_EQ(broken(), "medkit.respawn_countdown (hidden) is 0 (allowed 1..149)");
    valid_world();
    world.enemies[7].death_frames = 52;
    EXPECT_EQ(broken(), "enemies[7].death_frames is 52 (allowed 0..51)");
}

TEST(SoakInput, TheSameSeedPlaysTheSameGameAndNeverQuits) {
    replay::RandomInput first(7);
    replay::RandomInput second(7);
    replay::FrameInput a;
    replay::FrameInput b;
    int clicks = 0, rockets = 0, flings = 0, idle = 0;
    bool was_left = false;
    for (int frame = 0; frame < 200000; ++frame) {
        first.next(a);
        second.next(b);
        ASSERT_EQ(a, b) << "frame " << frame;
        ASSERT_EQ(a.keys[DIK_ESCAPE], 0) << "frame " << frame;
        if (frame == 0) {
            EXPECT_EQ(a.keys[DIK_SPACE], 0x80) << "play starts on the first frame";
        }
        clicks += a.left && !was_left;
        was_left = a.left;
        rockets += a.right;
        flings += std::abs(a.dx) > 100;
        bool any_key = false;
        for (unsigned char key : a.keys) any_key = any_key || key != 0;
        idle += !any_key && !a.left && !a.right;
    }
    // Enough of each kind of input that a soak meets deaths, restarts, rockets and far-off cursors.
    EXPECT_GT(clicks, 300);
    EXPECT_GT(rockets, 100);
    EXPECT_GT(flings, 50);
    EXPECT_GT(idle, 1000);
}

}  // namespace
