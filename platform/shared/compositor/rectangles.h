// The compositor's batch of rectangles (rectangles.cpp): one waiting quad with everything its
// rows need, for the compositor's own members.
#pragma once

#include "compositor.h"
#include "pixel_math.h"

namespace platform {

// A rectangle waiting in the batch, with everything its rows need.
struct Compositor::Pending {
    int left, top, right, bottom;  // the pixels it covers, clipped
    compositing::BlendOp op;
    compositing::SpanConstants k;
    bool textured, modulated, contiguous;
    TextureView texture;
    int texel_x, texel_y;  // where its texel columns and rows start in the arena
    int lowest_x, highest_x;  // the texel columns it reads, at either end
    int slot;              // its own prepared row, kept from band to band; -1: the shared one
};

}  // namespace platform
