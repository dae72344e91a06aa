// End-to-end play: the scripts in tests/scripts played through the real game by the replay runner,
// checked against the World and the quads each frame drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/replay_scenes.h"
#include "support/world_setup.h"
#include "world/world.h"

namespace {

int64_t stars_z_sum() {
    int64_t sum = 0;
    for (const Star& s : world.stars) sum += s.z;
    return sum;
}

TEST(EndToEnd, TitleScreenShowsItsPictureAndLevelLineOverAFrozenWorld) {
    // Start-up draws 60,000 numbers for the stars, 4 for the medkit and 1,500 for the enemy slots.
    const uint32_t after_start_up = rand_state_after(1, 60000 + 4 + 1500);
    int64_t first_z_sum = -1;
    play_script("title.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        expect_world_as_start_up_leaves_it();
        EXPECT_EQ(zv::rand_state(), after_start_up);
        if (first_z_sum < 0) first_z_sum = stars_z_sum();
        EXPECT_EQ(stars_z_sum(), first_z_sum) << "the stars move under the title screen";

        const std::vector<replay::QuadView> draws = frame.draws();
        ASSERT_EQ(draws.size(), 2u + std::strlen("welcome to level 1"));
        EXPECT_EQ(draws[0].tex, nullptr);
        EXPECT_EQ(draws[0].x, 0);
        EXPECT_EQ(draws[0].y, 0);
        EXPECT_EQ(draws[0].w, 800);
        EXPECT_EQ(draws[0].h, 600);
        EXPECT_EQ(draws[0].color, 0xFF000000u);
        EXPECT_STREQ(draws[0].blend, "alpha");

        ASSERT_NE(draws[1].tex, nullptr);
        EXPECT_STREQ(draws[1].tex, "startscreen.bmp");
        EXPECT_EQ(draws[1].x, 0);
        EXPECT_EQ(draws[1].y, 0);
        EXPECT_EQ(draws[1].w, world.title_sprite.width);
        EXPECT_EQ(draws[1].h, world.title_sprite.height);
        EXPECT_EQ(draws[1].color, 0xFFFFFFFFu);
        EXPECT_STREQ(draws[1].blend, "off");

        EXPECT_EQ(frame.texts().size(), 1u);
        expect_text(frame, "welcome to level 1", 150, 500, 4, 0xFF000000u);
        for (const replay::QuadView& q : draws) {
            if (q.tex != nullptr) {
                EXPECT_STRNE(q.tex, "?") << "a texture the World does not hold";
            }
            EXPECT_FALSE(q.culled);
        }
    });
}

TEST(EndToEnd, SpaceOnTheTitleRunsAFrameOfPlayDrawnOverItAndPausesAgain) {
    std::map<int64_t, bool> in_play;
    play_script("start_play.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        in_play[frame.index] = world.in_play;
        const int title = frame.first_index_of("startscreen.bmp");
        if (frame.index == 2) {
            // The title first, then the whole in-play sequence over it.
            const int background = frame.first_index_of("bg0.tga");
            const int player = frame.first_index_of("Player.tga");
            ASSERT_GE(title, 0);
            EXPECT_GT(background, title);
            EXPECT_GT(player, background);
            EXPECT_EQ(frame.quads_of("crosshair4.tga").size(), 2u);
            EXPECT_TRUE(frame.text("welcome to level 1").has_value());
            const std::optional<TextRun> health = frame.text("HEALTH:");
            ASSERT_TRUE(health.has_value());
            EXPECT_EQ(health->x, 10);
            EXPECT_EQ(health->y, 10);
            ASSERT_TRUE(frame.text("100").has_value());
            EXPECT_TRUE(frame.text("HIGH SCORE:").has_value());
            EXPECT_TRUE(frame.text("SCORE:").has_value());
            // Stars lie under the stage background.
            const std::vector<replay::QuadView> draws = frame.draws();
            int stars_under = 0;
            for (int i = title + 1; i < background; ++i) {
                const replay::QuadView& q = draws[static_cast<std::size_t>(i)];
                if (q.tex == nullptr && q.w == 4 && q.h == 4) ++stars_under;
            }
            EXPECT_GT(stars_under, 100);
        } else if (frame.index == 8) {
            // Paused by this frame's Space: nothing but the black screen.
            const std::vector<replay::QuadView> draws = frame.draws();
            ASSERT_EQ(draws.size(), 1u);
            EXPECT_EQ(draws[0].tex, nullptr);
            EXPECT_EQ(draws[0].color, 0xFF000000u);
        } else if (world.in_play) {
            EXPECT_EQ(title, -1) << "the title screen drawn during play";
        } else {
            EXPECT_EQ(title, 1);
        }
    });
    const std::map<int64_t, bool> expected{{0, false}, {1, false}, {2, true},  {3, true},  {4, true},
                                           {5, true},  {6, true},  {7, true},  {8, false}, {9, false},
                                           {10, false}};
    EXPECT_EQ(in_play, expected);
}

