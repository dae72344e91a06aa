#include "assetgen/sprites.h"

#include <cmath>

#include "assetgen/noise.h"
#include "assetgen/paint.h"

namespace assetgen {

namespace {

constexpr float kPi = 3.14159265358979f;

// Shared palette, so that every sprite belongs to the same world.
const Rgba kSteel = hex(0x8a94a6);
const Rgba kDarkSteel = hex(0x4a5262);
const Rgba kGlassCyan = hex(0x46d2ff);
const Rgba kEngineHot = hex(0xffe49a);
const Rgba kEngineGlow = hex(0xff8a2a);

Material with_pattern(Material m, std::function<Rgba(float, float)> p)
{
    m.pattern = std::move(p);
    return m;
}

Material without_outline(Material m)
{
    m.outline = 0.0f;
    return m;
}

// A glowing eye: dark socket, lit iris, hot pupil and a glint.
void eye(Image& img, float cx, float cy, float r, Rgba iris)
{
    paint(img, circle(cx, cy, r), body(hex(0x120c10), 1.5f));
    paint(img, circle(cx, cy, r * 0.62f), light(iris));
    glow(img, circle(cx, cy, r * 0.5f), iris, r * 1.6f, 0.35f);
    paint(img, circle(cx - r * 0.25f, cy - r * 0.3f, std::max(0.6f, r * 0.22f)), light(rgb(1, 1, 1)));
}

// A halo of light behind a finished sprite's silhouette, fading over `radius` pixels.
void aura(Image& img, Rgba colour, float radius, float strength)
{
    Image halo(img.width(), img.height());
    const int r = int(std::ceil(radius));
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (img.at(x, y).a >= 0.5f) continue;
            float nearest = radius + 1.0f;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    if (img.inside(x + dx, y + dy) && img.at(x + dx, y + dy).a >= 0.5f)
                        nearest = std::min(nearest, std::hypot(float(dx), float(dy)));
            float f = clamp01(1.0f - (nearest - 1.0f) / radius);
            halo.at(x, y) = with_alpha(colour, strength * f * f);
        }
    // The halo goes under the sprite, never over it.
    halo.draw(img, 0, 0);
    img = halo;
}

}  // namespace

Image draw_player()
{
    Image img(64, 64);
    const Rgba hull = hex(0xf2a23a);
    const Rgba hull_dark = hex(0xb8621e);

    // Exhaust first, so the nozzle sits on top of its flame.
    glow(img, ellipse(6, 33, 7, 3), kEngineGlow, 6, 0.55f);
    paint(img, ellipse(7, 33, 6, 2.4f), light(kEngineHot));

    // Tail fin, behind the hull.
    paint(img, polygon({{19, 29}, {33, 29}, {23, 13}, {16, 12}}), body(hull_dark, 3));
    paint(img, box(12, 33, 3, 5.5f, 1.2f), body(kDarkSteel, 2));

    Sdf hull_shape = grow(polygon({{13, 26.5f}, {26, 24}, {44, 24.5f}, {55, 29}, {60, 33}, {55, 36.5f}, {44, 40},
                                   {26, 41.5f}, {13, 39.5f}}),
                          1.0f);
    paint(img, hull_shape,
          with_pattern(body(hull, 7), [&](float, float y) { return mix(hex(0xffc25a), hull_dark, smoothstep(27, 41, y)); }));
    // Panel seam and a dark racing stripe along the flank.
    ink_line(img, capsule(22, 36.5f, 50, 35.5f, 0.0f), with_alpha(hex(0x4a2410), 0.85f), 1.0f);
    paint(img, polygon({{18, 31}, {44, 31}, {52, 33}, {44, 34}, {18, 34}}), without_outline(body(hex(0x3a2a40), 2)));
    paint(img, ellipse(26, 32.5f, 2.2f, 1.6f), body(hex(0x1a1420), 1));

    // Canopy.
    paint(img, intersect(ellipse(40, 27.5f, 9.5f, 5.2f), box(40, 25, 12, 5)), glass(kGlassCyan));

    // Wing, in front of the hull.
    paint(img, polygon({{20, 36}, {38, 36}, {31, 51}, {18, 53}}), with_pattern(body(hull, 3.5f), [&](float x, float) {
              return mix(hex(0xffb848), hull_dark, smoothstep(20, 38, x) * 0.6f);
          }));
    paint(img, polygon({{22, 46}, {34, 44}, {32, 48}, {20, 50}}), without_outline(body(hex(0x3a2a40), 1.5f)));
    paint(img, circle(19.5f, 51.5f, 1.3f), light(hex(0xff4040)));
    glow(img, circle(19.5f, 51.5f, 1.0f), hex(0xff4040), 3.5f, 0.4f);

    // Nose cannon.
    paint(img, box(52, 38.5f, 7, 1.4f, 0.8f), body(kSteel, 1.2f));
    return img;
}

