// The game's sprites, drawn in one style: rounded, top-left lit bodies with dark inked rims.
#pragma once

#include "assetgen/image.h"

namespace assetgen {

Image draw_player();        // 64 x 64, facing right
Image draw_enemy_red();     // 64 x 64 homing hunter
Image draw_enemy_green();   // 64 x 64
Image draw_enemy_blue();    // 64 x 64
Image draw_enemy_white();   // 64 x 64
Image draw_enemy_thin_grey();  // narrow, on a 64 x 64 canvas
Image draw_enemy_thin_dark();  // narrow, on a 64 x 64 canvas
Image draw_boss();          // 64 x 128, facing left
Image draw_bullet();        // 8 x 8
Image draw_rocket();        // 16 x 16
Image draw_crosshair();     // hot spot at its top-left pixel
Image draw_medkit();        // 32 x 32
Image draw_explosion();     // soft fireball, transparent rim

}  // namespace assetgen