TEST(EndToEnd, EnemiesAreReleasedOnlyOnceThePlayerHasWalkedRightOfTheStart) {
    int start_x = 0;  // player_x when the frame began
    int first_cursor_move = -1;
    std::vector<std::pair<int64_t, int>> releases;  // frame, kind
    play_script("walk_right.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        if (start_x <= 0) {
            EXPECT_EQ(count_live_enemies(), 0);
            EXPECT_EQ(world.script_cursor, 0);
        } else if (first_cursor_move < 0 && world.script_cursor > 0) {
            first_cursor_move = static_cast<int>(frame.index);
        }
        for (int slot = 0; slot < ENEMY_COUNT; ++slot) {
            const Enemy& e = world.enemies[slot];
            if (e.active == 1 && static_cast<std::size_t>(slot) == releases.size()) releases.emplace_back(frame.index, e.kind);
        }
        start_x = world.player_x;
    });
    // Frames 0..30 stand at 0, frame 31 steps left to -4, frame 42 walks back to 0 and frame 43 on to 4:
    // the wait passes on frame 44, and the column follows one enemy a frame.
    EXPECT_EQ(first_cursor_move, 44);
    ASSERT_EQ(releases.size(), 4u);
    const int kinds[4] = {eGreen, eBlue, eWhite, eThinGrey};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(releases[i].first, 45 + static_cast<int64_t>(i)) << "one spawn event per frame";
        EXPECT_EQ(releases[i].second, kinds[i]);
    }
}

