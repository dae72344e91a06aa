// Bullets, the crosshair and the aim shared with the rockets.
#pragma once

#include <cstdint>

struct Velocity {
    int32_t vx;
    int32_t vy;
};

// Speed 25 from the player's centre toward the cursor's world point.
Velocity aim_velocity();
void init_bullets();
void update_bullets();
