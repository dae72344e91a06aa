#include "assetgen/installer_art.h"

#include <algorithm>

#include "assetgen/display_font.h"
#include "assetgen/noise.h"
#include "assetgen/paint.h"
#include "assetgen/sprites.h"

namespace assetgen {

namespace {

// The night sky the game is played against, darker at the bottom, with a scatter of stars.
void paint_sky(Image& img, uint64_t seed, int stars)
{
    const Rgba top = hex(0x2a347a), bottom = hex(0x05060f);
    for (int y = 0; y < img.height(); ++y) {
        const Rgba row = mix(top, bottom, smoothstep(0.0f, float(img.height()), float(y)));
        for (int x = 0; x < img.width(); ++x) img.at(x, y) = row;
    }
    Rng rng(seed);
    for (int i = 0; i < stars; ++i) {
        const float x = rng.range(0.0f, float(img.width())), y = rng.range(0.0f, float(img.height()));
        const float r = rng.range(0.4f, 1.3f);
        const Rgba colour = mix(hex(0xdfe8ff), hex(0xffe2b0), rng.uniform());
        paint(img, circle(x, y, r), light(colour));
        if (r > 1.0f) glow(img, circle(x, y, r), colour, 4.0f, 0.3f);
    }
}

// The player's ship as the game draws it, enlarged to `width` pixels, nose to the right.
void draw_ship(Image& img, int width, int x, int y)
{
    const Image ship = draw_player();
    const int crop_y = 10, crop_w = 62, crop_h = 46;
    Image hull(crop_w, crop_h);
    for (int row = 0; row < crop_h; ++row)
        for (int col = 0; col < crop_w; ++col) hull.at(col, row) = ship.at(col, crop_y + row);
    img.draw(hull.resized(width, width * crop_h / crop_w), x, y);
}

// The title's chrome lettering, as wide as `width` and centred on it.
void paint_name(Image& img, float width, float y)
{
    const float probe = display_text("ZORVALEN", 0, 0, 100.0f).width;
    const float cap = 100.0f * width / probe;
    const float x = (float(img.width()) - width) / 2.0f;
    DisplayText name = display_text("ZORVALEN", x, y, cap);
    name.shape = grow(name.shape, 1.2f);  // small letters need thicker strokes than the title's to read
    const float k = cap / 110.0f;  // the title's measures, at this size
    glow(img, name.shape, hex(0xff5a20), 26 * k, 0.5f);
    Material shadow = body(hex(0x05030a), 2 * k);
    shadow.outline = 0.0f;
    shadow.opacity = 0.8f;
    paint(img, shift(name.shape, 5 * k, 6 * k), shadow);
    Material chrome = body(hex(0xffc040), 7 * k);
    chrome.outline = 1.0f;
    chrome.ink = hex(0x1a0818);
    chrome.shine = 0.6f;
    chrome.pattern = [y, cap](float, float py) {
        const float t = (py - y) / cap;
        if (t < 0.52f) return mix(hex(0xfffbe0), hex(0xffc040), smoothstep(0.0f, 0.52f, t));
        return mix(hex(0xb83a10), hex(0xffa030), smoothstep(0.52f, 1.0f, t));
    };
    paint(img, name.shape, chrome);
}

}  // namespace

Image draw_setup_side()
{
    Image img(kSetupSideWidth, kSetupSideHeight);
    paint_sky(img, 0x5e7a11, 90);
    // A faint planet rising from the bottom edge, as behind the stages.
    Material planet = body(hex(0x3b2a6e), 30.0f);
    planet.pattern = [](float px, float py) {
        return mix(hex(0x5a3f9a), hex(0x1c1238), fbm(px * 0.03f, py * 0.03f, 7u, 4));
    };
    planet.outline = 0.0f;
    paint(img, circle(40.0f, 380.0f, 150.0f), planet);
    glow(img, circle(40.0f, 380.0f, 150.0f), hex(0x7f6cff), 10.0f, 0.25f);
    draw_ship(img, 120, 22, 120);
    paint_name(img, 148.0f, 34.0f);
    return img;
}

Image draw_setup_header()
{
    Image img(kSetupHeaderWidth, kSetupHeaderHeight);
    paint_sky(img, 0x4ead, 30);
    draw_ship(img, 54, 90, 8);
    return img;
}

}  // namespace assetgen