TEST(EndToEnd, ThreeBulletsKillAnEnemyForThreePointsWithItsExplosionAndMessage) {
    const int target = 0;  // the eGreen released first
    int last_hp = 0;
    int last_score = 0;
    int hits = 0;
    int64_t kill_frame = -1;
    int dead_x = 0;
    int dead_y = 0;
    play_script("shoot_enemy.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        const Enemy& e = world.enemies[target];
        if (world.score != last_score) {
            // Every point comes from a bullet in the target.
            EXPECT_EQ(world.score, last_score + 1);
            EXPECT_EQ(e.hp, last_hp - 1);
            ++hits;
        }
        if (kill_frame < 0 && hits == 3) {
            kill_frame = frame.index;
            EXPECT_EQ(e.active, 0);
            EXPECT_EQ(e.kind, eGreen);
            dead_x = e.x;
            dead_y = e.y;
            // The explosion starts where the enemy stood, centred on its corner, and is drawn at once.
            bool exploding = false;
            for (const Explosion& x : world.explosions) exploding |= x.active == 1 && x.x == e.x && x.y == e.y && x.age == 10;
            EXPECT_TRUE(exploding);
            bool drawn = false;
            for (const replay::QuadView& q : frame.quads_of("explosion.tga")) {
                drawn |= q.x == e.x - 50 - world.camera_x && q.y == e.y - 50 && q.w == 100 && q.h == 100 &&
                         q.color == 0xF5FFFFFFu && std::strcmp(q.blend, "add") == 0;
            }
            EXPECT_TRUE(drawn) << "no 100 x 100 explosion at alpha 245 around the kill";
            // x 64 ends in 4.
            const std::optional<TextRun> message = frame.text("DOMINATION!");
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(message->x, e.x - world.camera_x);
            EXPECT_EQ(message->y, e.y);
            EXPECT_EQ(message->color, 0xFFFFFFFFu);
            EXPECT_TRUE(frame.text("NEW HIGH SCORE!").has_value());
        } else if (kill_frame >= 0 && frame.index == kill_frame + 1) {
            const std::optional<TextRun> message = frame.text("DOMINATION!");
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(message->color, 0xFAFAFAFAu) << "the message fades by 5 a frame";
            bool grown = false;
            for (const replay::QuadView& q : frame.quads_of("explosion.tga")) grown |= q.w == 200 && q.color == 0xEBFFFFFFu;
            EXPECT_TRUE(grown);
        } else if (kill_frame >= 0 && frame.index == kill_frame + 20) {
            // Its 21st and last drawing: 2100 pixels wide at alpha 45, and the slot is free again.
            bool last = false;
            for (const replay::QuadView& q : frame.quads_of("explosion.tga")) last |= q.w == 2100 && q.color == 0x2DFFFFFFu;
            EXPECT_TRUE(last);
            for (const Explosion& x : world.explosions) EXPECT_FALSE(x.active == 1 && x.x == dead_x && x.y == dead_y);
        }
        last_hp = e.hp;
        last_score = world.score;
    });
    EXPECT_EQ(hits, 3);
    EXPECT_EQ(world.score, 3);
    EXPECT_GE(kill_frame, 0);
}

TEST(EndToEnd, ARocketFliesOnThroughAColumnOfEnemiesKillingEach) {
    std::vector<int> column;  // slots released at x 256
    int64_t fired = -1;
    int64_t retired = -1;
    int score_at_fire = 0;
    int killed_in_flight = 0;
    std::vector<int> alive_before(ENEMY_COUNT, 0);
    play_script("rocket_column.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        for (int slot = 0; slot < ENEMY_COUNT; ++slot) {
            const Enemy& e = world.enemies[slot];
            if (e.active == 1 && alive_before[slot] == 0 && e.x == 256 &&
                std::find(column.begin(), column.end(), slot) == column.end())
                column.push_back(slot);
        }
        const Rocket& rocket = world.rockets[0];
        if (fired >= 0 && retired < 0) {
            int killed_now = 0;
            for (int slot = 0; slot < ENEMY_COUNT; ++slot) killed_now += alive_before[slot] == 1 && world.enemies[slot].active == 0;
            killed_in_flight += killed_now;
            if (rocket.active == 1) {
                EXPECT_EQ(frame.quads_of("rocket1.tga").size(), 1u);
            } else {
                retired = frame.index;
                EXPECT_GT(rocket.y, world.stages[0].height) << "a rocket only leaves by the stage's edge";
            }
        }
        if (fired < 0 && rocket.active == 1) {
            fired = frame.index;
            score_at_fire = world.score;
            EXPECT_EQ(world.rocket_ammo, 2);
            EXPECT_EQ(world.rocket_cooldown, 19);
            EXPECT_EQ(rocket.vx, 0);
            EXPECT_EQ(rocket.vy, 25);
            EXPECT_EQ(rocket.x, world.player_x + 32);
            EXPECT_EQ(column.size(), 4u) << "the column was not all out when the rocket left";
        }
        for (int slot = 0; slot < ENEMY_COUNT; ++slot) alive_before[slot] = world.enemies[slot].active;
    });
    ASSERT_GE(fired, 0);
    ASSERT_GT(retired, fired);
    ASSERT_EQ(column.size(), 4u);
    for (int slot : column) EXPECT_EQ(world.enemies[slot].active, 0) << "slot " << slot << " survived";
    // One point a kill, whatever the level; nothing else scored while it flew.
    EXPECT_GE(killed_in_flight, 4);
    EXPECT_EQ(world.score - score_at_fire, killed_in_flight);
    EXPECT_EQ(world.rocket_ammo, 2);
}

