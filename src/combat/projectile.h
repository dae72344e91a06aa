// What bullets and rockets share: the launch from the player's centre and the hit rules. A
// projectile is a point; each weapon tests it against every live enemy, first with its own box
// and then with the boss's.
#pragma once

#include <cstdint>

#include "combat/bullets.h"
#include "world/records.h"

// The lowest free slot of a projectile table, or -1 when every slot is in flight.
int32_t first_free_slot(const Bullet* slots, int32_t count);

// Puts a projectile in flight from the player's centre with the given velocity.
void launch_from_player(Bullet& shot, Velocity aim);

// Whether (x, y) lies in the box of this size from the enemy's top-left corner, edges included.
bool in_enemy_box(const Enemy& enemy, int32_t x, int32_t y, int32_t width, int32_t height);

// Takes damage from the enemy's hp; at 0 or below frees its slot and explodes it there.
// Returns whether it died.
bool wound_enemy(Enemy& enemy, int32_t damage);

// The boss test that follows each weapon's own test: a boss still live after it, with (x, y)
// in its box, loses damage from boss_hp and at 0 or below is freed and explodes. Returns
// whether it died; the award and what becomes of the projectile are the weapon's.
bool strike_boss(Enemy& enemy, int32_t x, int32_t y, int32_t damage);