Image draw_enemy_red()
{
    Image img(64, 64);
    const Rgba red = hex(0xe23a2e);
    // Spikes all round: it is a homing mine that wants to touch you.
    std::vector<Sdf> spikes;
    for (int i = 0; i < 8; ++i) {
        float a = float(i) * kPi / 4.0f + kPi / 8.0f;
        float c = std::cos(a), s = std::sin(a);
        spikes.push_back(polygon({{32 + c * 27, 32 + s * 27}, {32 + c * 12 - s * 6, 32 + s * 12 + c * 6},
                                  {32 + c * 12 + s * 6, 32 + s * 12 - c * 6}}));
    }
    paint(img, unite(spikes), with_pattern(body(hex(0x9a1c1c), 3), [](float x, float y) {
              return mix(hex(0xd0402e), hex(0x6a1010), clamp01((x + y - 40) / 60));
          }));
    paint(img, circle(32, 32, 18), with_pattern(body(red, 9), [&](float, float y) {
              return mix(hex(0xff5a40), hex(0xa41c20), smoothstep(18, 50, y));
          }));
    // Armour band and rivets.
    paint(img, intersect(circle(32, 32, 18), box(32, 44, 20, 3)), body(hex(0x7c1418), 2));
    for (float x : {20.0f, 28.0f, 36.0f, 44.0f}) paint(img, circle(x, 44, 1.1f), body(hex(0xffb090), 0.8f));
    // One big eye looking ahead (to the left), under an angry brow.
    paint(img, ellipse(28, 30, 9, 8), body(hex(0xfff0d0), 3));
    paint(img, circle(25, 30, 5), light(hex(0xffcc30)));
    glow(img, circle(25, 30, 3), hex(0xffa020), 5, 0.3f);
    paint(img, ellipse(24, 30, 1.6f, 4), light(hex(0x201008)));
    paint(img, circle(27, 27.5f, 1.3f), light(rgb(1, 1, 1)));
    paint(img, polygon({{17, 20}, {40, 24}, {38, 28}, {18, 24.5f}}), body(hex(0x5a0c10), 2));
    return img;
}

Image draw_enemy_green()
{
    Image img(64, 64);
    const Rgba leg = hex(0x2e5a1c);
    // Far legs first, darker, then the body, then the near legs.
    for (float x : {30.0f, 44.0f}) {
        paint(img, polyline({{x, 38}, {x + 5, 47}, {x + 1, 56}}, 1.6f), body(scale_rgb(leg, 0.7f), 1.5f));
    }
    paint(img, ellipse(36, 40, 18, 7), body(hex(0x3c6a22), 3));
    // Carapace with pale spots and the wing-case seam.
    Sdf shell = intersect(ellipse(37, 34, 19, 15), box(37, 28, 22, 12));
    paint(img, shell, with_pattern(body(hex(0x4cc23a), 8), [](float x, float y) {
              Rgba c = mix(hex(0x7ae04a), hex(0x2c8a2a), smoothstep(20, 42, y));
              float spot = 1.0f - smoothstep(2.0f, 3.2f, std::min({std::hypot(x - 30, y - 27), std::hypot(x - 42, y - 24),
                                                                    std::hypot(x - 48, y - 33), std::hypot(x - 36, y - 35)}));
              return mix(c, hex(0xc8ff80), spot * 0.7f);
          }));
    ink_line(img, polyline({{22, 36}, {32, 31}, {56, 31}}, 0.0f), hex(0x143a10), 1.0f, {20, 20, 58, 40});
    // Head with pincers, facing left.
    paint(img, polygon({{6, 42}, {13, 36}, {16, 40}, {10, 44}}), body(hex(0xd8d070), 1.5f));
    paint(img, polygon({{7, 33}, {14, 34}, {14, 37}, {9, 37}}), body(hex(0xd8d070), 1.5f));
    paint(img, circle(17, 38, 7.5f), body(hex(0x3a9a2e), 4));
    eye(img, 14, 36, 2.6f, hex(0xfff050));
    // Antennae.
    paint(img, polyline({{18, 31}, {14, 22}, {8, 18}}, 0.8f), body(leg, 1));
    paint(img, circle(8, 18, 1.6f), light(hex(0xd0ff60)));
    for (float x : {24.0f, 38.0f}) {
        paint(img, polyline({{x, 40}, {x - 4, 49}, {x - 1, 57}}, 1.8f), body(leg, 1.5f));
        paint(img, circle(x - 1, 57, 1.6f), body(hex(0x1c3010), 1));
    }
    return img;
}

