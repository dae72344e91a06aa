// The replays' view of the game's state (replays/game_probe.h), for every program that records
// or watches: it reads the World and the generator, and for watching puts a saved state back.
// Linked as an object of its own, it installs itself before main runs.
#include "replays/game_probe.h"
#include "replays/replay_file.h"

#include <cstring>

#include "world/world.h"

namespace {

void read_facts(replays::GameFacts& facts) {
    facts.score = world.score;
    facts.high_score = world.high_score;
    facts.level = world.level;
    facts.in_play = world.in_play;
    facts.quit_requested = world.quit_requested;
}

// Field by field, so that padding, pointers and the assets' own sizes stay out of it: what
// the game has made of its input since it started, and nothing else.
std::uint64_t digest_state() {
    replays::Digest digest;
    digest.add(zv::rand_state());
    digest.add_bytes(world.keys, sizeof world.keys);
    digest.add_bytes(world.prev_keys, sizeof world.prev_keys);
    for (int32_t value : {world.cursor_x, world.cursor_y, world.mouse_left, world.mouse_right, world.prev_mouse_left,
                          world.prev_mouse_right, world.cursor_bounds.left, world.cursor_bounds.top,
                          world.cursor_bounds.right, world.cursor_bounds.bottom})
        digest.add_signed(value);
    digest.add(world.in_play);
    for (int32_t value : {world.level, world.stage_index, world.script_cursor, world.camera_x, world.camera_y,
                          world.score, world.high_score, world.fade_alpha, world.player_x, world.player_y,
                          world.player_health, world.bullet_cooldown, world.rocket_cooldown, world.rocket_ammo})
        digest.add_signed(value);
    for (const Star& star : world.stars) {
        for (int32_t value : {star.x, star.y, star.z, star.brightness}) digest.add_signed(value);
    }
    for (const Bullet* group : {static_cast<const Bullet*>(world.bullets), static_cast<const Bullet*>(world.rockets)}) {
        const int count = group == world.bullets ? BULLET_COUNT : ROCKET_COUNT;
        for (int i = 0; i < count; ++i) {
            const Bullet& shot = group[i];
            for (int32_t value : {shot.vx, shot.vy, shot.x, shot.y, static_cast<int32_t>(shot.active)})
                digest.add_signed(value);
        }
    }
    for (const Enemy& enemy : world.enemies) {
        for (int32_t value : {enemy.kind, enemy.vx, enemy.vy, enemy.x, enemy.y, static_cast<int32_t>(enemy.active),
                              enemy.boss_hp, enemy.hp, enemy.death_frames})
            digest.add_signed(value);
    }
    for (const Explosion& explosion : world.explosions) {
        for (int32_t value : {explosion.x, explosion.y, explosion.age, static_cast<int32_t>(explosion.active)})
            digest.add_signed(value);
    }
    const Medkit& medkit = world.medkit;
    for (int32_t value : {medkit.x, medkit.y, static_cast<int32_t>(medkit.visible), medkit.respawn_countdown,
                          medkit.vx, medkit.vy})
        digest.add_signed(value);
    return digest.value();
}

struct Snapshot {
    World world;
    uint32_t generator;
};

void save_snapshot(void* to) {
    Snapshot* snapshot = static_cast<Snapshot*>(to);
    std::memcpy(static_cast<void*>(&snapshot->world), static_cast<const void*>(&world), sizeof(World));
    snapshot->generator = zv::rand_state();
}

void restore_snapshot(const void* from) {
    const Snapshot* snapshot = static_cast<const Snapshot*>(from);
    std::memcpy(static_cast<void*>(&world), static_cast<const void*>(&snapshot->world), sizeof(World));
    zv::set_rand_state(snapshot->generator);
}

const replays::GameProbe probe = {read_facts, digest_state, sizeof(Snapshot), save_snapshot, restore_snapshot};

}  // namespace

namespace replays {

void install_game_probe() { set_game_probe(&probe); }

}  // namespace replays

namespace {
// Before main: the programs that link this object record and watch with it.
const bool installed = [] {
    replays::install_game_probe();
    return true;
}();
}  // namespace
