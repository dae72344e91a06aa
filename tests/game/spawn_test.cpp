#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <vector>

#include "support/game_fixture.h"
#include "support/world_setup.h"
#include "world/spawn.h"
#include "world/stages.h"
#include "world/world.h"

namespace {

struct ScriptTotals {
    int events;      // up to and including the first event that is neither a spawn nor a wait
    int spawns;
    int64_t opcode, a, b, c, d;
    int64_t abs_c, abs_d;  // the signed sums of c and d are 0 in most scripts, so these catch sign slips
    std::vector<int> wait_indices;
    std::vector<int> wait_marks;

    bool operator==(const ScriptTotals&) const = default;
};

void PrintTo(const ScriptTotals& t, std::ostream* out) {
    *out << "events " << t.events << ", spawns " << t.spawns << ", sums of opcode/a/b/c/d " << t.opcode << "/"
         << t.a << "/" << t.b << "/" << t.c << "/" << t.d << ", |c| " << t.abs_c << ", |d| " << t.abs_d
         << ", waits at " << testing::PrintToString(t.wait_indices) << " for x "
         << testing::PrintToString(t.wait_marks);
}

ScriptTotals totals_of(const SpawnEvent* script, int length) {
    ScriptTotals t{};
    for (int i = 0; i < length; ++i) {
        const SpawnEvent& e = script[i];
        EXPECT_EQ(e.reserved, 0) << "event " << i;
        ++t.events;
        t.opcode += e.opcode;
        t.a += e.a;
        t.b += e.b;
        t.c += e.c;
        t.d += e.d;
        t.abs_c += std::abs(e.c);
        t.abs_d += std::abs(e.d);
        if (e.opcode >= 0 && e.opcode <= 11) {
            ++t.spawns;
        } else if (e.opcode == OP_WAIT_X) {
            t.wait_indices.push_back(i);
            t.wait_marks.push_back(e.a);
        } else {
            EXPECT_EQ(e.opcode, OP_END) << "event " << i;
            break;
        }
    }
    return t;
}

// Sums over each level's table catch a changed, lost or swapped number anywhere in it.
TEST(SpawnScriptData, EachScriptMatchesItsLevelTable) {
    EXPECT_EQ(totals_of(spawn_script_0, SPAWN_SCRIPT_0_LENGTH),
              (ScriptTotals{52, 46, 582, 44864, 13936, 0, 0, 120, 120, {0, 5, 10, 15, 32}, {0, 224, 480, 896, 1408}}));
    EXPECT_EQ(totals_of(spawn_script_1, SPAWN_SCRIPT_1_LENGTH),
              (ScriptTotals{88, 84, 455, 74496, 24780, 144, 0, 504, 216, {0, 25, 74}, {64, 960, 1280}}));
    EXPECT_EQ(totals_of(spawn_script_2, SPAWN_SCRIPT_2_LENGTH),
              (ScriptTotals{37, 33, 412, 20164, 9600, -160, 0, 160, 160, {0, 1, 34}, {64, 0, 2400}}));
}

TEST(SpawnScriptData, Script2ReleasesTheBossAtRestAt2500By200) {
    const SpawnEvent& boss = spawn_script_2[35];
    EXPECT_EQ(boss.opcode, manbearpig);
    EXPECT_EQ(boss.a, 2500);
    EXPECT_EQ(boss.b, 200);
    EXPECT_EQ(boss.c, 0);
    EXPECT_EQ(boss.d, 0);
}

// A slot as a spawn event leaves it: live, of this kind, at this place and velocity, with
// full hit points.
void expect_spawned(const Enemy& e, int32_t kind, int32_t x, int32_t y, int32_t vx, int32_t vy) {
    EXPECT_EQ(e.active, 1);
    EXPECT_EQ(e.kind, kind);
    EXPECT_EQ(e.x, x);
    EXPECT_EQ(e.y, y);
    EXPECT_EQ(e.vx, vx);
    EXPECT_EQ(e.vy, vy);
    EXPECT_EQ(e.hp, 3);
    EXPECT_EQ(e.boss_hp, 50);
}

class SpawnTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_stages();
        reset_script_cursor();
        world.in_play = true;
        world.level = 1;
    }

    static void run_frames(int n) {
        for (int i = 0; i < n; ++i) run_spawn_script();
    }
};

TEST_F(SpawnTest, StagesAreBoundToTheirScriptsInOrder) {
    EXPECT_EQ(world.stages[0].script, spawn_script_0);
    EXPECT_EQ(world.stages[1].script, spawn_script_1);
    EXPECT_EQ(world.stages[2].script, spawn_script_2);
}