// When the player of death_restart.txt died and when the click brought it back.
struct DeathAndRestart {
    int64_t died = -1;
    int64_t restarted = -1;

    void see(const Frame& frame) {
        if (died < 0 && world.player_health == 0) died = frame.index;
        // Only the click heals fully: a medkit gives 10 at a time.
        if (died >= 0 && restarted < 0 && world.player_health == 100) restarted = frame.index;
    }
    bool dead() const { return died >= 0 && restarted < 0; }
};

TEST(EndToEnd, DeathFadesToBlackUnderTheLoseMessageWhileThePlayerLiesStill) {
    DeathAndRestart death;
    int x_at_death = 0;
    play_script("death_restart.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        const bool was_alive = death.died < 0;
        death.see(frame);
        if (was_alive && death.died == frame.index) {
            x_at_death = world.player_x;
            EXPECT_GT(world.score, 0);
        }
        if (death.died < 0) {
            EXPECT_EQ(world.fade_alpha, 0);
            if (frame.index % 20 == 0) {
                EXPECT_FALSE(frame.text("YOU LOSE! HAHA PWNT!").has_value());
            }
            return;
        }
        if (!death.dead() && frame.index != death.restarted) return;
        // Dead, and still on the restart's own frame: the overlay deepens by 5 a frame up to opaque.
        const int fade = static_cast<int>(std::min<int64_t>(255, 5 * (frame.index - death.died + 1)));
        if (death.dead()) {
            EXPECT_EQ(world.fade_alpha, fade);
            EXPECT_EQ(world.player_x, x_at_death) << "a dead player moved";
            // Bullets still in flight may score; the best score follows at once.
            EXPECT_EQ(world.high_score, world.score);
            // The button held since before the death never counts as a click.
            if (world.mouse_left != 0) {
                EXPECT_NE(world.prev_mouse_left, 0);
            }
        }
        const std::uint32_t overlay = static_cast<std::uint32_t>(fade) << 24;
        bool drawn = false;
        for (const replay::QuadView& q : frame.draws()) {
            drawn |= q.tex == nullptr && q.x == 0 && q.y == 0 && q.w == 800 && q.h == 600 && q.color == overlay;
        }
        EXPECT_TRUE(drawn) << "no overlay at alpha " << fade;
        expect_text(frame, "YOU LOSE! HAHA PWNT!", 100, 256, 4, 0xFFFF0000u);
        expect_text(frame, "(CLICK TO RESTART)", 270, 330, 2, 0xFFFFFFFFu);
    });
    ASSERT_GE(death.died, 0) << "the player never died";
}

TEST(EndToEnd, AFreshClickOnTheBlackScreenRestartsTheLevel) {
    DeathAndRestart death;
    int score_at_death = 0;
    play_script("death_restart.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        death.see(frame);
        if (death.dead()) score_at_death = world.score;
        if (frame.index == death.restarted) {
            EXPECT_EQ(world.mouse_left, 128);
            EXPECT_EQ(world.prev_mouse_left, 0);
            EXPECT_EQ(world.player_x, 0);
            EXPECT_EQ(world.player_y, 268);
            EXPECT_EQ(world.score, 0);
            EXPECT_GE(world.high_score, score_at_death);
            EXPECT_EQ(world.stage_index, 0);
            EXPECT_EQ(world.script_cursor, 0);
            EXPECT_EQ(world.rocket_ammo, 3);
            EXPECT_EQ(world.level, 1);
            EXPECT_TRUE(world.in_play);
            EXPECT_EQ(count_live_enemies(), 0);
        } else if (death.restarted >= 0 && frame.index == death.restarted + 1) {
            EXPECT_EQ(world.fade_alpha, 0);
            EXPECT_FALSE(frame.text("YOU LOSE! HAHA PWNT!").has_value());
            EXPECT_TRUE(frame.text("HEALTH:").has_value());
            EXPECT_FALSE(frame.text("NEW HIGH SCORE!").has_value());
        }
    });
    ASSERT_GE(death.died, 0) << "the player never died";
    ASSERT_GE(death.restarted, death.died + 51) << "the script means to click only once the screen is black";
    EXPECT_EQ(death.restarted, 475) << "the click of frame 475 was not taken";
}

