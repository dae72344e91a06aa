// The game's records, held in the fixed arrays of the World.
#pragma once

#include <cstdint>

#include "gfx/sprite.h"

struct SpawnEvent {
    int32_t reserved;
    int32_t opcode;
    int32_t a;
    int32_t b;
    int32_t c;
    int32_t d;
};

constexpr int32_t OP_JUMP = 101;
constexpr int32_t OP_WAIT_X = 102;
constexpr int32_t OP_END = -1;

constexpr int32_t STAGE_COUNT = 3;  // three stages make a level

struct Stage {
    Sprite sprite;
    int32_t width;
    int32_t height;
    const SpawnEvent* script;  // not owned: constant level data
};

enum EnemyKind : int32_t {
    eRed = 0,
    eGreen = 1,
    eBlue = 2,
    eWhite = 3,
    eThinGrey = 4,
    eThinDark = 5,
    manbearpig = 11,
};
constexpr int32_t ENEMY_SPRITE_COUNT = 7;  // one image per kind that has one, the boss's last

struct Enemy {
    int32_t kind;
    int32_t vx;
    int32_t vy;
    int32_t x;
    int32_t y;
    uint8_t active;
    int32_t boss_hp;
    int32_t hp;
    int32_t death_frames;
};

// The weapons treat every kind from the boss's code up as the boss.
constexpr int32_t BOSS_KIND = manbearpig;

// Hit boxes, from the top-left corner, both edges included. An enemy's body is also the size
// it bounces by; the boss's box reaches below its body, which is its upper square.
constexpr int32_t ENEMY_BOX = 64;
constexpr int32_t BOSS_BOX_WIDTH = 64;
constexpr int32_t BOSS_BOX_HEIGHT = 128;

// The player is a box of this size at (player_x, player_y); shots start at its centre.
constexpr int32_t PLAYER_BOX = 64;
constexpr int32_t PLAYER_CENTRE = PLAYER_BOX / 2;

// Bullets and rockets share one record; a projectile is a point at (x, y).
struct Bullet {
    int32_t vx;
    int32_t vy;
    int32_t x;
    int32_t y;
    uint8_t active;
};
using Rocket = Bullet;

struct Explosion {
    int32_t x;
    int32_t y;
    int32_t age;
    uint8_t active;
};

struct Medkit {
    int32_t x;
    int32_t y;
    uint8_t visible;
    int32_t respawn_countdown;
    int32_t vx;
    int32_t vy;
};

struct Star {
    int32_t x;
    int32_t y;
    int32_t z;
    int32_t brightness;
};
