// End-to-end play: the scripts in tests/scripts played through the real game by the replay runner,
// checked against the World and the quads each frame drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <headless.h>

#include "json_lines.h"
#include "runner.h"
#include "script.h"
#include "world/world.h"

namespace {

// Beside the test data directory, which need not exist.
const std::string script_dir = std::filesystem::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/scripts/";

struct TextRun {
    int x = 0;
    int y = 0;
    int scale = 0;
    std::uint32_t color = 0;
    std::string text;
};

// The character whose glyph starts at this texture column of the font strip.
char glyph_at(float u0) {
    const long column = std::lround(u0 * static_cast<float>(world.font.strip_width));
    for (int c = 32; c < 128; ++c) {
        if (world.font.glyph_start[c] == column) return static_cast<char>(c);
    }
    return '?';
}

// One frame of a replay, looked at while the game is still running.
class Frame {
public:
    Frame(int64_t index, bool last, const replay::TextureNames& names) : index(index), last(last), names_(names) {}

    const int64_t index;
    const bool last;

    std::vector<replay::QuadView> draws() const {
        const headless::DrawLog log = headless::presented_draws();
        EXPECT_EQ(log.dropped, 0) << "frame " << index;
        std::vector<replay::QuadView> views;
        views.reserve(static_cast<std::size_t>(log.count));
        for (int i = 0; i < log.count; ++i) views.push_back(replay::view_of(log.quads[i], names_));
        return views;
    }

    // The strings drawn this frame, read back from the glyph quads: one run per draw_text call.
    std::vector<TextRun> texts() const {
        std::vector<TextRun> runs;
        float next_x = 0;
        bool previous_was_glyph = false;
        const int cell_height = world.font.strip_height + 1;
        for (const replay::QuadView& q : draws()) {
            const bool glyph = q.tex != nullptr && std::strcmp(q.tex, "font.raw") == 0;
            if (glyph) {
                const int scale = static_cast<int>(q.h) / cell_height;
                TextRun* run = runs.empty() ? nullptr : &runs.back();
                if (run == nullptr || !previous_was_glyph || run->y != static_cast<int>(q.y) || run->color != q.color ||
                    run->scale != scale || q.x != next_x) {
                    runs.push_back(TextRun{static_cast<int>(q.x), static_cast<int>(q.y), scale, q.color, ""});
                    run = &runs.back();
                }
                run->text.push_back(glyph_at(q.u0));
                // The pen moves by the glyph's width plus the spacing; the quad is one column wider.
                next_x = q.x + q.w + static_cast<float>(scale * (world.font.spacing - 1));
            }
            previous_was_glyph = glyph;
        }
        return runs;
    }

    std::optional<TextRun> text(const std::string& wanted) const {
        for (const TextRun& run : texts()) {
            if (run.text == wanted) return run;
        }
        return std::nullopt;
    }

    std::vector<replay::QuadView> quads_of(const char* file) const {
        std::vector<replay::QuadView> found;
        for (const replay::QuadView& q : draws()) {
            if (q.tex != nullptr && std::strcmp(q.tex, file) == 0) found.push_back(q);
        }
        return found;
    }

    // Position in the drawing order of the first quad with this texture; -1 if none.
    int first_index_of(const char* file) const {
        const std::vector<replay::QuadView> all = draws();
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].tex != nullptr && std::strcmp(all[i].tex, file) == 0) return static_cast<int>(i);
        }
        return -1;
    }

private:
    const replay::TextureNames& names_;
};

int live_enemies() {
    int count = 0;
    for (const Enemy& e : world.enemies) count += e.active == 1;
    return count;
}

int64_t stars_z_sum() {
    int64_t sum = 0;
    for (const Star& s : world.stars) sum += s.z;
    return sum;
}

// The shared generator's recurrence, to tell how many numbers the game drew.
uint32_t advance_rand(uint32_t state, int draws) {
    for (int i = 0; i < draws; ++i) state = state * 214013u + 2531011u;
    return state;
}

