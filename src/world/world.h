// The one record of all game state, in static storage for the whole run.
#pragma once

#include <cstdint>

#include <windows.h>
#include <d3d9.h>
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

#include "gfx/font.h"
#include "gfx/sprite.h"
#include "sound/sound.h"
#include "world/records.h"

// The capacities bound how many of each can exist at once: they are part of the game.
constexpr int32_t STAR_COUNT = 15000;
constexpr int32_t BULLET_COUNT = 100;
constexpr int32_t ROCKET_COUNT = 3;
constexpr int32_t ENEMY_COUNT = 500;
constexpr int32_t EXPLOSION_COUNT = 30;

struct CursorBounds {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct World {
    // Application and platform
    HINSTANCE app_instance;
    HWND main_window;
    bool quit_requested;
    IDirect3D9* d3d_object;
    IDirect3DDevice9* d3d_device;
    int32_t screen_width;
    int32_t screen_height;
    IDirectSound8* sound_device;

    // Input
    uint8_t keys[256];
    uint8_t prev_keys[256];
    int32_t cursor_x;
    int32_t cursor_y;
    int32_t mouse_left;
    int32_t mouse_right;
    int32_t prev_mouse_left;
    int32_t prev_mouse_right;
    CursorBounds cursor_bounds;
    IDirectInput8A* keyboard_input;
    IDirectInputDevice8A* keyboard_device;
    bool keyboard_ready;
    IDirectInput8A* mouse_input;
    IDirectInputDevice8A* mouse_device;
    bool mouse_ready;

    // Progress, camera and score
    bool in_play;
    int32_t level;
    int32_t stage_index;
    int32_t script_cursor;
    int32_t camera_x;
    int32_t camera_y;
    int32_t score;
    int32_t high_score;
    int32_t fade_alpha;

    // Player and weapons
    int32_t player_x;
    int32_t player_y;
    int32_t player_health;
    int32_t bullet_cooldown;
    int32_t rocket_cooldown;
    int32_t rocket_ammo;

    // Fixed-capacity arrays
    Star stars[STAR_COUNT];
    Bullet bullets[BULLET_COUNT];
    Rocket rockets[ROCKET_COUNT];
    Enemy enemies[ENEMY_COUNT];
    Explosion explosions[EXPLOSION_COUNT];
    Stage stages[STAGE_COUNT];
    Medkit medkit;

    // Loaded assets
    BitmapFont font;
    SoundBuffer music;
    Sprite title_sprite;
    Sprite player_sprite;
    Sprite bullet_sprite;
    Sprite crosshair_sprite;
    SoundBuffer bullet_sound;
    Sprite rocket_sprite;
    Sprite rocket_crosshair_sprite;
    SoundBuffer rocket_sound;
    Sprite explosion_sprite;
    SoundBuffer explosion_sound;
    Sprite medkit_sprite;
    Sprite enemy_sprites[ENEMY_SPRITE_COUNT];
};

extern World world;

// 32-bit arithmetic that wraps modulo 2^32 instead of overflowing. The score only grows between
// restarts: a year of play without dying can carry it past 2^31, and there it wraps round, as the
// plain sum did on the machines the game was written for. Every result that fits is unchanged.
inline int32_t wrapping_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrapping_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The one pseudo-random generator of the whole program: state starts at 1 and is
// never reseeded, so every run draws the same sequence.
namespace zv {
int32_t rand();
uint32_t rand_state();
void set_rand_state(uint32_t state);  // for tests and tools that replay from a known point
}  // namespace zv
