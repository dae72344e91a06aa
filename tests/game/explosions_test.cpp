#include <gtest/gtest.h>

#include "combat/explosions.h"
#include "support/game_fixture.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

class ExplosionTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        for (Explosion& e : world.explosions) e.active = 1;  // start-up frees every slot
        init_explosions();
    }

    static int running() {
        int n = 0;
        for (const Explosion& e : world.explosions) n += e.active == 1 ? 1 : 0;
        return n;
    }
};

TEST_F(ExplosionTest, StartUpFreesEverySlotAndLoadsThePicture) {
    EXPECT_EQ(running(), 0);
    EXPECT_NE(world.explosion_sprite.texture, nullptr);
}

TEST_F(ExplosionTest, GrowsAndFadesOverTwentyOneDrawings) {
    world.camera_x = 100;
    spawn_explosion(500, 300);
    int drawings = 0;
    for (int frame = 1; frame <= 25; ++frame) {
        const auto quads = drawn_by([] { update_explosions(); });
        if (frame > 21) {
            EXPECT_TRUE(quads.empty()) << "frame " << frame;
            continue;
        }
        ASSERT_EQ(quads.size(), 1u) << "frame " << frame;
        ++drawings;
        const Quad& q = quads[0];
        const int size = frame * 100;
        EXPECT_TRUE(uses(q, world.explosion_sprite));
        EXPECT_EQ(left(q), static_cast<float>(500 - size / 2 - 100)) << "frame " << frame;
        EXPECT_EQ(top(q), static_cast<float>(300 - size / 2)) << "frame " << frame;
        EXPECT_EQ(width(q), static_cast<float>(size));
        EXPECT_EQ(height(q), static_cast<float>(size));
        EXPECT_EQ(alpha(q), static_cast<uint32_t>(255 - frame * 10)) << "frame " << frame;
        EXPECT_TRUE(q.blend);
        EXPECT_EQ(q.src_blend, static_cast<uint32_t>(D3DBLEND_SRCALPHA));
        EXPECT_EQ(q.dest_blend, static_cast<uint32_t>(D3DBLEND_ONE)) << "drawn additively";
        EXPECT_EQ(world.explosions[0].active, frame < 21 ? 1 : 0) << "frame " << frame;
    }
    EXPECT_EQ(drawings, 21);
    EXPECT_EQ(world.explosions[0].age, 210);
}

TEST_F(ExplosionTest, TakesTheLowestFreeSlotsInCallOrder) {
    world.explosions[0].active = 1;
    world.explosions[0].age = 50;
    spawn_explosion(5, 6);
    spawn_explosion(7, 8);
    EXPECT_EQ(world.explosions[1].active, 1);
    EXPECT_EQ(world.explosions[1].x, 5);
    EXPECT_EQ(world.explosions[1].y, 6);
    EXPECT_EQ(world.explosions[1].age, 0);
    EXPECT_EQ(world.explosions[2].x, 7);
    EXPECT_EQ(world.explosions[0].age, 50) << "a running explosion is left alone";

    world.explosions[1].active = 0;
    spawn_explosion(9, 10);
    EXPECT_EQ(world.explosions[1].active, 1);
    EXPECT_EQ(world.explosions[1].x, 9);
}

TEST_F(ExplosionTest, AFullTableDropsTheRequest) {
    for (int i = 0; i < EXPLOSION_COUNT; ++i) spawn_explosion(i, i);
    ASSERT_EQ(running(), EXPLOSION_COUNT);
    update_explosions();
    spawn_explosion(999, 999);
    for (int i = 0; i < EXPLOSION_COUNT; ++i) {
        EXPECT_EQ(world.explosions[i].x, i);
        EXPECT_EQ(world.explosions[i].age, 10);
    }
    const auto quads = drawn_by([] { update_explosions(); });
    EXPECT_EQ(quads.size(), static_cast<size_t>(EXPLOSION_COUNT));
}

}  // namespace
