#include "assetgen/backgrounds.h"

#include <array>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "assetgen/noise.h"
#include "assetgen/paint.h"

namespace assetgen {

namespace {

// One band of terrain: its surface line and how it is coloured below that line.
struct Layer {
    std::function<float(float x)> top;
    // depth: pixels below the surface; slope: dy/dx of the surface (positive where it falls to the right).
    std::function<Rgba(float x, float y, float depth, float slope)> colour;
};

// Paints the layers, nearest first, each hiding what lies behind it. The surface line is sampled four
// times per pixel column so ridges and peaks come out anti-aliased.
void draw_layers(Image& img, const std::vector<Layer>& nearest_first)
{
    constexpr int kSub = 4;
    const size_t n = nearest_first.size();
    std::vector<std::array<float, kSub>> tops(n);
    std::vector<float> centre(n), slope(n);
    for (int x = 0; x < img.width(); ++x) {
        float ymin = float(img.height());
        for (size_t l = 0; l < n; ++l) {
            const auto& top = nearest_first[l].top;
            for (int s = 0; s < kSub; ++s) {
                tops[l][size_t(s)] = top(float(x) + (float(s) + 0.5f) / kSub);
                ymin = std::min(ymin, tops[l][size_t(s)]);
            }
            centre[l] = top(float(x) + 0.5f);
            // A wide window keeps single-pixel wiggles of the line from striping the slope below.
            slope[l] = (top(float(x) + 4.5f) - top(float(x) - 3.5f)) / 8.0f;
        }
        for (int y = std::max(0, int(std::floor(ymin))); y < img.height(); ++y) {
            float pr = 0, pg = 0, pb = 0, pa = 0, remaining = 1.0f;
            for (size_t l = 0; l < n && remaining > 0.0f; ++l) {
                float cov = 0.0f;
                for (int s = 0; s < kSub; ++s) cov += clamp01(float(y) + 1.0f - tops[l][size_t(s)]);
                cov /= kSub;
                if (cov <= 0.0f) continue;
                float py = float(y) + 0.5f;
                Rgba c = nearest_first[l].colour(float(x) + 0.5f, py, std::max(0.0f, py - centre[l]), slope[l]);
                float w = cov * remaining;
                pr += c.r * w;
                pg += c.g * w;
                pb += c.b * w;
                pa += w;
                remaining *= 1.0f - cov;
            }
            if (pa > 0.0f) img.at(x, y) = {pr / pa, pg / pa, pb / pa, pa};
        }
    }
}

// Surface light: faces turned to the upper left are lit, the others fall into shade. The effect belongs
// to the surface, so it fades with depth instead of running down the whole column.
float facing(float slope, float depth)
{
    return lerp(0.5f, clamp01(0.5f - 0.9f * slope), 1.0f - smoothstep(0.0f, 45.0f, depth));
}

// A bright lip along the top edge of a layer, fading over a few pixels.
float lip(float depth, float width) { return 1.0f - smoothstep(0.0f, width, depth); }

// Ridged noise makes sharp crests instead of rolling hills.
float ridged(float x, uint32_t seed, int octaves)
{
    float sum = 0.0f, amp = 1.0f, norm = 0.0f, freq = 1.0f;
    for (int i = 0; i < octaves; ++i) {
        float v = 1.0f - std::fabs(2.0f * value_noise(x * freq, seed + uint32_t(i) * 77u) - 1.0f);
        sum += amp * v * v;
        norm += amp;
        amp *= 0.5f;
        freq *= 2.0f;
    }
    return sum / norm;
}

Bounds around(float cx, float cy, float rx, float ry) { return {cx - rx, cy - ry, cx + rx, cy + ry}; }

// ---- Stage 0: a cratered grey moon with a small outpost -------------------------------------------------

void moon_dome(Image& img, float cx, float ground)
{
    Bounds b = around(cx, ground - 20, 46, 40);
    paint(img, box(cx, ground + 2, 40, 6, 2), body(hex(0x5a6478), 3), b);
    Material g = glass(hex(0x7ad0ff, 0.75f));
    g.ink = hex(0x1a2a40);
    paint(img, intersect(ellipse(cx, ground - 2, 34, 30), box(cx, ground - 18, 40, 17)), g, b);
    // Warm lit windows seen through the glass.
    for (int i = 0; i < 4; ++i) {
        float wx = cx - 18 + float(i) * 12;
        paint(img, box(wx, ground - 8, 3, 2.5f, 0.8f), light(hex(0xffd27a)), b);
        glow(img, box(wx, ground - 8, 3, 2.5f), hex(0xffb040), 6, 0.25f, b);
    }
    ink_line(img, intersect(ellipse(cx, ground - 2, 22, 20), box(cx, ground - 18, 40, 17)), with_alpha(hex(0xd0f0ff), 0.35f),
             1.0f, b);
}

void moon_antenna(Image& img, float x, float ground, float height)
{
    float top = ground - height;
    Bounds b = around(x, ground - height / 2, 22, height / 2 + 14);
    Material steel = body(hex(0x9aa4b8), 1.5f);
    paint(img, capsule(x - 6, ground, x - 1, top + 8, 1.2f), steel, b);
    paint(img, capsule(x + 6, ground, x + 1, top + 8, 1.2f), steel, b);
    for (float t = 0.15f; t < 0.9f; t += 0.18f) {
        float y = ground - height * t;
        float hw = lerp(6.0f, 1.0f, t);
        paint(img, capsule(x - hw, y, x + hw, y - height * 0.09f, 0.7f), steel, b);
    }
    paint(img, capsule(x, top + 10, x, top, 1.0f), steel, b);
    // Dish on the upper mast, turned to the sky.
    paint(img, intersect(circle(x - 8, top + 4, 9), box(x - 8, top + 9, 10, 4.5f, 0, -0.5f)), body(hex(0xd8dee8), 3), b);
    glow(img, circle(x, top - 1, 1.5f), hex(0xff3030), 7, 0.6f, b);
    paint(img, circle(x, top - 1, 1.8f), light(hex(0xff6050)), b);
}

void moon_crater(Image& img, float cx, float cy, float r)
{
    Bounds b = around(cx, cy, r + 3, r * 0.45f + 3);
    // Raised rim, lit along its far edge; a bowl in shadow under the near edge.
    Material rim = body(hex(0x7c8496), 2);
    rim.outline = 0.0f;
    rim.pattern = [cy, r](float, float y) { return mix(hex(0x5c6474), hex(0xb4bccc), smoothstep(cy - r * 0.3f, cy + r * 0.3f, y)); };
    paint(img, ellipse(cx, cy, r, r * 0.34f), rim, b);
    Material bowl = body(hex(0x3c4454), 2);
    bowl.outline = 0.0f;
    bowl.pattern = [cx, cy, r](float x, float y) {
        float t = clamp01(0.35f + 0.3f * (x - cx) / r + 0.9f * (y - cy) / (0.3f * r));
        return mix(hex(0x252a36), hex(0x6a7284), t * t);
    };
    paint(img, ellipse(cx + r * 0.04f, cy + r * 0.02f, r * 0.82f, r * 0.25f), bowl, b);
}

void boulder(Image& img, float cx, float ground, float r, Rgba base, uint32_t seed)
{
    Bounds b = around(cx, ground - r * 0.5f, r * 1.4f + 3, r + 4);
    Sdf rock = blend(ellipse(cx, ground - r * 0.45f, r * 1.2f, r * 0.75f),
                     ellipse(cx + r * 0.45f, ground - r * 0.2f, r * 0.8f, r * 0.55f), r * 0.3f);
    Material m = body(base, r * 0.6f);
    m.pattern = [base, seed](float x, float y) { return scale_rgb(base, 0.8f + 0.4f * fbm(x / 4.0f, y / 4.0f, seed, 3)); };
    paint(img, rock, m, b);
}

Image draw_moon(int width)
{
    Image img(width, kStageHeight);
    const float w = float(width);
    auto far_top = [](float x) {
        float range = ridged(x / 420.0f, 12u, 4);
        return 455.0f - 190.0f * range * range - 25.0f * fbm(x / 60.0f, 11u, 3);
    };
    auto mid_top = [](float x) { return 440.0f + 55.0f * fbm(x / 140.0f, 21u, 4); };
    // Near ground: rolling, with a few rocky outcrops.
    auto near_top = [](float x) { return 522.0f + 24.0f * fbm(x / 90.0f, 31u, 4); };
    std::vector<Layer> layers;
    layers.push_back({near_top, [](float x, float y, float depth, float slope) {
                          float grain = fbm(x / 6.0f, y / 3.0f, 41u, 3);
                          Rgba c = mix(hex(0x5c6474), hex(0x8c94a4), 0.3f + 0.5f * facing(slope, depth));
                          c = mix(c, hex(0x3a404c), smoothstep(0.0f, 70.0f, depth) * 0.7f);
                          c = scale_rgb(c, 0.85f + 0.3f * grain);
                          return mix(c, hex(0xc8d0dc), lip(depth, 3.0f) * 0.7f);
                      }});
    layers.push_back({mid_top, [](float x, float y, float depth, float slope) {
                          float grain = fbm(x / 10.0f, y / 5.0f, 42u, 3);
                          Rgba c = mix(hex(0x30384a), hex(0x4c566c), facing(slope, depth));
                          c = mix(c, hex(0x1e2432), smoothstep(0.0f, 90.0f, depth));
                          c = scale_rgb(c, 0.9f + 0.2f * grain);
                          return mix(c, hex(0x8a96b0), lip(depth, 2.5f) * 0.6f);
                      }});
    layers.push_back({far_top, [](float x, float, float depth, float slope) {
                          Rgba c = mix(hex(0x1c2234), hex(0x2e3650), facing(slope, depth));
                          c = mix(c, hex(0x141824), smoothstep(0.0f, 140.0f, depth));
                          c = scale_rgb(c, 0.92f + 0.16f * fbm(x / 30.0f, 43u, 2));
                          return mix(c, hex(0x5a6890), lip(depth, 2.0f) * 0.55f);
                      }});
    draw_layers(img, layers);

    Rng rng(1001);
    // Craters pock the near ground all along the stage.
    for (float x = 60.0f; x < w - 40.0f; x += rng.range(110.0f, 260.0f)) {
        float r = rng.range(14.0f, 34.0f);
        float y = near_top(x) + rng.range(18.0f, 50.0f);
        if (y + r * 0.4f < float(kStageHeight)) moon_crater(img, x, y, r);
    }
    for (float x = 30.0f; x < w - 30.0f; x += rng.range(60.0f, 190.0f))
        boulder(img, x, near_top(x) + rng.range(4.0f, 40.0f), rng.range(4.0f, 11.0f), hex(0x747c8c), 1100u + uint32_t(x));
    // The outpost: domes and masts spread over the stage, never two alike in the same place.
    for (float x = 260.0f; x < w - 150.0f; x += rng.range(420.0f, 620.0f)) moon_dome(img, x, near_top(x) + 6);
    for (float x = 120.0f; x < w - 60.0f; x += rng.range(300.0f, 520.0f))
        moon_antenna(img, x, near_top(x) + 4, rng.range(70.0f, 130.0f));
    return img;
}

// ---- Stage 1: a violet crystal canyon overgrown with glowing fungus ------------------------------------

void crystal_cluster(Image& img, float x, float ground, float size, Rgba tint, Rng& rng)
{
    Bounds b = around(x, ground - size, size + 14, size + 14);
    int count = 3 + rng.below(3);
    for (int i = 0; i < count; ++i) {
        float lean = rng.range(-0.45f, 0.45f);
        float h = size * rng.range(0.55f, 1.0f);
        float hw = size * rng.range(0.12f, 0.2f);
        float bx = x + rng.range(-size * 0.35f, size * 0.35f);
        float tx = bx + std::sin(lean) * h, ty = ground - std::cos(lean) * h;
        float nx = std::cos(lean) * hw, ny = std::sin(lean) * hw;
        Sdf shard = polygon({{bx - nx, ground + 4 - ny}, {bx + nx, ground + 4 + ny},
                             {tx + nx * 0.7f, ty + ny * 0.7f + hw * 1.6f}, {tx, ty},
                             {tx - nx * 0.7f, ty - ny * 0.7f + hw * 1.6f}});
        glow(img, shard, tint, 10, 0.18f, b);
        Material m = glass(tint);
        m.ink = scale_rgb(tint, 0.25f);
        m.pattern = [tint, ground, size](float, float y) {
            return mix(mix(tint, rgb(1, 1, 1), 0.55f), tint, smoothstep(ground - size, ground, y));
        };
        paint(img, shard, m, b);
    }
}

void mushroom(Image& img, float x, float ground, float height, Rgba cap)
{
    float cy = ground - height;
    float cr = height * 0.45f;
    Bounds b = around(x, ground - height / 2, cr + 16, height / 2 + cr + 10);
    Material stalk = body(hex(0xc8c0a0), 4);
    stalk.pattern = [](float, float y) { return mix(hex(0xe0d8b8), hex(0x8a7e6a), fbm(y / 9.0f, 61u, 2)); };
    paint(img, taper(x, ground + 4, x + height * 0.12f, cy + 4, height * 0.1f, height * 0.07f), stalk, b);
    glow(img, ellipse(x, cy + cr * 0.25f, cr * 1.05f, cr * 0.3f), cap, 14, 0.28f, b);
    Material m = body(cap, 8);
    m.pattern = [cap, x, cy, cr](float px, float py) {
        float spot = 0.0f;
        for (float k : {-0.5f, 0.05f, 0.55f}) spot = std::max(spot, 1.0f - smoothstep(cr * 0.1f, cr * 0.16f, std::hypot(px - x - k * cr, py - cy + cr * 0.35f)));
        return mix(cap, hex(0xfff6e0), spot * 0.8f);
    };
    paint(img, intersect(ellipse(x, cy + cr * 0.3f, cr, cr * 0.85f), box(x, cy - cr * 0.25f, cr + 1, cr * 0.55f + 0.4f * cr)), m, b);
}

Image draw_crystal(int width)
{
    Image img(width, kStageHeight);
    const float w = float(width);
    auto far_top = [](float x) { return 300.0f + 170.0f * (1.0f - ridged(x / 210.0f, 111u, 3)); };
    auto mid_top = [](float x) { return 430.0f + 60.0f * fbm(x / 110.0f, 121u, 4); };
    auto near_top = [](float x) { return 512.0f + 30.0f * fbm(x / 75.0f, 131u, 4) + 8.0f * std::sin(x / 37.0f); };
    std::vector<Layer> layers;
    layers.push_back({near_top, [](float x, float y, float depth, float slope) {
                          float moss = fbm(x / 14.0f, y / 8.0f, 141u, 3);
                          Rgba c = mix(hex(0x1e4a3a), hex(0x3a8a5a), 0.35f * facing(slope, depth) + 0.5f * moss);
                          c = mix(c, hex(0x102420), smoothstep(0.0f, 70.0f, depth) * 0.8f);
                          // Bioluminescent speckles in the moss.
                          float dot = smoothstep(0.93f, 0.97f, lattice(int32_t(x / 2.0f), int32_t(y / 2.0f), 142u)) *
                                      smoothstep(0.6f, 0.75f, fbm(x / 40.0f, y / 20.0f, 143u, 2));
                          c = mix(c, hex(0x70ffd0), dot * 0.6f);
                          return mix(c, hex(0x9af0a0), lip(depth, 3.0f) * 0.6f);
                      }});
    layers.push_back({mid_top, [](float x, float y, float depth, float slope) {
                          Rgba c = mix(hex(0x163838), hex(0x24605a), facing(slope, depth));
                          c = mix(c, hex(0x0c1c20), smoothstep(0.0f, 80.0f, depth));
                          c = scale_rgb(c, 0.88f + 0.24f * fbm(x / 12.0f, y / 6.0f, 151u, 3));
                          return mix(c, hex(0x60c0b0), lip(depth, 2.5f) * 0.5f);
                      }});
    layers.push_back({far_top, [](float x, float, float depth, float slope) {
                          // Faceted crystal walls: flat bands of light and shade.
                          float facet = std::floor(value_noise(x / 23.0f, 161u) * 4.0f) / 4.0f;
                          Rgba c = mix(hex(0x2a1c4a), hex(0x5a3c8a), 0.6f * facing(slope, depth) + 0.3f * facet);
                          c = mix(c, hex(0x140e24), smoothstep(0.0f, 150.0f, depth));
                          return mix(c, hex(0xb890ff), lip(depth, 2.0f) * 0.6f);
                      }});
    draw_layers(img, layers);

    Rng rng(2002);
    const Rgba tints[] = {hex(0xd070ff), hex(0x50e0ff), hex(0xff70c0)};
    for (float x = 90.0f; x < w - 60.0f; x += rng.range(170.0f, 340.0f))
        crystal_cluster(img, x, mid_top(x) + 10, rng.range(26.0f, 52.0f), tints[rng.below(3)], rng);
    for (float x = 200.0f; x < w - 80.0f; x += rng.range(260.0f, 470.0f))
        mushroom(img, x, near_top(x) + 6, rng.range(48.0f, 92.0f), rng.below(2) ? hex(0xff6a9a) : hex(0xffa040));
    for (float x = 40.0f; x < w - 40.0f; x += rng.range(120.0f, 230.0f))
        crystal_cluster(img, x, near_top(x) + 8, rng.range(12.0f, 22.0f), tints[rng.below(3)], rng);
    return img;
}

// ---- Stage 2: black volcanic rock, rivers of lava and the boss's fortress -------------------------------

void obelisk(Image& img, float x, float ground, float height)
{
    Bounds b = around(x, ground - height / 2, 26, height / 2 + 16);
    Material stone = body(hex(0x3a2a2e), 4);
    stone.pattern = [](float px, float py) { return scale_rgb(hex(0x3a2a2e), 0.8f + 0.4f * fbm(px / 5.0f, py / 9.0f, 171u, 2)); };
    paint(img, polygon({{x - 9, ground + 4}, {x + 9, ground + 4}, {x + 5, ground - height}, {x, ground - height - 12},
                        {x - 5, ground - height}}),
          stone, b);
    // A glowing rune carved into the face.
    Sdf rune = polyline({{x - 2, ground - height * 0.7f}, {x + 2, ground - height * 0.6f}, {x - 2, ground - height * 0.5f},
                         {x + 2, ground - height * 0.4f}},
                        0.9f);
    glow(img, rune, hex(0xff5a10), 6, 0.45f, b);
    paint(img, rune, light(hex(0xffb040)), b);
}

void lava_pool(Image& img, float cx, float cy, float r)
{
    Bounds b = around(cx, cy, r + 20, r * 0.4f + 20);
    glow(img, ellipse(cx, cy, r, r * 0.3f), hex(0xff4a00), 18, 0.35f, b);
    Material m = light(hex(0xff7a10));
    m.pattern = [](float x, float y) {
        float n = fbm(x / 7.0f, y / 3.0f, 181u, 3);
        return ramp({hex(0xc02000), hex(0xff6a00), hex(0xffd060)}, n);
    };
    paint(img, ellipse(cx, cy, r, r * 0.3f), m, b);
    ink_line(img, ellipse(cx, cy, r, r * 0.3f), hex(0x1a0c0c), 2.0f, b);
}

void fortress(Image& img, float x0, float ground)
{
    // The boss waits at the end of the last stage: a gate between two spiked towers.
    Bounds b{x0 - 20, ground - 260, x0 + 300, float(kStageHeight)};
    Material stone = body(hex(0x2e2226), 6);
    stone.pattern = [](float px, float py) {
        // Courses of masonry with a little variation per block.
        float row = std::floor(py / 9.0f);
        float brick = lattice(int32_t(std::floor((px + row * 7.0f) / 18.0f)), int32_t(row), 191u);
        float mortar = std::min(std::fabs(std::fmod(py, 9.0f) - 0.5f), 10.0f);
        Rgba c = scale_rgb(hex(0x3a2a2e), 0.75f + 0.45f * brick);
        return mortar < 1.0f ? scale_rgb(c, 0.55f) : c;
    };
    auto tower = [&](float cx, float h) {
        paint(img, box(cx, ground - h / 2 + 10, 34, h / 2 + 10, 2), stone, b);
        for (int i = 0; i < 4; ++i) {
            float sx = cx - 27 + float(i) * 18;
            paint(img, polygon({{sx - 6, ground - h + 1}, {sx + 6, ground - h + 1}, {sx, ground - h - 26}}),
                  body(hex(0x4a3a40), 3), b);
        }
        for (int i = 0; i < 3; ++i) {
            float wy = ground - h + 40 + float(i) * 48;
            glow(img, box(cx, wy, 5, 9, 4), hex(0xff6010), 12, 0.35f, b);
            paint(img, box(cx, wy, 5, 9, 4), light(hex(0xffa030)), b);
        }
    };
    paint(img, box(x0 + 140, ground - 70, 90, 80, 2), stone, b);
    Material gate = light(hex(0x200808));
    gate.pattern = [ground](float, float y) { return mix(hex(0x0a0404), hex(0x6a1400), smoothstep(ground - 120, ground, y)); };
    paint(img, unite(box(x0 + 140, ground - 45, 40, 50), circle(x0 + 140, ground - 95, 40)), gate, b);
    for (int i = 0; i < 7; ++i) {
        float gx = x0 + 110 + float(i) * 10;
        paint(img, box(gx, ground - 60, 1.8f, 70), body(hex(0x6a6470), 1.5f), b);
    }
    tower(x0 + 30, 210);
    tower(x0 + 250, 240);
}

// The volcano's far range, whose highest crests the lava runs down.
float volcano_far_top(float x)
{
    float peaks = ridged(x / 330.0f, 211u, 3);
    return 470.0f - 230.0f * peaks * peaks - 20.0f * fbm(x / 40.0f, 212u, 2);
}

// Lava trickles down from the highest crests of the far range.
void lava_flows(Image& img, float w)
{
    for (float x = 40.0f; x < w; x += 8.0f) {
        float top = volcano_far_top(x);
        if (top > 390.0f) continue;
        float peak = top;
        bool is_peak = volcano_far_top(x - 8.0f) > peak && volcano_far_top(x + 8.0f) > peak;
        if (!is_peak) continue;
        // Each flow wanders as it runs down the face and thins out towards its end.
        std::vector<Sdf> pieces;
        float px = x, py = peak + 2;
        const float end = 440.0f + 30.0f * value_noise(x / 13.0f, 213u);
        while (py < end) {
            float t = (py - peak) / (end - peak);
            float nx = px + 14.0f * (value_noise(py / 25.0f, uint32_t(x) + 214u) - 0.5f) + 3.0f;
            float ny = py + 10.0f;
            pieces.push_back(taper(px, py, nx, ny, lerp(2.2f, 0.6f, t), lerp(2.2f, 0.6f, t + 10.0f / (end - peak))));
            px = nx;
            py = ny;
        }
        Sdf flow = unite(pieces);
        Bounds b{x - 80, peak - 10, x + 80, 480};
        glow(img, flow, hex(0xff3a00), 8, 0.35f, b);
        paint(img, flow, light(hex(0xff9a30)), b);
    }
}

Image draw_volcano(int width)
{
    Image img(width, kStageHeight);
    const float w = float(width);
    auto mid_top = [](float x) { return 455.0f + 50.0f * fbm(x / 110.0f, 221u, 4) - 16.0f * ridged(x / 80.0f, 222u, 2); };
    auto near_top = [](float x) { return 520.0f + 28.0f * fbm(x / 60.0f, 231u, 4); };
    std::vector<Layer> layers;
    layers.push_back({near_top, [](float x, float y, float depth, float slope) {
                          Rgba c = mix(hex(0x1c1416), hex(0x3a2a2a), facing(slope, depth) * 0.7f);
                          c = scale_rgb(c, 0.8f + 0.4f * fbm(x / 8.0f, y / 4.0f, 241u, 3));
                          // Cracks where the ridged field is near zero glow with lava beneath.
                          float crack = 1.0f - std::fabs(2.0f * fbm(x / 28.0f, y / 12.0f, 242u, 3) - 1.0f);
                          float field = smoothstep(0.45f, 0.7f, fbm(x / 160.0f, y / 60.0f, 243u, 2));
                          float hot = smoothstep(0.955f, 0.99f, crack) * smoothstep(4.0f, 20.0f, depth) * field;
                          c = mix(c, ramp({hex(0xa01800), hex(0xff7010), hex(0xffd060)}, hot), hot);
                          return mix(c, hex(0x9a5a4a), lip(depth, 2.5f) * 0.6f);
                      }});
    layers.push_back({mid_top, [](float x, float y, float depth, float slope) {
                          Rgba c = mix(hex(0x1a1214), hex(0x2e2024), facing(slope, depth));
                          c = scale_rgb(c, 0.85f + 0.3f * fbm(x / 12.0f, y / 6.0f, 251u, 3));
                          // Heat from the lava below reddens the foot of the slopes.
                          c = mix(c, hex(0x5a1408), smoothstep(30.0f, 140.0f, depth) * 0.8f);
                          return mix(c, hex(0xd05a30), lip(depth, 2.0f) * 0.5f);
                      }});
    layers.push_back({volcano_far_top, [](float x, float, float depth, float slope) {
                          Rgba c = mix(hex(0x140c10), hex(0x281820), facing(slope, depth));
                          c = scale_rgb(c, 0.9f + 0.2f * fbm(x / 25.0f, 261u, 2));
                          c = mix(c, hex(0x701a0a), smoothstep(60.0f, 260.0f, depth));
                          return mix(c, hex(0x8a3a40), lip(depth, 2.0f) * 0.5f);
                      }});
    draw_layers(img, layers);

    lava_flows(img, w);

    Rng rng(3003);
    for (float x = 150.0f; x < w - 500.0f; x += rng.range(300.0f, 560.0f)) obelisk(img, x, mid_top(x) + 8, rng.range(60.0f, 110.0f));
    for (float x = 80.0f; x < w - 420.0f; x += rng.range(220.0f, 420.0f))
        lava_pool(img, x, near_top(x) + rng.range(25.0f, 45.0f), rng.range(30.0f, 60.0f));
    fortress(img, w - 330.0f, near_top(w - 180.0f) + 6);
    return img;
}

}  // namespace

Image draw_background(int stage)
{
    switch (stage) {
    case 0: return draw_moon(stage_width(0));
    case 1: return draw_crystal(stage_width(1));
    case 2: return draw_volcano(stage_width(2));
    default: throw std::out_of_range("no such stage");
    }
}

}  // namespace assetgen
