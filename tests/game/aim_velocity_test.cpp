#include <gtest/gtest.h>

#include <cstring>

#include "combat/bullets.h"
#include "world/world.h"

namespace {

struct AimCase {
    int32_t dx;  // cursor's world point relative to the player's centre
    int32_t dy;
    int32_t vx;
    int32_t vy;
};

class AimVelocity : public ::testing::TestWithParam<AimCase> {
protected:
    void SetUp() override {
        std::memset(static_cast<void*>(&world), 0, sizeof(World));
        world.player_x = 600;
        world.player_y = 268;
        world.camera_x = 232;
    }
};

TEST_P(AimVelocity, ShootsAtSpeedTwentyFiveTruncatedTowardZero) {
    const AimCase aim = GetParam();
    // The cursor is in screen pixels: the camera is added to reach the world point.
    world.cursor_x = world.player_x + 32 + aim.dx - world.camera_x;
    world.cursor_y = world.player_y + 32 + aim.dy - world.camera_y;
    const Velocity velocity = aim_velocity();
    EXPECT_EQ(velocity.vx, aim.vx);
    EXPECT_EQ(velocity.vy, aim.vy);
}

INSTANTIATE_TEST_SUITE_P(Examples, AimVelocity,
                         ::testing::Values(AimCase{300, 0, 25, 0},      // level with the player
                                           AimCase{100, 100, 17, 17},   // 45 degrees: slower than straight
                                           AimCase{3, 4, 15, 20},       //
                                           AimCase{-1, 2, -11, 22},     // -11.18 truncates to -11, not -12
                                           AimCase{-3, -4, -15, -20},   // symmetric up and left
                                           AimCase{0, -250, 0, -25},    //
                                           AimCase{7, 24, 7, 24},       //
                                           AimCase{0, 0, 25, 0}));      // no direction: straight right

TEST(AimVelocityCamera, TheVerticalCameraIsAddedLikeTheHorizontalOne) {
    std::memset(static_cast<void*>(&world), 0, sizeof(World));
    world.player_x = 100;
    world.player_y = 100;
    world.camera_y = 4;  // never set by the game, but the rule still uses it
    world.cursor_x = 135;
    world.cursor_y = 128;  // world y 132: 3 right, 0 below the centre once the camera is added
    const Velocity velocity = aim_velocity();
    EXPECT_EQ(velocity.vx, 25);
    EXPECT_EQ(velocity.vy, 0);
}

}  // namespace