Image draw_enemy_blue()
{
    Image img(64, 64);
    // Tentacles hang under a glass-domed saucer.
    for (int i = 0; i < 5; ++i) {
        float x0 = 16.0f + float(i) * 8.0f;
        std::vector<Vec2> pts;
        for (int k = 0; k <= 6; ++k) {
            float t = float(k) / 6.0f;
            pts.push_back({x0 + std::sin(t * 5.0f + float(i) * 1.7f) * 2.2f, 38.0f + t * (17.0f + float(i % 2) * 4.0f)});
        }
        paint(img, polyline(pts, 1.7f), with_pattern(body(hex(0x3a5ad8), 1.5f), [](float, float y) {
                  return mix(hex(0x4a6aff), hex(0x8a5ae0), smoothstep(40, 60, y));
              }));
    }
    // The creature inside the dome.
    paint(img, circle(32, 25, 11), with_pattern(body(hex(0x7ac8ff), 5), [](float x, float y) {
              float folds = 0.5f + 0.5f * std::sin(x * 0.9f + std::sin(y * 0.8f) * 2.0f);
              return mix(hex(0x5aa0ff), hex(0xb0e4ff), folds * 0.6f);
          }));
    eye(img, 27, 26, 2.6f, hex(0xff5ad0));
    eye(img, 35, 26, 2.0f, hex(0xff5ad0));
    Material dome = glass(hex(0x9adcff, 0.45f));
    dome.outline = 1.0f;
    dome.ink = hex(0x1a2a60);
    paint(img, intersect(ellipse(32, 30, 17, 17), box(32, 20, 20, 13)), dome);
    // Saucer rim with running lights.
    paint(img, ellipse(32, 34, 28, 7), with_pattern(body(hex(0x2a48c8), 4), [](float, float y) {
              return mix(hex(0x5a80ff), hex(0x1a2a88), smoothstep(29, 40, y));
          }));
    ink_line(img, ellipse(32, 34, 27, 3.0f), with_alpha(hex(0x101a50), 0.8f), 1.0f, {0, 34, 64, 40});
    for (int i = 0; i < 5; ++i) {
        float x = 14.0f + float(i) * 9.0f;
        // The lights follow the curve of the rim's near edge.
        float u = (x - 32.0f) / 28.0f;
        float y = 34.0f + 2.6f * std::sqrt(1.0f - u * u);
        paint(img, circle(x, y, 1.5f), light(hex(0x80ffff)));
        glow(img, circle(x, y, 1.2f), hex(0x40e0ff), 4, 0.3f);
    }
    return img;
}

Image draw_enemy_white()
{
    Image img(64, 64);
    // A bone-white phantom: round skull, ragged hem.
    std::vector<Sdf> hem_cuts;
    for (int i = 0; i < 4; ++i) hem_cuts.push_back(circle(18.0f + float(i) * 9.5f, 58, 4.2f));
    Sdf ghost = subtract(blend(circle(32, 25, 18), box(32, 44, 17, 13, 3), 4), unite(hem_cuts));
    paint(img, ghost, with_pattern(body(hex(0xf4f6fa), 9), [](float, float y) {
              return mix(hex(0xffffff), hex(0xc8d0e0), smoothstep(20, 58, y));
          }));
    // Eye sockets with red embers, and a jagged grin.
    for (float x : {24.0f, 39.0f}) {
        paint(img, ellipse(x, 26, 5.5f, 6.5f), body(hex(0x1a1424), 3));
        paint(img, circle(x - 1, 27, 2), light(hex(0xff4a3a)));
        glow(img, circle(x - 1, 27, 1.5f), hex(0xff3020), 4.5f, 0.45f);
    }
    paint(img, polygon({{22, 38}, {42, 38}, {40, 44}, {37, 41}, {34, 45}, {31, 41}, {28, 45}, {25, 41}, {23, 43}}),
          body(hex(0x1a1424), 1.5f));
    // Cheek marks so the face reads even at a glance.
    ink_line(img, capsule(16, 34, 20, 36, 0.0f), hex(0x8a90a8), 1.0f);
    ink_line(img, capsule(48, 34, 44, 36, 0.0f), hex(0x8a90a8), 1.0f);
    return img;
}

