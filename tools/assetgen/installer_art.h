// The Windows setup program's pictures, in the game's own look: the tall one beside its welcome
// and finish pages, the small one at the top of the others.
#pragma once

#include "assetgen/image.h"

namespace assetgen {

constexpr int kSetupSideWidth = 164, kSetupSideHeight = 314;     // the sizes the setup's pages
constexpr int kSetupHeaderWidth = 150, kSetupHeaderHeight = 57;  // show without stretching

// Opaque: the setup program takes 24-bit BMPs.
Image draw_setup_side();
Image draw_setup_header();

}  // namespace assetgen