TEST(EndToEnd, TheFirstLevelsStagesEndOnlyWhenClearedWithThePlayerAtTheRightEdge) {
    struct Change {
        int64_t frame;
        int from;
        int to;
    };
    std::vector<Change> stage_changes;
    int stage = 0;
    int start_x = 0;  // player_x as the frame began
    int start_health = 100;
    int score_before = 0;
    bool levelled_up = false;
    play_script("playthrough.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        // The level-up returns to stage 0 from stage 2; stage_index alone would miss a 0-to-0 change.
        const bool level_up = !levelled_up && world.level == 2;
        levelled_up |= level_up;
        if (world.stage_index != stage || level_up) {
            stage_changes.push_back({frame.index, stage, world.stage_index});
            // A stage ends only with every enemy gone and the player at its right edge.
            EXPECT_EQ(count_live_enemies(), 0);
            EXPECT_GE(start_x, world.stages[stage].width - 64);
            EXPECT_EQ(world.script_cursor, 0);
            EXPECT_EQ(world.camera_x, 0);
            EXPECT_LE(std::abs(world.player_x), 4 * world.level) << "the player starts the next stage at x 0";
            EXPECT_EQ(world.score, score_before) << "the score survives the stage change";
            if (world.level == 1) {
                const std::string background = "bg" + std::to_string(world.stage_index) + ".tga";
                EXPECT_EQ(frame.quads_of(background.c_str()).size(), 1u) << "the new stage is drawn at once";
                EXPECT_TRUE(frame.quads_of(("bg" + std::to_string(stage) + ".tga").c_str()).empty());
                EXPECT_EQ(world.player_health, start_health);
            }
            stage = world.stage_index;
        }
        start_x = world.player_x;
        start_health = world.player_health;
        score_before = world.score;
    });
    ASSERT_EQ(stage_changes.size(), 3u);
    EXPECT_EQ(stage_changes[0].from, 0);
    EXPECT_EQ(stage_changes[0].to, 1);
    EXPECT_EQ(stage_changes[1].to, 2);
    EXPECT_EQ(stage_changes[2].to, 0);
}