// Plays tests/scripts/<name> from a fresh start; `watch` sees every frame while the game runs.
replay::RunOutcome play_script(const std::string& name, const std::function<void(const Frame&)>& watch,
                               const replay::RunSettings& base = replay::RunSettings{}) {
    std::error_code failure;
    std::filesystem::current_path(ZORVALEN_ASSET_DIR, failure);
    EXPECT_FALSE(failure) << "no asset directory " << ZORVALEN_ASSET_DIR;

    replay::Script script;
    std::string error;
    if (!replay::load_script_file(script_dir + name, script, error)) {
        ADD_FAILURE() << error;
        return {};
    }
    replay::TextureNames names;
    bool named = false;
    replay::RunSettings settings = base;
    settings.record_draws = true;
    settings.after_frame = [&](const replay::FrameReport& report) {
        if (!named) names.learn_from_world();  // textures are loaded once, at start-up
        named = true;
        watch(Frame(report.frame, report.last, names));
    };
    const replay::RunOutcome outcome = replay::play(script, settings);
    EXPECT_TRUE(outcome.started) << "the game did not start";
    EXPECT_EQ(outcome.frames, script.frame_count()) << name << " did not play to its end";
    return outcome;
}

TEST(EndToEnd, TitleScreenShowsItsPictureAndLevelLineOverAFrozenWorld) {
    // Start-up draws 60,000 numbers for the stars, 4 for the medkit and 1,500 for the enemy slots.
    const uint32_t after_start_up = advance_rand(1, 60000 + 4 + 1500);
    int64_t first_z_sum = -1;
    play_script("title.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        EXPECT_FALSE(world.in_play);
        EXPECT_EQ(world.level, 1);
        EXPECT_EQ(world.player_x, 0);
        EXPECT_EQ(world.player_y, 268);
        EXPECT_EQ(world.player_health, 100);
        EXPECT_EQ(world.rocket_ammo, 3);
        EXPECT_EQ(live_enemies(), 0);
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

        const std::vector<TextRun> texts = frame.texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, "welcome to level 1");
        EXPECT_EQ(texts[0].x, 150);
        EXPECT_EQ(texts[0].y, 500);
        EXPECT_EQ(texts[0].scale, 4);
        EXPECT_EQ(texts[0].color, 0xFF000000u);
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
            EXPECT_EQ(live_enemies(), 0);
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

TEST(EndToEnd, DeathFadesToBlackAndAFreshClickRestartsTheLevel) {
    int64_t died = -1;
    int64_t restarted = -1;
    int score_at_death = 0;
    int x_at_death = 0;
    play_script("death_restart.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        if (died < 0 && world.player_health == 0) {
            died = frame.index;
            score_at_death = world.score;
            x_at_death = world.player_x;
            EXPECT_GT(score_at_death, 0);
        }
        // Only the click heals fully: a medkit gives 10 at a time.
        if (died >= 0 && restarted < 0 && world.player_health == 100) restarted = frame.index;

        if (died < 0) {
            EXPECT_EQ(world.fade_alpha, 0);
            if (frame.index % 20 == 0) {
                EXPECT_FALSE(frame.text("YOU LOSE! HAHA PWNT!").has_value());
            }
        } else if (restarted < 0 || frame.index == restarted) {
            // Dead, and still on the restart's own frame: the overlay deepens by 5 a frame up to opaque.
            const int fade = static_cast<int>(std::min<int64_t>(255, 5 * (frame.index - died + 1)));
            if (restarted < 0) {
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
            const std::optional<TextRun> lose = frame.text("YOU LOSE! HAHA PWNT!");
            ASSERT_TRUE(lose.has_value());
            EXPECT_EQ(lose->x, 100);
            EXPECT_EQ(lose->y, 256);
            EXPECT_EQ(lose->scale, 4);
            EXPECT_EQ(lose->color, 0xFFFF0000u);
            const std::optional<TextRun> click = frame.text("(CLICK TO RESTART)");
            ASSERT_TRUE(click.has_value());
            EXPECT_EQ(click->x, 270);
            EXPECT_EQ(click->y, 330);
            EXPECT_EQ(click->scale, 2);
            EXPECT_EQ(click->color, 0xFFFFFFFFu);
        } else if (frame.index == restarted + 1) {
            EXPECT_EQ(world.fade_alpha, 0);
            EXPECT_FALSE(frame.text("YOU LOSE! HAHA PWNT!").has_value());
            EXPECT_TRUE(frame.text("HEALTH:").has_value());
            EXPECT_FALSE(frame.text("NEW HIGH SCORE!").has_value());
        }
        if (frame.index == restarted) {
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
            EXPECT_EQ(live_enemies(), 0);
        }
    });
    ASSERT_GE(died, 0) << "the player never died";
    ASSERT_GE(restarted, died + 51) << "the script means to click only once the screen is black";
    EXPECT_EQ(restarted, 475) << "the click of frame 475 was not taken";
}