Image draw_enemy_thin_grey()
{
    Image img(64, 64);
    const Rgba grey = hex(0x9aa0aa);
    // A narrow sentinel robot hovering on a spike: about 20 pixels wide.
    paint(img, polygon({{27, 46}, {37, 46}, {32, 61}}), body(hex(0x5a606a), 3));
    glow(img, circle(32, 60, 1), hex(0x80d0ff), 4, 0.45f);
    paint(img, capsule(24, 24, 23, 42, 2), body(scale_rgb(grey, 0.75f), 2));
    paint(img, capsule(40, 24, 41, 42, 2), body(scale_rgb(grey, 0.75f), 2));
    paint(img, polygon({{25, 21}, {39, 21}, {37, 47}, {27, 47}}), with_pattern(body(grey, 5), [](float, float y) {
              return mix(hex(0xc4c8d0), hex(0x6a707c), smoothstep(22, 47, y));
          }));
    ink_line(img, capsule(28, 31, 36, 31, 0.0f), hex(0x3a3e48), 1.0f);
    ink_line(img, capsule(28.5f, 38, 35.5f, 38, 0.0f), hex(0x3a3e48), 1.0f);
    paint(img, circle(32, 34.5f, 1.6f), light(hex(0x80d0ff)));
    paint(img, box(32, 18.5f, 2.5f, 2.5f), body(hex(0x4a4e58), 1));
    paint(img, box(32, 10, 7.5f, 7, 3), body(hex(0xb0b6c0), 5));
    paint(img, box(31, 10, 5, 1.6f, 1), light(hex(0xff3a2a)));
    glow(img, box(31, 10, 4, 0.8f), hex(0xff3020), 4, 0.4f);
    paint(img, capsule(37, 3, 39, 0.5f, 0.7f), body(hex(0x6a707c), 0.5f));
    return img;
}

Image draw_enemy_thin_dark()
{
    Image img(64, 64);
    // A hooded shade. Dark itself, so its rim is lit violet to stand out against space.
    Sdf cloak = polygon({{32, 3}, {38, 8}, {41, 20}, {42, 40}, {41, 60}, {38, 53}, {36, 61}, {33, 54}, {30, 62},
                         {27, 53}, {24, 60}, {22, 40}, {23, 20}, {26, 8}});
    glow(img, cloak, hex(0x9a50ff), 5, 0.35f);
    Material m = body(hex(0x2c2438), 6);
    m.ink = hex(0xb488ff);
    m.pattern = [](float x, float y) {
        float fold = 0.5f + 0.5f * std::sin((x - 32) * 1.1f + y * 0.05f);
        return mix(hex(0x3a2e4c), hex(0x1a1424), fold * smoothstep(15, 50, y));
    };
    paint(img, cloak, m);
    paint(img, ellipse(32, 15, 5.5f, 6.5f), body(hex(0x07050a), 2));
    for (float x : {30.0f, 34.5f}) {
        paint(img, ellipse(x, 15, 1.1f, 1.6f), light(hex(0xf0b0ff)));
        glow(img, circle(x, 15, 1), hex(0xd060ff), 4, 0.5f);
    }
    // A thin blade held close to the body.
    paint(img, polygon({{38, 26}, {40, 26}, {40, 52}, {39, 56}, {38, 52}}), body(hex(0xc8c0e0), 1.5f));
    return img;
}

namespace {

// The boss's colours and the two strokes every part of it is painted with.
struct BossPaint {
    Rgba fur = hex(0x6e4428);
    Rgba fur_far = scale_rgb(fur, 0.62f);
    Rgba pink = hex(0xe89090);
    Rgba ivory = hex(0xf4ecd0);

