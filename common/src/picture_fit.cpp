#include "common/picture_fit.h"

#include <algorithm>
#include <cstdint>

PictureFit fit_picture(int picture_width, int picture_height, int area_width, int area_height) {
    PictureFit fit;
    if (picture_width <= 0 || picture_height <= 0 || area_width <= 0 || area_height <= 0) return fit;
    // Compare the shapes in 64 bits: the products of two sizes can pass 2^31 on huge displays.
    const std::int64_t wide = static_cast<std::int64_t>(area_width) * picture_height;
    const std::int64_t tall = static_cast<std::int64_t>(area_height) * picture_width;
    if (wide <= tall) {  // the width decides; bars above and below
        fit.target.width = area_width;
        fit.target.height = static_cast<int>(wide / picture_width);
    } else {  // the height decides; bars left and right
        fit.target.height = area_height;
        fit.target.width = static_cast<int>(tall / picture_height);
    }
    fit.target.x = (area_width - fit.target.width) / 2;
    fit.target.y = (area_height - fit.target.height) / 2;
    if (fit.target.width % picture_width == 0 && fit.target.height % picture_height == 0 &&
        fit.target.width / picture_width == fit.target.height / picture_height)
        fit.whole_factor = fit.target.width / picture_width;
    return fit;
}

PictureFit fit_whole_picture(int picture_width, int picture_height, int area_width, int area_height) {
    if (picture_width <= 0 || picture_height <= 0) return PictureFit{};
    const int factor = std::min(area_width / picture_width, area_height / picture_height);
    if (factor < 1) return fit_picture(picture_width, picture_height, area_width, area_height);
    PictureFit fit;
    fit.target.width = picture_width * factor;
    fit.target.height = picture_height * factor;
    fit.target.x = (area_width - fit.target.width) / 2;
    fit.target.y = (area_height - fit.target.height) / 2;
    fit.whole_factor = factor;
    return fit;
}

int bars_around(const PixelRect& target, int area_width, int area_height, PixelRect bars[4]) {
    int count = 0;
    auto add = [&](int x, int y, int width, int height) {
        if (width > 0 && height > 0) bars[count++] = PixelRect{x, y, width, height};
    };
    const int right = target.x + target.width;
    const int bottom = target.y + target.height;
    add(0, target.y, target.x, target.height);
    add(right, target.y, area_width - right, target.height);
    add(0, 0, area_width, target.y);
    add(0, bottom, area_width, area_height - bottom);
    return count;
}

int sharp_prescale(int picture_width, int picture_height, const PixelRect& target) {
    if (picture_width <= 0 || picture_height <= 0) return 1;
    const int across = (target.width + picture_width - 1) / picture_width;
    const int down = (target.height + picture_height - 1) / picture_height;
    return std::max(1, std::max(across, down));
}

void fit_window_size(int* width, int* height, int usable_width, int usable_height) {
    if (*width <= 0 || *height <= 0 || usable_width <= 0 || usable_height <= 0) return;
    if (*width <= usable_width && *height <= usable_height) return;
    const PictureFit fit = fit_picture(*width, *height, usable_width, usable_height);
    *width = std::max(1, fit.target.width);
    *height = std::max(1, fit.target.height);
}