TEST_F(SpawnTest, NothingSpawnsUntilThePlayerHasMovedRight) {
    world.player_x = 0;
    run_frames(20);
    EXPECT_EQ(world.script_cursor, 0);
    EXPECT_EQ(count_live_enemies(), 0);

    world.player_x = 1;
    run_spawn_script();  // the wait itself takes this frame
    EXPECT_EQ(world.script_cursor, 1);
    EXPECT_EQ(count_live_enemies(), 0);

    world.enemies[0].death_frames = 17;
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 2);
    expect_spawned(world.enemies[0], eGreen, 64, 118, 0, -5);
    EXPECT_EQ(world.enemies[0].death_frames, 17) << "a spawn leaves the kill-message age alone";
}

TEST_F(SpawnTest, OneEventPerFrameIntoTheLowestFreeSlots) {
    world.player_x = 1;
    world.enemies[0].active = 1;
    world.enemies[2].active = 1;
    set_script_cursor(1);
    run_spawn_script();
    EXPECT_EQ(world.enemies[1].active, 1);
    EXPECT_EQ(world.enemies[1].kind, eGreen);
    EXPECT_EQ(world.enemies[3].active, 0);
    run_spawn_script();
    EXPECT_EQ(world.enemies[3].active, 1);
    EXPECT_EQ(world.enemies[3].kind, eBlue);
    EXPECT_EQ(world.enemies[3].vx, 5);
    EXPECT_EQ(world.script_cursor, 3);
}

TEST_F(SpawnTest, AWaitIsPassedOnlyStrictlyBeyondItsMarkAndStillCostsAFrame) {
    set_script_cursor(5);  // waits for x > 224
    world.player_x = 224;
    run_frames(3);
    EXPECT_EQ(world.script_cursor, 5);

    world.player_x = 1000;  // far past the mark: still one frame for the wait alone
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 6);
    EXPECT_EQ(count_live_enemies(), 0);
    run_spawn_script();
    EXPECT_EQ(count_live_enemies(), 1);
}

TEST_F(SpawnTest, Script2WaitsTwiceBeforeItsFirstWave) {
    world.stage_index = 2;
    world.player_x = 64;
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 0);
    world.player_x = 65;
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 1);
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 2);
    EXPECT_EQ(count_live_enemies(), 0);
}

TEST_F(SpawnTest, TheBossAppearsAfterTheLastMarkOfStage2) {
    world.stage_index = 2;
    set_script_cursor(34);
    world.player_x = 2400;
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 34);
    world.player_x = 2401;
    run_frames(2);
    expect_spawned(world.enemies[0], manbearpig, 2500, 200, 0, 0);
    EXPECT_EQ(world.script_cursor, 36);
    run_frames(10);
    EXPECT_EQ(world.script_cursor, 36) << "the end event holds the cursor";
    EXPECT_EQ(count_live_enemies(), 1);
}

TEST_F(SpawnTest, ASpawnWithTheTableFullIsConsumedAndDropped) {
    for (Enemy& e : world.enemies) {
        e.active = 1;
        e.kind = eWhite;
        e.x = 7;
    }
    set_script_cursor(1);
    world.player_x = 1;
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 2);
    for (const Enemy& e : world.enemies) {
        ASSERT_EQ(e.kind, eWhite);
        ASSERT_EQ(e.x, 7);
    }
    world.enemies[ENEMY_COUNT - 1].active = 0;  // the very last slot is found too
    run_spawn_script();
    EXPECT_EQ(world.enemies[ENEMY_COUNT - 1].active, 1);
    EXPECT_EQ(world.enemies[ENEMY_COUNT - 1].kind, eBlue);
}

TEST_F(SpawnTest, JumpsRunTheirTargetNextFrameAndUnknownOpcodesEndTheScript) {
    const SpawnEvent script[] = {
        {0, 10, 11, 22, 1, 2},       // a spawn of a kind without an image is still a spawn
        {0, OP_JUMP, 0, 0, 0, 0},
        {0, 12, 0, 0, 0, 0},
        {0, 100, 0, 0, 0, 0},
        {0, 103, 0, 0, 0, 0},
        {0, -7, 0, 0, 0, 0},
    };
    world.stages[0].script = script;

    run_spawn_script();
    EXPECT_EQ(world.enemies[0].kind, 10);
    EXPECT_EQ(world.enemies[0].x, 11);
    EXPECT_EQ(world.script_cursor, 1);
    run_spawn_script();
    EXPECT_EQ(world.script_cursor, 0);
    EXPECT_EQ(count_live_enemies(), 1) << "the jump itself spawns nothing";
    run_spawn_script();
    EXPECT_EQ(count_live_enemies(), 2);

    for (int index = 2; index <= 5; ++index) {
        set_script_cursor(index);
        world.player_x = 5000;
        run_frames(3);
        EXPECT_EQ(world.script_cursor, index) << "opcode " << script[index].opcode;
    }
    EXPECT_EQ(count_live_enemies(), 2);
}

}  // namespace
