#include "assetgen/title.h"

#include <cmath>
#include <string>

#include "assetgen/display_font.h"
#include "assetgen/noise.h"
#include "assetgen/paint.h"
#include "assetgen/sprites.h"

namespace assetgen {

namespace {

void space_backdrop(Image& img)
{
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            float fx = float(x), fy = float(y);
            Rgba c = mix(hex(0x070a1c), hex(0x1c0f30), smoothstep(0.0f, 480.0f, fy));
            // Two faint nebula veils, magenta and teal.
            float n1 = fbm(fx / 160.0f, fy / 110.0f, 501u, 5);
            float n2 = fbm(fx / 130.0f + 40.0f, fy / 150.0f, 502u, 5);
            c = mix(c, hex(0x6a1a6a), smoothstep(0.5f, 0.8f, n1) * 0.45f);
            c = mix(c, hex(0x145a70), smoothstep(0.55f, 0.85f, n2) * 0.4f);
            img.at(x, y) = c;
        }
    }
    Rng rng(404);
    for (int i = 0; i < 420; ++i) {
        float x = rng.range(0, float(img.width())), y = rng.range(0, float(img.height()));
        float b = rng.uniform();
        float r = 0.5f + b * b * 1.1f;
        Rgba tint = mix(hex(0xa0c0ff), hex(0xfff0d0), rng.uniform());
        glow(img, circle(x, y, r * 0.4f), tint, r + 1.5f, 0.25f + 0.6f * b, {x - 4, y - 4, x + 4, y + 4});
        if (b > 0.93f) {
            // The brightest stars get a little cross of light.
            ink_line(img, capsule(x - 6, y, x + 6, y, 0), with_alpha(tint, 0.35f), 1.0f, {x - 7, y - 2, x + 7, y + 2});
            ink_line(img, capsule(x, y - 6, x, y + 6, 0), with_alpha(tint, 0.35f), 1.0f, {x - 2, y - 7, x + 2, y + 7});
        }
    }
}

void planet(Image& img, float cx, float cy, float r)
{
    Bounds b{cx - r - 30, cy - r - 30, cx + r + 30, cy + r + 30};
    glow(img, circle(cx, cy, r), hex(0x3a7aff), 26, 0.35f, b);
    Material m = body(hex(0x3a6ac0), r);
    m.outline = 0.0f;
    m.ambient = 0.12f;
    m.shine = 0.15f;
    m.pattern = [cx, cy, r](float x, float y) {
        float lat = (y - cy) / r;
        float bands = fbm((x - cx) / 50.0f, lat * 6.0f, 511u, 4);
        return ramp({hex(0x1a3a80), hex(0x3a7ad0), hex(0x8ad0e8), hex(0xe0f0ff)}, bands * 0.9f + 0.05f);
    };
    paint(img, circle(cx, cy, r), m, b);
}

void draw_name(Image& img)
{
    const float cap = 90.0f;
    DisplayText probe = display_text("ZORVALEN", 0, 0, cap);
    float x = (float(img.width()) - probe.width) / 2.0f;
    DisplayText name = display_text("ZORVALEN", x, 34, cap);
    Bounds b{x - 40, 0, x + name.width + 40, 200};
    glow(img, name.shape, hex(0xff5a20), 26, 0.5f, b);
    Material shadow = body(hex(0x05030a), 2);
    shadow.outline = 0.0f;
    shadow.opacity = 0.8f;
    paint(img, shift(name.shape, 5, 6), shadow, b);
    // Chrome lettering: sky-bright above a hard horizon, molten below.
    Material chrome = body(hex(0xffc040), 7);
    chrome.outline = 3.0f;
    chrome.ink = hex(0x1a0818);
    chrome.shine = 0.6f;
    chrome.pattern = [](float, float y) {
        float t = (y - 34.0f) / 110.0f;
        if (t < 0.52f) return mix(hex(0xfffbe0), hex(0xffc040), smoothstep(0.0f, 0.52f, t));
        return mix(hex(0xb83a10), hex(0xffa030), smoothstep(0.52f, 1.0f, t));
    };
    paint(img, name.shape, chrome, b);
}

void panel(Image& img, float x0, float y0, float x1, float y1)
{
    Bounds b{x0 - 4, y0 - 4, x1 + 4, y1 + 4};
    Material m = body(hex(0x0c1020, 0.72f), 4);
    m.outline = 2.0f;
    m.ink = hex(0x6a8ad0);
    m.shine = 0.0f;
    paint(img, box((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2, 10), m, b);
}

}  // namespace

Image draw_title(const FontStrip& font)
{
    const GlyphTable glyphs = glyph_table(font);
    Image img(kTitleWidth, kTitleHeight);
    space_backdrop(img);
    planet(img, 700, 150, 120);
    draw_name(img);

    // The cast, at twice their size: our ship on the left, what it is up against on the right.
    Image ship = draw_player();
    img.draw(ship, 8, 300, 2);
    img.draw(draw_enemy_red(), 664, 250, 2);
    img.draw(draw_enemy_blue(), 662, 392, 1);
    img.draw(draw_enemy_green(), 724, 396, 1);

    panel(img, 150, 200, 650, 470);
    const Rgba heading = hex(0xffc040), label = hex(0x9ab8ff), keys = hex(0xffffff);
    std::string title = "CONTROLS";
    draw_game_text(img, font, glyphs, 400 - text_width(glyphs, title, 2) / 2, 214, title, heading, 2);
    struct Line {
        const char* what;
        const char* how;
    };
    const Line lines[] = {
        {"Move", "W A S D or arrow keys"},
        {"Aim", "mouse"},
        {"Fire", "left mouse button"},
        {"Rockets", "right mouse button"},
        {"Start / pause", "Space"},
        {"Quit", "Escape"},
    };
    int y = 256;
    for (const Line& l : lines) {
        draw_game_text(img, font, glyphs, 178, y, l.what, label, 2);
        draw_game_text(img, font, glyphs, 360, y, l.how, keys, 2);
        y += 34;
    }

    // The light band under the level line, framed by thin rules.
    for (int yy = kLevelBandTop; yy < kLevelBandBottom; ++yy) {
        float t = float(yy - kLevelBandTop) / float(kLevelBandBottom - kLevelBandTop);
        Rgba c = mix(hex(0xfff6de), hex(0xe6d6b0), t);
        for (int x = 0; x < kTitleWidth; ++x) {
            float grain = 0.02f * (lattice(x / 3, yy / 3, 521u) - 0.5f);
            img.at(x, yy) = {c.r + grain, c.g + grain, c.b + grain, 1.0f};
        }
    }
    for (int x = 0; x < kTitleWidth; ++x) {
        img.at(x, kLevelBandTop - 3) = img.at(x, kLevelBandBottom + 2) = hex(0xffa030);
        img.at(x, kLevelBandTop - 2) = img.at(x, kLevelBandBottom + 1) = hex(0x5a2a10);
        img.at(x, kLevelBandTop - 1) = img.at(x, kLevelBandBottom) = hex(0x5a2a10);
    }
    std::string hint = "Press Space to play";
    draw_game_text(img, font, glyphs, 400 - text_width(glyphs, hint, 1) / 2, 580, hint, hex(0xc8d4ff), 1);
    return img;
}

}  // namespace assetgen
