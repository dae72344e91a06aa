#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gfx/font.h"
#include "presentation/hud.h"
#include "gfx/graphics.h"
#include "support/game_fixture.h"
#include "world/world.h"

namespace {

constexpr int32_t GLYPH_CELL = 8;  // a test font: glyph c starts at column 8c, 6 wide, spacing 2
constexpr int32_t STRIP_WIDTH = 1024;

struct DrawnText {
    int32_t x;
    int32_t y;
    int32_t scale;
    uint32_t colour;
    std::string text;
    int32_t next_x;
};

class Hud : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        BitmapFont& font = world.font;
        world.d3d_device->CreateTexture(STRIP_WIDTH, 12, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &font.texture,
                                        nullptr);
        font.strip_width = STRIP_WIDTH;
        font.strip_height = 12;
        font.spacing = 2;
        for (int code = 32; code < 128; ++code) {
            font.glyph_start[code] = code * GLYPH_CELL;
            font.glyph_width[code] = GLYPH_CELL - 2;
        }
        world.level = 1;
        world.player_health = 100;
        world.player_y = 268;
    }

    void TearDown() override {
        if (world.font.texture != nullptr) world.font.texture->Release();
        GameFixture::TearDown();
    }

    // The left button's level in this frame and in the one before.
    static void set_left_button(bool held, bool held_before) {
        world.mouse_left = held ? 128 : 0;
        world.prev_mouse_left = held_before ? 128 : 0;
    }

    // Reads the strings back from the glyph quads of this scene: a glyph continues the
    // previous string when it sits where that string's pen stands.
    static std::vector<DrawnText> texts_drawn() {
        std::vector<DrawnText> texts;
        const headless::DrawLog log = current_draws();
        for (int i = 0; i < log.count; ++i) {
            const headless::QuadRecord& quad = log.quads[i];
            if (quad.texture != world.font.texture) continue;
            const int32_t x = static_cast<int32_t>(std::lround(quad.x[0]));
            const int32_t y = static_cast<int32_t>(std::lround(quad.y[0]));
            const int32_t scale = static_cast<int32_t>(std::lround((quad.y[2] - quad.y[0]) / 13.0f));
            const char code = static_cast<char>(std::lround(quad.u[0] * STRIP_WIDTH / GLYPH_CELL));
            if (texts.empty() || texts.back().next_x != x || texts.back().y != y || texts.back().scale != scale ||
                texts.back().colour != quad.color) {
                texts.push_back(DrawnText{x, y, scale, quad.color, "", x});
            }
            texts.back().text += code;
            texts.back().next_x = x + scale * GLYPH_CELL;
        }
        return texts;
    }

    static const DrawnText* find_text(const std::vector<DrawnText>& texts, const std::string& text) {
        for (const DrawnText& drawn : texts) {
            if (drawn.text == text) return &drawn;
        }
        return nullptr;
    }

    static std::vector<headless::QuadRecord> untextured_quads() {
        std::vector<headless::QuadRecord> found;
        const headless::DrawLog log = current_draws();
        for (int i = 0; i < log.count; ++i) {
            if (log.quads[i].texture == nullptr) found.push_back(log.quads[i]);
        }
        return found;
    }

    static void run_hud() {
        update_death_fade();
        update_game_over();
        draw_health();
        draw_high_score();
        draw_score();
    }

    // The HUD's frame with this health and these scores; the strings it drew.
    static std::vector<DrawnText> hud_with(int32_t health, int32_t score, int32_t high_score) {
        world.player_health = health;
        world.score = score;
        world.high_score = high_score;
        run_hud();
        return texts_drawn();
    }

    static void expect_text(const std::vector<DrawnText>& texts, const std::string& text, int32_t x, int32_t y,
                            int32_t scale, uint32_t colour) {
        SCOPED_TRACE(text);
        const DrawnText* drawn = find_text(texts, text);
        ASSERT_NE(drawn, nullptr);
        EXPECT_EQ(drawn->x, x);
        EXPECT_EQ(drawn->y, y);
        EXPECT_EQ(drawn->scale, scale);
        EXPECT_EQ(drawn->colour, colour);
    }
};

TEST_F(Hud, TheLayoutWhileAlive) {
    const auto texts = hud_with(73, 45, 120);
    ASSERT_EQ(texts.size(), 6u);
    expect_text(texts, "HEALTH:", 10, 10, 1, 0xFFFFFFFFu);
    expect_text(texts, "73", 70, 10, 1, 0xFFFFFFFFu);
    expect_text(texts, "HIGH SCORE:", 650, 10, 1, 0xFFFFFFFFu);
    expect_text(texts, "120", 760, 10, 1, 0xFFFFFFFFu);
    expect_text(texts, "SCORE:", 650, 30, 1, 0xFFFFFFFFu);
    expect_text(texts, "45", 760, 30, 1, 0xFFFFFFFFu);
    EXPECT_TRUE(untextured_quads().empty());
}

TEST_F(Hud, TheBannerNeedsOneMorePointThanTheHighScore) {
    world.high_score = 120;
    world.score = 120;
    draw_high_score();
    EXPECT_EQ(find_text(texts_drawn(), "NEW HIGH SCORE!"), nullptr);

    end_frame();
    world.score = 121;
    draw_high_score();
    expect_text(texts_drawn(), "NEW HIGH SCORE!", 280, 10, 2, 0xFFFFFFFFu);
}

TEST_F(Hud, TheFirstGameShowsTheBannerForAnyPositiveScore) {
    world.score = 1;
    run_hud();
    EXPECT_NE(find_text(texts_drawn(), "NEW HIGH SCORE!"), nullptr);
}