    // Shaded fur whose grain runs down the body.
    Material furry(Rgba base, float bevel) const
    {
        return with_pattern(body(base, bevel), [base](float x, float y) {
            float n = fbm(x * 0.45f, y * 0.14f, 71u, 3);
            return scale_rgb(base, 0.78f + 0.44f * n);
        });
    }

    // Three claws fanned out from (x, y) along (dx, dy).
    void claws(Image& img, float x, float y, float dx, float dy, float spread, float len) const
    {
        for (int i = 0; i < 3; ++i) {
            float ox = spread * float(i - 1), oy = -spread * 0.4f * float(i - 1);
            paint(img, taper(x + ox, y + oy, x + ox + dx * len, y + oy + dy * len, 2.0f, 0.3f), body(ivory, 1.5f));
        }
    }
};

// The far limbs in shadow, then the near leg.
void draw_boss_legs(Image& img, const BossPaint& p)
{
    paint(img, taper(41, 94, 45, 115, 9, 7), p.furry(p.fur_far, 6));
    paint(img, ellipse(45, 120, 10, 5.5f), body(hex(0x1e1410), 3));
    p.claws(img, 40, 122, -0.6f, 0.3f, 3.5f, 6);
    paint(img, taper(48, 50, 53, 84, 8, 6.5f), p.furry(p.fur_far, 6));
    p.claws(img, 51, 92, -0.2f, 1.0f, 3.0f, 7);
    paint(img, circle(53, 88, 6), p.furry(p.fur_far, 4));

    paint(img, taper(27, 92, 23, 114, 11.5f, 8), p.furry(p.fur, 7));
    paint(img, ellipse(22, 120, 12, 6), body(hex(0x2a1c16), 3));
    p.claws(img, 12, 122, -0.8f, 0.25f, 4.0f, 7);
}

// A shaggy mane down the hunched back, the barrel of the body, and the spiked far shoulder.
void draw_boss_body(Image& img, const BossPaint& p)
{
    std::vector<Vec2> mane{{30, 36}};
    for (int i = 0; i <= 8; ++i) {
        float t = float(i) / 8.0f;
        float y = 34.0f + t * 46.0f;
        float x = 50.0f + std::sin(t * kPi) * 11.0f;
        mane.push_back({x + (i % 2 ? 6.0f : -1.0f), y + (i % 2 ? 3.0f : 0.0f)});
    }
    mane.push_back({40, 84});
    paint(img, polygon(mane), p.furry(scale_rgb(p.fur, 0.8f), 6));
    Sdf torso = blend(ellipse(37, 62, 21, 27), ellipse(31, 90, 17, 10), 6);
    paint(img, torso, p.furry(p.fur, 12));
    paint(img, ellipse(28, 74, 12, 17), with_pattern(without_outline(body(hex(0xa87060), 8)), [](float, float y) {
              return mix(hex(0xb88070), hex(0x6a3a30), smoothstep(60, 92, y));
          }));
    for (float y : {68.0f, 76.0f, 84.0f})
        ink_line(img, capsule(20, y, 32, y + 1, 0.0f), with_alpha(hex(0x5a2a1e), 0.6f), 1.0f);
    // An old scar across the chest.
    ink_line(img, polyline({{30, 52}, {38, 60}, {44, 64}}, 0.0f), with_alpha(hex(0xe0b0a0), 0.8f), 1.2f);

    for (int i = 0; i < 4; ++i) {
        float a = -2.3f + float(i) * 0.5f;
        float c = std::cos(a), s = std::sin(a);
        paint(img, taper(47 + c * 7, 46 + s * 6, 47 + c * 18, 46 + s * 18, 3.2f, 0.3f), body(hex(0xd0d4dc), 2));
    }
    paint(img, ellipse(47, 47, 12, 8.5f), with_pattern(body(hex(0x505868), 5), [](float x, float y) {
              return mix(hex(0x6a7488), hex(0x2a3040), smoothstep(40, 56, y + x * 0.1f));
          }));
    for (float x : {41.0f, 47.0f, 53.0f}) paint(img, circle(x, 49.5f, 1.1f), body(hex(0xd0d4dc), 0.8f));
}

// Head thrust forward and low: bear skull, pig snout, open jaw with tusks. Ears laid back and
// torn to points: nothing cuddly about this bear.
void draw_boss_head(Image& img, const BossPaint& p)
{
    paint(img, polygon({{28, 20}, {38, 17}, {41, 5}}), p.furry(p.fur, 3));
    paint(img, polygon({{31, 17.5f}, {37, 16}, {39, 9}}), without_outline(body(scale_rgb(p.pink, 0.75f), 2)));
    paint(img, polygon({{8, 40}, {26, 38}, {30, 46}, {14, 47}}), p.furry(scale_rgb(p.fur, 0.85f), 4));
    paint(img, polygon({{11, 40.5f}, {26, 39}, {24, 42}, {13, 43}}), body(hex(0x3a0a0a), 1));
    for (float x : {14.0f, 18.0f, 22.0f})
        paint(img, polygon({{x, 39.5f}, {x + 2.4f, 39.5f}, {x + 1.2f, 42.5f}}), body(p.ivory, 1));
    paint(img, blend(circle(26, 29, 13), ellipse(19, 35, 12, 6.5f), 4), p.furry(p.fur, 9));
    paint(img, polygon({{16, 19}, {25, 17}, {24, 5}}), p.furry(p.fur, 3));
    paint(img, polygon({{18.5f, 17.5f}, {23.5f, 16.5f}, {23, 10}}), without_outline(body(scale_rgb(p.pink, 0.75f), 2)));
    paint(img, ellipse(8, 33, 7.5f, 6.5f), body(p.pink, 5));
    paint(img, ellipse(4.8f, 33, 1.3f, 2.4f), body(hex(0x401818), 1));
    paint(img, ellipse(10, 33, 1.3f, 2.4f), body(hex(0x401818), 1));
    // Tusks curl up past the snout.
    paint(img, polygon({{10, 42}, {15.5f, 40.5f}, {9, 31}, {5, 24}, {7.5f, 32}}), body(p.ivory, 1.5f));
    paint(img, polygon({{20.5f, 40.5f}, {25, 39.5f}, {21, 32}, {18, 28}, {19.5f, 33}}), body(p.ivory, 1.5f));
    // Furious glowing eye under a heavy brow.
    glow(img, circle(18.5f, 26, 2), hex(0xff2a10), 8, 0.5f);
    paint(img, ellipse(19, 26, 3.8f, 3), body(hex(0x200808), 1));
    paint(img, circle(18.5f, 26.2f, 2), light(hex(0xffd040)));
    paint(img, circle(18.5f, 26.2f, 1.0f), light(hex(0xff3010)));
    paint(img, polygon({{11, 19}, {29, 22}, {28, 25.5f}, {12, 22.5f}}), body(hex(0x2a160e), 2));
}

// The near arm, reaching forward with long claws.
void draw_boss_arm(Image& img, const BossPaint& p)
{
    paint(img, taper(29, 50, 22, 68, 10.5f, 8), p.furry(p.fur, 7));
    paint(img, taper(22, 68, 13, 82, 8.5f, 7), p.furry(p.fur, 6));
    paint(img, circle(13, 86, 7.5f), p.furry(p.fur, 5));
    p.claws(img, 8, 90, -0.55f, 0.85f, 3.2f, 10);
}

}  // namespace

