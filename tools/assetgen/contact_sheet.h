// One picture showing every asset, for people to judge the art at a glance.
#pragma once

#include <cstdint>
#include <vector>

#include "assetgen/image.h"

namespace assetgen {

Image draw_contact_sheet();
std::vector<uint8_t> contact_sheet_png();

}  // namespace assetgen