TEST_F(Hud, TheFadeRunsFromFiveToTwoHundredFiftyFiveAndStays) {
    world.player_health = 0;
    for (int frame = 1; frame <= 60; ++frame) {
        update_death_fade();
        const int32_t expected = frame * 5 < 255 ? frame * 5 : 255;
        ASSERT_EQ(world.fade_alpha, expected) << "frame " << frame;
        const auto quads = untextured_quads();
        ASSERT_EQ(quads.size(), 1u);
        EXPECT_EQ(quads[0].color, static_cast<uint32_t>(expected) << 24);
        EXPECT_EQ(quads[0].x[0], 0);
        EXPECT_EQ(quads[0].y[0], 0);
        EXPECT_EQ(quads[0].x[3], 800);
        EXPECT_EQ(quads[0].y[3], 600);
        end_frame();
    }
}

TEST_F(Hud, TheOverlayShowsAtOneHealthAndVanishesAboveIt) {
    world.player_health = 1;
    update_death_fade();
    update_death_fade();
    EXPECT_EQ(world.fade_alpha, 10);
    EXPECT_EQ(untextured_quads().size(), 2u);

    end_frame();
    world.player_health = 2;
    update_death_fade();
    EXPECT_EQ(world.fade_alpha, 0);
    EXPECT_TRUE(untextured_quads().empty());
}

TEST_F(Hud, DeathShowsTheLinesTakesTheHighScoreAndDropsTheBanner) {
    const auto texts = hud_with(0, 40, 30);
    expect_text(texts, "YOU LOSE! HAHA PWNT!", 100, 256, 4, 0xFFFF0000u);
    expect_text(texts, "(CLICK TO RESTART)", 270, 330, 2, 0xFFFFFFFFu);
    expect_text(texts, "40", 760, 10, 1, 0xFFFFFFFFu);
    EXPECT_EQ(find_text(texts, "NEW HIGH SCORE!"), nullptr);
    EXPECT_EQ(world.high_score, 40);

    // A lower score never lowers it.
    end_frame();
    world.score = 10;
    run_hud();
    EXPECT_EQ(world.high_score, 40);
}

TEST_F(Hud, ARestartResetsExactlyItsFieldsAndKeepsTheLevel) {
    world.player_health = 0;
    world.level = 2;
    world.score = 77;
    world.high_score = 50;
    world.in_play = true;
    world.rocket_ammo = 1;
    world.player_x = 1234;
    world.player_y = 400;
    world.stage_index = 2;
    world.script_cursor = 17;
    world.camera_x = 900;
    world.fade_alpha = 255;
    world.bullet_cooldown = 4;
    world.rocket_cooldown = 11;
    world.bullets[3] = Bullet{1, 2, 3, 4, 1};
    world.rockets[1] = Rocket{5, 6, 7, 8, 1};
    world.explosions[2] = Explosion{9, 10, 30, 1};
    world.medkit = Medkit{11, 12, 0, 80, 3, -2};
    world.stars[42] = Star{1, 2, 3, 4};
    for (int slot = 0; slot < ENEMY_COUNT; slot += 7) {
        world.enemies[slot] = Enemy{eGreen, 1, 2, slot, 5, 1, 50, 2, 0};
    }
    set_left_button(true, false);

    auto expected = std::make_unique<World>();
    std::memcpy(static_cast<void*>(expected.get()), &world, sizeof(World));
    expected->high_score = 77;  // taken before the reset
    expected->rocket_ammo = 6;
    expected->score = 0;
    expected->player_health = 100;
    expected->player_x = 0;
    expected->player_y = 268;
    expected->stage_index = 0;
    expected->script_cursor = 0;
    for (Enemy& enemy : expected->enemies) enemy.active = 0;

    update_game_over();
    EXPECT_EQ(world.rocket_ammo, 6);
    EXPECT_EQ(world.enemies[7].x, 7);
    EXPECT_EQ(std::memcmp(expected.get(), &world, sizeof(World)), 0) << "a field outside the restart changed";
}

TEST_F(Hud, AButtonHeldAtDeathMustBeReleasedAndPressedAgain) {
    world.player_health = 0;
    world.score = 5;
    set_left_button(true, true);
    update_game_over();
    EXPECT_EQ(world.player_health, 0);

    set_left_button(false, true);
    update_game_over();
    EXPECT_EQ(world.player_health, 0);

    set_left_button(true, false);
    update_game_over();
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(world.score, 0);
}

TEST_F(Hud, ClickingWhileAliveNeverRestarts) {
    world.player_health = 1;
    world.score = 5;
    world.player_x = 700;
    set_left_button(true, false);
    run_hud();
    EXPECT_EQ(world.player_health, 1);
    EXPECT_EQ(world.score, 5);
    EXPECT_EQ(world.player_x, 700);
    EXPECT_EQ(find_text(texts_drawn(), "(CLICK TO RESTART)"), nullptr);
}

TEST_F(Hud, TheRestartFrameStillDrawsTheOverlayAndTheLines) {
    world.player_health = 0;
    world.score = 12;
    world.fade_alpha = 100;
    world.mouse_left = 128;
    run_hud();
    const auto texts = texts_drawn();
    EXPECT_EQ(untextured_quads().size(), 1u);
    EXPECT_NE(find_text(texts, "YOU LOSE! HAHA PWNT!"), nullptr);
    expect_text(texts, "100", 70, 10, 1, 0xFFFFFFFFu);  // the health after the restart
    expect_text(texts, "12", 760, 10, 1, 0xFFFFFFFFu);
    EXPECT_EQ(world.fade_alpha, 105);

    end_frame();
    world.prev_mouse_left = 128;
    run_hud();
    EXPECT_EQ(world.fade_alpha, 0);
    EXPECT_TRUE(untextured_quads().empty());
}

}  // namespace