// Painted back to front: far limbs, near leg, body, head, near arm.
Image draw_boss()
{
    Image img(64, 128);
    const BossPaint p;
    draw_boss_legs(img, p);
    draw_boss_body(img, p);
    draw_boss_head(img, p);
    draw_boss_arm(img, p);
    // A smouldering red halo sets it apart from everything else on screen.
    aura(img, hex(0xff2a10), 4.0f, 0.55f);
    return img;
}

Image draw_bullet()
{
    Image img(8, 8);
    // A hot plasma pellet: white core, yellow halo that fades out before the edge.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            float r = std::hypot(float(x) + 0.5f - 4.0f, float(y) + 0.5f - 4.0f) / 4.0f;
            float a = clamp01(1.0f - smoothstep(0.5f, 1.0f, r));
            Rgba c = ramp({rgb(1, 1, 1), hex(0xfffac0), hex(0xffd040), hex(0xff8010), hex(0xe04000)}, r);
            img.at(x, y) = with_alpha(c, a);
        }
    return img;
}

Image draw_rocket()
{
    Image img(16, 16);
    // Few, bright parts: at 16 pixels every inked rim costs detail.
    glow(img, ellipse(2.5f, 8, 3, 2), kEngineGlow, 3, 0.6f);
    paint(img, ellipse(3, 8, 2.6f, 1.4f), light(kEngineHot));
    Material fins = body(hex(0xff4a30), 1.5f);
    fins.outline = 0.0f;
    paint(img, polygon({{3, 2}, {8.5f, 6.5f}, {8.5f, 9.5f}, {3, 14}, {5, 8}}), fins);
    Material hull = body(hex(0xe8ecf2), 2.5f);
    hull.ink = hex(0x2a3040);
    hull.pattern = [](float, float y) { return mix(hex(0xffffff), hex(0x9aa4b6), smoothstep(6, 10.5f, y)); };
    paint(img, capsule(6, 8, 11, 8, 3.0f), hull);
    Material nose = body(hex(0xff5a2a), 1.5f);
    nose.outline = 0.5f;
    nose.ink = hex(0x7a1a10);
    paint(img, polygon({{11, 4.8f}, {16, 8}, {11, 11.2f}}), nose);
    return img;
}

