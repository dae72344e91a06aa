// The game's icon for desktops and for the Windows exe, made from the player's ship sprite.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "assetgen/image.h"

namespace assetgen {

// The square sizes the desktops' icon themes and Windows ask for, smallest first.
const std::vector<int>& icon_sizes();

// The icon at size x size pixels: the ship on a round night-sky badge.
Image draw_icon(int size);

// A Windows .ico holding one PNG-compressed picture per size.
std::vector<uint8_t> encode_ico(const std::vector<Image>& pictures);

// Writes zorvalen-SIZE.png for every size and zorvalen.ico into dir, creating it if needed, and the
// Windows setup program's pictures, zorvalen-setup-side.bmp and zorvalen-setup-header.bmp.
void write_icons(const std::filesystem::path& dir);

}  // namespace assetgen