TEST(EndToEnd, TheFirstLevelPlayedThroughStagesBossAndLevelUp) {
    struct Change {
        int64_t frame;
        int from;
        int to;
    };
    std::vector<Change> stage_changes;
    int stage = 0;
    int start_x = 0;  // player_x as the frame began
    int start_y = 268;
    int start_health = 100;
    int score_before = 0;
    uint32_t rand_before = 0;
    int64_t boss_out = -1;
    int64_t boss_struck = -1;
    int64_t boss_killed = -1;
    int64_t level_up = -1;
    bool welcomed = false;
    bool boss_was_alive = false;
    play_script("playthrough.txt", [&](const Frame& frame) {
        SCOPED_TRACE("frame " + std::to_string(frame.index));
        if (world.stage_index != stage || (level_up < 0 && world.level == 2)) {
            stage_changes.push_back({frame.index, stage, world.stage_index});
            // A stage ends only with every enemy gone and the player at its right edge.
            const int width = world.stages[stage].width;
            EXPECT_EQ(live_enemies(), 0);
            EXPECT_GE(start_x, width - 64);
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
        if (level_up < 0 && world.level == 2) {
            level_up = frame.index;
            EXPECT_FALSE(world.in_play);
            EXPECT_EQ(world.stage_index, 0);
            EXPECT_EQ(world.player_health, 100);
            EXPECT_EQ(world.player_y, start_y) << "the level-up keeps player_y";
        }
        if (level_up >= 0 && frame.index > level_up) {
            EXPECT_FALSE(world.in_play);
            const std::optional<TextRun> welcome = frame.text("welcome to level 2");
            welcomed |= welcome.has_value() && welcome->x == 150 && welcome->y == 500;
        }

        // The boss: slot state, drawing and its one strike.
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
                EXPECT_EQ(zv::rand_state(), advance_rand(rand_before, 2));
                EXPECT_NE(drawn[0].x, drawn[1].x) << "seen at both places on the frame of the jump";
            } else {
                EXPECT_EQ(zv::rand_state(), rand_before) << "only the boss's jump draws numbers in play";
            }
        } else if (boss != nullptr && boss_was_alive) {
            boss_killed = frame.index;
            bool exploding = false;
            for (const Explosion& x : world.explosions) exploding |= x.active == 1 && x.age == 10;
            EXPECT_TRUE(exploding);
        }
        boss_was_alive = boss != nullptr && boss->active == 1;

        start_x = world.player_x;
        start_y = world.player_y;
        start_health = world.player_health;
        score_before = world.score;
        rand_before = zv::rand_state();
    });
    ASSERT_EQ(stage_changes.size(), 3u);
    EXPECT_EQ(stage_changes[0].from, 0);
    EXPECT_EQ(stage_changes[0].to, 1);
    EXPECT_EQ(stage_changes[1].to, 2);
    EXPECT_EQ(stage_changes[2].to, 0);
    EXPECT_GE(boss_out, stage_changes[1].frame);
    EXPECT_GT(boss_struck, boss_out);
    EXPECT_GT(boss_killed, boss_struck);
    EXPECT_GT(level_up, boss_killed);
    EXPECT_TRUE(welcomed) << "no \"welcome to level 2\" on the title screen";
}

TEST(EndToEnd, EscapeEndsTheRunAfterItsOwnFrameAndShutsTheGameDown) {
    int64_t last_frame = -1;
    int reports_marked_last = 0;
    replay::Script script;
    std::string error;
    ASSERT_TRUE(replay::load_script_file(script_dir + "escape.txt", script, error)) << error;
    std::error_code ignored;
    std::filesystem::current_path(ZORVALEN_ASSET_DIR, ignored);
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
