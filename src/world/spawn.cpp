#include "world/spawn.h"

#include "world/world.h"

namespace {

constexpr int32_t LAST_SPAWN_OPCODE = 11;

void spawn_enemy(const SpawnEvent& event) {
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 0) continue;
        enemy.active = 1;
        enemy.kind = event.opcode;
        enemy.x = event.a;
        enemy.y = event.b;
        enemy.vx = event.c;
        enemy.vy = event.d;
        enemy.boss_hp = 50;
        enemy.hp = 3;
        // death_frames is left alone: only a bullet hit restarts the kill message's fade.
        return;
    }
}

}  // namespace

void set_script_cursor(int32_t index) { world.script_cursor = index; }

void reset_script_cursor() { set_script_cursor(0); }

void run_spawn_script() {
    const SpawnEvent& event = world.stages[world.stage_index].script[world.script_cursor];
    if (event.opcode >= 0 && event.opcode <= LAST_SPAWN_OPCODE) {
        spawn_enemy(event);
        // Consumed even when the table is full: that enemy is simply never placed.
        set_script_cursor(world.script_cursor + 1);
    } else if (event.opcode == OP_JUMP) {
        set_script_cursor(event.a);
    } else if (event.opcode == OP_WAIT_X) {
        if (world.player_x > event.a) set_script_cursor(world.script_cursor + 1);
    }
    // Any other opcode ends the script: the cursor stays on it for the rest of the stage.
}
