// The replay runner's state and draw lines: exact keys, order and number formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "json_lines.h"
#include "world/world.h"

namespace {

class ReplayLines : public ::testing::Test {
protected:
    void SetUp() override {
        saved_rand_ = zv::rand_state();
        std::memset(static_cast<void*>(&world), 0, sizeof(World));
    }
    void TearDown() override {
        std::memset(static_cast<void*>(&world), 0, sizeof(World));
        zv::set_rand_state(saved_rand_);
    }
    uint32_t saved_rand_ = 1;
};

TEST_F(ReplayLines, StateLineHasEveryKeyInOrderAndOnlyLiveSlots) {
    world.in_play = true;
    world.level = 2;
    world.stage_index = 1;
    world.script_cursor = 26;
    world.camera_x = 32;
    world.player_x = 400;
    world.player_y = -8;
    world.player_health = 95;
    world.score = 7;
    world.high_score = 3;
    world.fade_alpha = 10;
    world.bullet_cooldown = 4;
    world.rocket_cooldown = 19;
    world.rocket_ammo = 2;
    world.cursor_x = 800;
    world.cursor_y = 600;
    world.mouse_left = 128;
    zv::set_rand_state(0xFFFFFFFFu);  // must print unsigned
    world.stars[0].z = 10001;
    world.stars[STAR_COUNT - 1].z = 5;
    world.stars[7].z = -2;

    world.enemies[3] = Enemy{11, 0, 0, -5, 200, 1, 49, 3, 0};
    world.enemies[5] = Enemy{2, 1, 1, 10, 10, 0, 50, 3, 12};  // free: its fields still hold, but it is not listed
    world.enemies[ENEMY_COUNT - 1] = Enemy{0, -3, 4, 1536, 536, 1, 50, 2, 7};
    world.bullets[2] = Bullet{25, -1, 10, 20, 1};
    world.bullets[3] = Bullet{1, 1, 1, 1, 0};
    world.rockets[ROCKET_COUNT - 1] = Rocket{-17, 17, 300, 300, 1};
    world.explosions[EXPLOSION_COUNT - 1] = Explosion{100, -3, 210, 1};
    world.explosions[0] = Explosion{1, 1, 10, 0};
    world.medkit = Medkit{1, 2, 0, 149, -5, 4};

    std::string line;
    replay::append_state_line(line, 42);
    EXPECT_EQ(line,
              "{\"frame\":42,\"in_play\":true,\"level\":2,\"stage_index\":1,\"script_cursor\":26,"
              "\"camera_x\":32,\"camera_y\":0,\"player_x\":400,\"player_y\":-8,\"player_health\":95,"
              "\"score\":7,\"high_score\":3,\"fade_alpha\":10,\"bullet_cooldown\":4,\"rocket_cooldown\":19,"
              "\"rocket_ammo\":2,\"cursor_x\":800,\"cursor_y\":600,\"mouse_left\":128,\"mouse_right\":0,"
              "\"rand_state\":4294967295,\"stars_z_sum\":10004,"
              "\"enemies\":[{\"slot\":3,\"kind\":11,\"x\":-5,\"y\":200,\"vx\":0,\"vy\":0,\"hp\":3,"
              "\"boss_hp\":49,\"death_frames\":0},"
              "{\"slot\":499,\"kind\":0,\"x\":1536,\"y\":536,\"vx\":-3,\"vy\":4,\"hp\":2,\"boss_hp\":50,"
              "\"death_frames\":7}],"
              "\"bullets\":[{\"slot\":2,\"x\":10,\"y\":20,\"vx\":25,\"vy\":-1}],"
              "\"rockets\":[{\"slot\":2,\"x\":300,\"y\":300,\"vx\":-17,\"vy\":17}],"
              "\"explosions\":[{\"slot\":29,\"x\":100,\"y\":-3,\"age\":210}],"
              "\"medkit\":{\"x\":1,\"y\":2,\"vx\":-5,\"vy\":4,\"visible\":false,\"respawn_countdown\":149}}\n");
}

TEST_F(ReplayLines, StateLineSumsEveryStarWithoutOverflow) {
    for (Star& star : world.stars) star.z = 2'000'000'000;
    world.medkit.visible = 1;
    std::string line;
    replay::append_state_line(line, 0);
    EXPECT_NE(line.find("\"stars_z_sum\":30000000000000,"), std::string::npos) << line;
    EXPECT_NE(line.find("\"enemies\":[],\"bullets\":[],\"rockets\":[],\"explosions\":[]"), std::string::npos);
    EXPECT_NE(line.find("\"visible\":true"), std::string::npos);
}

headless::QuadRecord quad(float x0, float y0, float x1, float y1, std::uint32_t color) {
    headless::QuadRecord q{};
    const float xs[4] = {x0, x1, x0, x1};
    const float ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        q.x[i] = xs[i];
        q.y[i] = ys[i];
        q.u[i] = (i & 1) ? 1.0f : 0.0f;
        q.v[i] = (i & 2) ? 1.0f : 0.0f;
    }
    q.color = color;
    q.blend = true;
    q.src_blend = D3DBLEND_SRCALPHA;
    q.dest_blend = D3DBLEND_INVSRCALPHA;
    q.cull_mode = D3DCULL_CCW;
    return q;
}