Image draw_crosshair()
{
    Image img(24, 24);
    // The game puts the image's top-left pixel on the aim point, so the arrow's tip is that pixel.
    Sdf arrow = polygon({{0, 0}, {17, 7}, {10, 10}, {7, 17}});
    Sdf tail = capsule(9, 9, 20, 20, 1.6f);
    Sdf shape = unite(arrow, tail);
    // A dark shadow below and to the right keeps it readable over bright ground.
    paint(img, shift(shape, 1.2f, 1.2f), without_outline(body(hex(0x0a1408, 0.85f), 1)));
    Material m = light(hex(0x86ff4a));
    m.pattern = [](float x, float y) { return mix(hex(0xe8ffd0), hex(0x5ad82a), smoothstep(0, 16, x + y)); };
    paint(img, shape, m);
    ink_line(img, polyline({{3, 3}, {10, 10}}, 0.0f), with_alpha(hex(0x2a7a10), 0.9f), 1.0f, {0, 0, 12, 12});
    paint(img, box(0.75f, 0.75f, 0.75f, 0.75f), light(rgb(1, 1, 1)));
    return img;
}

Image draw_medkit()
{
    Image img(32, 32);
    paint(img, subtract(box(16, 8, 7, 5, 2.5f), box(16, 9.5f, 4, 3, 1)), body(hex(0x50586a), 2));
    paint(img, box(16, 19, 14, 10.5f, 3), with_pattern(body(hex(0xf2f4f8), 6), [](float, float y) {
              return mix(hex(0xffffff), hex(0xb8c0d0), smoothstep(10, 30, y));
          }));
    Material cross = body(hex(0xe8302a), 2);
    cross.shine = 0.5f;
    paint(img, unite(box(16, 19, 7, 2.6f, 0.6f), box(16, 19, 2.6f, 7, 0.6f)), cross);
    return img;
}

Image draw_explosion()
{
    constexpr int kSize = 256;
    Image img(kSize, kSize);
    const float c = float(kSize) / 2.0f;
    const std::vector<Rgba> heat = {hex(0x200400), hex(0x7a1804), hex(0xd84a08), hex(0xff9418), hex(0xffd860),
                                    hex(0xfff8d8)};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float dx = float(x) + 0.5f - c, dy = float(y) + 0.5f - c;
            float r = std::hypot(dx, dy) / (c - 1.0f);
            // Billows: large noise bends the radius so the ball is lumpy; finer noise streaks the flames.
            float n = fbm(float(x) / 30.0f, float(y) / 30.0f, 907u, 4);
            float fine = fbm(float(x) / 12.0f, float(y) / 12.0f, 908u, 3);
            float rr = r * (0.82f + 0.42f * n);
            float body_amount = 1.0f - smoothstep(0.0f, 0.92f, rr);
            float core = std::exp(-(rr / 0.28f) * (rr / 0.28f));
            // The rim fade depends on the true radius only, so alpha reaches exactly 0 at the edge.
            float rim = 1.0f - smoothstep(0.5f, 0.98f, r);
            float a = std::pow(body_amount, 1.1f) * rim * (0.85f + 0.3f * fine);
            float t = clamp01(0.6f * body_amount + 0.45f * core + 0.5f * (n - 0.5f) + 0.2f * (fine - 0.5f));
            img.at(x, y) = with_alpha(ramp(heat, t), clamp01(a));
        }
    }
    return img;
}

}  // namespace assetgen