TEST(EndToEnd, TheBossWaitsForX2400StrikesOnceJumpsAwayAndDiesToTheGuns) {
    int start_x = 0;  // the player's position and health as the frame began
    int start_y = 268;
    int start_health = 100;
    uint32_t rand_before = 0;
    int64_t boss_out = -1;
    int64_t boss_struck = -1;
    int64_t boss_killed = -1;
    bool boss_was_alive = false;
    play_script("playthrough.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        const Enemy* boss = nullptr;
        for (const Enemy& e : world.enemies) {
            if (e.kind == manbearpig && (e.active == 1 || boss_was_alive)) boss = &e;
        }
        if (boss != nullptr && boss->active == 1) {
            if (boss_out < 0) {
                boss_out = frame.index;
                EXPECT_EQ(world.stage_index, 2);
                EXPECT_GT(start_x, 2400) << "the boss waits for x 2400";
                EXPECT_EQ(boss->boss_hp, 50);
                EXPECT_EQ(boss->hp, 3);
                // Released at (2500, 200), then one homing step of at most 4 on each axis.
                EXPECT_LE(std::abs(boss->x - 2500), 4);
                EXPECT_LE(std::abs(boss->y - 200), 4);
            }
            // Drawn, tested for contact, drawn again: always two quads, unmirrored at rest.
            const std::vector<replay::QuadView> drawn = frame.quads_of("manbearpig.tga");
            EXPECT_EQ(drawn.size(), 2u);
            for (const replay::QuadView& q : drawn) EXPECT_GT(q.w, 0);
            if (world.player_health == start_health - 10) {
                EXPECT_LT(boss_struck, 0) << "struck twice";
                boss_struck = frame.index;
                // It jumped 200 away on both axes from where the player stood, with two draws.
                EXPECT_EQ(std::abs(boss->x - start_x), 200);
                EXPECT_EQ(std::abs(boss->y - start_y), 200);
                EXPECT_EQ(zv::rand_state(), rand_state_after(rand_before, 2));
                EXPECT_NE(drawn[0].x, drawn[1].x) << "seen at both places on the frame of the jump";
            } else {
                EXPECT_EQ(zv::rand_state(), rand_before) << "only the boss's jump draws numbers in play";
            }
        } else if (boss != nullptr && boss_was_alive) {
            boss_killed = frame.index;
            EXPECT_EQ(world.level, 1) << "the level rose before the boss died";
            bool exploding = false;
            for (const Explosion& x : world.explosions) exploding |= x.active == 1 && x.age == 10;
            EXPECT_TRUE(exploding);
        }
        boss_was_alive = boss != nullptr && boss->active == 1;
        start_x = world.player_x;
        start_y = world.player_y;
        start_health = world.player_health;
        rand_before = zv::rand_state();
    });
    EXPECT_GE(boss_out, 0);
    EXPECT_GT(boss_struck, boss_out);
    EXPECT_GT(boss_killed, boss_struck);
}

TEST(EndToEnd, ClearingTheThirdStageRaisesTheLevelAndWelcomesItOnTheTitle) {
    int start_y = 268;  // player_y as the frame began
    int64_t level_up = -1;
    bool welcomed = false;
    play_script("playthrough.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        if (level_up < 0 && world.level == 2) {
            level_up = frame.index;
            EXPECT_FALSE(world.in_play);
            EXPECT_EQ(world.stage_index, 0);
            EXPECT_EQ(world.player_health, 100);
            EXPECT_EQ(world.player_y, start_y) << "the level-up keeps player_y";
            EXPECT_EQ(count_live_enemies(), 0) << "the boss is gone";
        }
        if (level_up >= 0 && frame.index > level_up) {
            EXPECT_FALSE(world.in_play);
            const std::optional<TextRun> welcome = frame.text("welcome to level 2");
            welcomed |= welcome.has_value() && welcome->x == 150 && welcome->y == 500;
        }
        start_y = world.player_y;
    });
    EXPECT_GE(level_up, 0) << "the level never rose";
    EXPECT_TRUE(welcomed) << "no \"welcome to level 2\" on the title screen";
}

TEST(EndToEnd, EscapeEndsTheRunAfterItsOwnFrameAndShutsTheGameDown) {
    int64_t last_frame = -1;
    int reports_marked_last = 0;
    replay::Script script;
    ASSERT_TRUE(load_tracked_script("escape.txt", script));
    replay::RunSettings settings;
    settings.record_draws = true;
    settings.after_frame = [&](const replay::FrameReport& report) {
        last_frame = report.frame;
        reports_marked_last += report.last;
        if (report.last) {
            EXPECT_NE(world.keys[DIK_ESCAPE], 0);
            EXPECT_NE(world.d3d_device, nullptr) << "shut down before the last frame was reported";
        }
    };
    const replay::RunOutcome outcome = replay::play(script, settings);
    EXPECT_TRUE(outcome.stopped_by_game);
    EXPECT_EQ(outcome.frames, 7);
    EXPECT_EQ(last_frame, 6);
    EXPECT_EQ(reports_marked_last, 1);
    EXPECT_EQ(world.player_x, 16) << "the Escape frame was played in full";
    EXPECT_EQ(world.d3d_device, nullptr);
    EXPECT_EQ(world.keyboard_device, nullptr);
    EXPECT_EQ(world.mouse_device, nullptr);
}

}  // namespace