TEST_F(ReplayLines, DrawLineDescribesEachQuadInOrder) {
    // Pointers are only compared, never used: any address stands for a texture the World does not hold.
    static int stranger = 0;
    const auto* unknown_texture = reinterpret_cast<const IDirect3DBaseTexture9*>(&stranger);

    headless::QuadRecord records[3];
    records[0] = quad(0, 0, 800, 600, 0xFF000000u);
    records[1] = quad(150.5f, 500, 170, 552, 0x05FFFFFFu);
    records[1].texture = unknown_texture;
    records[1].u[0] = records[1].u[2] = 0.25f;
    records[1].u[1] = records[1].u[3] = 0.375f;
    records[1].blend = false;
    // A mirrored quad (negative width) after culling was switched off, added on top.
    records[2] = quad(500, 200, 372, 328, 0xFFFFFFFFu);
    records[2].dest_blend = D3DBLEND_ONE;
    records[2].cull_mode = D3DCULL_NONE;
    records[2].culled = true;

    const headless::DrawLog log{records, 3, 0};
    replay::TextureNames names;
    std::string line;
    replay::append_draws_line(line, 7, log, names);
    EXPECT_EQ(line,
              "{\"frame\":7,\"draws\":["
              "{\"tex\":null,\"x\":0,\"y\":0,\"w\":800,\"h\":600,\"color\":\"#FF000000\",\"uv\":[0,0,1,1],"
              "\"blend\":\"alpha\",\"culled\":false},"
              "{\"tex\":\"?\",\"x\":150.5,\"y\":500,\"w\":19.5,\"h\":52,\"color\":\"#05FFFFFF\","
              "\"uv\":[0.25,0,0.375,1],\"blend\":\"off\",\"culled\":false},"
              "{\"tex\":null,\"x\":500,\"y\":200,\"w\":-128,\"h\":128,\"color\":\"#FFFFFFFF\",\"uv\":[0,0,1,1],"
              "\"blend\":\"add\",\"culled\":true}]}\n");

    line.clear();
    replay::append_draws_line(line, 8, headless::DrawLog{records, 0, 0}, names);
    EXPECT_EQ(line, "{\"frame\":8,\"draws\":[]}\n");
}

TEST_F(ReplayLines, GlyphCoordinatesReadBackExactly) {
    // The font's u is a column over the strip width; the text must round-trip to the same float.
    headless::QuadRecord q = quad(10, 10, 15, 23, 0xFFFFFFFFu);
    const float u0 = 33.0f / 648.0f;
    const float u1 = 37.0f / 648.0f;
    q.u[0] = q.u[2] = u0;
    q.u[1] = q.u[3] = u1;
    std::string line;
    replay::append_draws_line(line, 0, headless::DrawLog{&q, 1, 0}, replay::TextureNames{});
    const std::size_t at = line.find("\"uv\":[");
    ASSERT_NE(at, std::string::npos);
    const char* text = line.c_str() + at + 6;
    char* end = nullptr;
    EXPECT_EQ(std::strtof(text, &end), u0);
    ASSERT_EQ(*end, ',');
    std::strtof(end + 1, &end);  // v0
    EXPECT_EQ(std::strtof(end + 1, &end), u1);
}

TEST(ReplayBlendNames, FollowTheStatesNotTheTexture) {
    headless::QuadRecord q{};
    q.blend = false;
    q.src_blend = D3DBLEND_SRCALPHA;
    q.dest_blend = D3DBLEND_ONE;
    EXPECT_STREQ(replay::blend_name(q), "off");
    q.blend = true;
    EXPECT_STREQ(replay::blend_name(q), "add");
    q.dest_blend = D3DBLEND_INVSRCALPHA;
    EXPECT_STREQ(replay::blend_name(q), "alpha");
    q.src_blend = D3DBLEND_ONE;
    EXPECT_STREQ(replay::blend_name(q), "other");
    q.src_blend = D3DBLEND_SRCALPHA;
    q.dest_blend = D3DBLEND_ZERO;
    EXPECT_STREQ(replay::blend_name(q), "other");
}

}  // namespace
