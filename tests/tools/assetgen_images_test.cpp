// The generated pictures, decoded from their encoded bytes by a reader written here independently of
// the encoder, checked against the sizes, alpha and looks the game relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "assetgen/assets.h"
#include "assetgen/encode.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    int bits = 0;        // bits per pixel in the file
    int alpha_bits = 0;  // TGA only
    int tga_type = 0;    // 2 plain, 10 run-length encoded
    std::vector<uint8_t> rgba;  // rows top first

    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    int alpha(int x, int y) const { return at(x, y)[3]; }
};

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + size_t(i));
    return v;
}

// Truevision TGA, 32-bit true colour, plain or run-length encoded, either row order.
Picture read_tga(const std::vector<uint8_t>& f)
{
    Picture p;
    size_t id_len = f.at(0);
    if (f.at(1) != 0) throw std::runtime_error("colour-mapped TGA");
    p.tga_type = f.at(2);
    p.width = int(le(f, 12, 2));
    p.height = int(le(f, 14, 2));
    p.bits = f.at(16);
    p.alpha_bits = f.at(17) & 15;
    bool top_first = (f.at(17) & 0x20) != 0;
    if (p.bits != 32) throw std::runtime_error("not 32-bit");
    std::vector<uint8_t> bgra;
    size_t pos = 18 + id_len, want = size_t(p.width) * size_t(p.height) * 4;
    if (p.tga_type == 2) {
        bgra.assign(f.begin() + long(pos), f.begin() + long(pos + want));
    } else if (p.tga_type == 10) {
        while (bgra.size() < want) {
            uint8_t head = f.at(pos++);
            size_t count = size_t(head & 127) + 1;
            if (head & 128) {
                for (size_t i = 0; i < count; ++i) bgra.insert(bgra.end(), f.begin() + long(pos), f.begin() + long(pos + 4));
                pos += 4;
            } else {
                bgra.insert(bgra.end(), f.begin() + long(pos), f.begin() + long(pos + 4 * count));
                pos += 4 * count;
            }
        }
    } else {
        throw std::runtime_error("unexpected TGA type");
    }
    if (bgra.size() != want) throw std::runtime_error("pixel runs overflow the image");
    p.rgba.resize(want);
    for (int y = 0; y < p.height; ++y) {
        int src_y = top_first ? y : p.height - 1 - y;
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* s = &bgra[(size_t(src_y) * size_t(p.width) + size_t(x)) * 4];
            uint8_t* d = &p.rgba[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
            d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
        }
    }
    return p;
}

// Windows BMP, 24-bit, uncompressed, bottom-up.
Picture read_bmp(const std::vector<uint8_t>& f)
{
    if (f.at(0) != 'B' || f.at(1) != 'M') throw std::runtime_error("not a BMP");
    Picture p;
    size_t offset = le(f, 10, 4);
    p.width = int(le(f, 18, 4));
    p.height = int(le(f, 22, 4));
    p.bits = int(le(f, 28, 2));
    if (p.bits != 24 || le(f, 30, 4) != 0) throw std::runtime_error("not plain 24-bit");
    size_t stride = (size_t(p.width) * 3 + 3) & ~size_t(3);
    p.rgba.resize(size_t(p.width) * size_t(p.height) * 4);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* s = &f.at(offset + size_t(p.height - 1 - y) * stride + size_t(x) * 3);
            uint8_t* d = &p.rgba[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
            d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = 255;
        }
    return p;
}

Picture load(const std::string& name) { return read_tga(assetgen::generate_asset(name)); }

float luma(const uint8_t* px) { return 0.299f * px[0] + 0.587f * px[1] + 0.114f * px[2]; }

struct Ink {
    int count = 0;          // pixels at least half opaque
    float r = 0, g = 0, b = 0;  // their mean colour
    int x0 = 1 << 30, x1 = -1, y0 = 1 << 30, y1 = -1;  // their bounding box
    float mean_x = 0;
};

Ink ink(const Picture& p, int rows_from = 0, int rows_to = -1)
{
    Ink k;
    if (rows_to < 0) rows_to = p.height;
    for (int y = rows_from; y < rows_to; ++y)
        for (int x = 0; x < p.width; ++x) {
            if (p.alpha(x, y) < 128) continue;
            const uint8_t* c = p.at(x, y);
            ++k.count;
            k.r += c[0], k.g += c[1], k.b += c[2];
            k.mean_x += float(x);
            k.x0 = std::min(k.x0, x), k.x1 = std::max(k.x1, x), k.y0 = std::min(k.y0, y), k.y1 = std::max(k.y1, y);
        }
    if (k.count) k.r /= float(k.count), k.g /= float(k.count), k.b /= float(k.count), k.mean_x /= float(k.count);
    return k;
}

TEST(AssetgenImages, EncodingsRoundTripExactly)
{
    // Long runs of one colour and stretches of changing ones use both kinds of TGA packet; the
    // gradient down the rows catches a flipped row order.
    assetgen::Image img(37, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            img.at(x, y) = x < 20 ? assetgen::rgb(0.2f, 0.4f, 0.6f) : assetgen::rgb(float(x) / 37, float(y) / 5, 0.5f, float(x % 3) / 2);
    std::vector<uint8_t> expected = img.rgba8();
    Picture tga = read_tga(assetgen::encode_tga(img));
    EXPECT_EQ(tga.tga_type, 10);
    EXPECT_EQ(tga.rgba, expected);
    Picture bmp = read_bmp(assetgen::encode_bmp(img));
    ASSERT_EQ(bmp.rgba.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i % 4 != 3) {
            ASSERT_EQ(bmp.rgba[i], expected[i]) << i;
        }
    }
}

TEST(AssetgenImages, EverySpriteHasItsSizeAndAnAlphaChannel)
{
    struct Expect {
        const char* name;
        int w, h;
    };
    const Expect sprites[] = {{"Player.tga", 64, 64},     {"eRed.tga", 64, 64},       {"eGreen.tga", 64, 64},
                              {"eBlue.tga", 64, 64},      {"eWhite.tga", 64, 64},     {"eThinGrey.tga", 64, 64},
                              {"eThinDark.tga", 64, 64},  {"manbearpig.tga", 64, 128}, {"bullet.tga", 8, 8},
                              {"rocket1.tga", 16, 16},    {"medkit.tga", 32, 32}};
    for (const Expect& e : sprites) {
        SCOPED_TRACE(e.name);
        Picture p = load(e.name);
        EXPECT_EQ(p.width, e.w);
        EXPECT_EQ(p.height, e.h);
        EXPECT_EQ(p.alpha_bits, 8);
        EXPECT_EQ(p.tga_type, 10);
        // A sprite stands free on a transparent canvas and is more than a few stray pixels.
        EXPECT_EQ(p.alpha(0, 0), 0);
        EXPECT_EQ(p.alpha(p.width - 1, p.height - 1), 0);
        EXPECT_GT(ink(p).count, p.width * p.height / 8);
    }
}

TEST(AssetgenImages, EachEnemyIsDominatedByItsColourAndTheThinOnesAreNarrow)
{
    Ink red = ink(load("eRed.tga")), green = ink(load("eGreen.tga")), blue = ink(load("eBlue.tga"));
    Ink white = ink(load("eWhite.tga")), grey = ink(load("eThinGrey.tga")), dark = ink(load("eThinDark.tga"));
    EXPECT_GT(red.r, 1.6f * std::max(red.g, red.b));
    EXPECT_GT(green.g, 1.3f * std::max(green.r, green.b));
    EXPECT_GT(blue.b, 1.3f * std::max(blue.r, blue.g));
    // White: light, and no colour of its own (its dark eyes and grin pull the mean down a little).
    EXPECT_GT(std::min({white.r, white.g, white.b}), 150.0f);
    EXPECT_LT(std::max({white.r, white.g, white.b}) - std::min({white.r, white.g, white.b}), 25.0f);
    // Grey: no channel strays far from the others, and it is neither white nor black.
    float grey_mean = (grey.r + grey.g + grey.b) / 3.0f;
    EXPECT_LT(std::max({grey.r, grey.g, grey.b}) - std::min({grey.r, grey.g, grey.b}), 30.0f);
    EXPECT_GT(grey_mean, 80.0f);
    EXPECT_LT(grey_mean, 200.0f);
    EXPECT_LT((dark.r + dark.g + dark.b) / 3.0f, 90.0f);
    for (const Ink* thin : {&grey, &dark}) EXPECT_LE(thin->x1 - thin->x0 + 1, 28);
    for (const Ink* wide : {&red, &green, &blue, &white}) EXPECT_GE(wide->x1 - wide->x0 + 1, 34);
}

TEST(AssetgenImages, BossOutweighsEveryEnemyAndFacesLeft)
{
    Picture boss = load("manbearpig.tga");
    ASSERT_EQ(boss.width, 64);
    ASSERT_EQ(boss.height, 128);
    int biggest = 0;
    for (const char* n : {"eRed.tga", "eGreen.tga", "eBlue.tga", "eWhite.tga", "eThinGrey.tga", "eThinDark.tga"})
        biggest = std::max(biggest, ink(load(n)).count);
    EXPECT_GT(ink(boss).count, 2 * biggest);
    // The game mirrors the boss when it moves right, so unmirrored its head, snout first, leans to
    // the left of the canvas's centre line (31.5); mirrored it would lean as far to the right.
    EXPECT_LT(ink(boss, 0, 40).mean_x, 30.0f);
}

TEST(AssetgenImages, CrosshairPointsWithItsTopLeftPixel)
{
    Picture c = load("crosshair4.tga");
    EXPECT_GE(c.alpha(0, 0), 200);
    EXPECT_GT(luma(c.at(0, 0)), 150.0f);
    Ink k = ink(c);
    EXPECT_EQ(k.x0, 0);
    EXPECT_EQ(k.y0, 0);
    // The body of the pointer trails away down and to the right of the hot spot.
    EXPECT_EQ(c.alpha(c.width - 1, 0), 0);
    EXPECT_EQ(c.alpha(0, c.height - 1), 0);
}

TEST(AssetgenImages, ExplosionFadesSmoothlyToAFullyTransparentRim)
{
    Picture e = load("explosion.tga");
    ASSERT_GE(e.width, 128);
    ASSERT_EQ(e.width, e.height);
    const int n = e.width;
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(e.alpha(i, 0), 0) << i;
        ASSERT_EQ(e.alpha(i, n - 1), 0) << i;
        ASSERT_EQ(e.alpha(0, i), 0) << i;
        ASSERT_EQ(e.alpha(n - 1, i), 0) << i;
    }
    EXPECT_GT(e.alpha(n / 2, n / 2), 200);
    // Drawn up to 2100 pixels wide, any step between neighbouring texels would show as a ring.
    int worst = 0;
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x)
            worst = std::max({worst, std::abs(e.alpha(x, y) - e.alpha(x + 1, y)), std::abs(e.alpha(x, y) - e.alpha(x, y + 1))});
    EXPECT_LE(worst, 12);
}

TEST(AssetgenImages, BackgroundsHaveAClearSkyAndSolidGroundThatChangesAlongTheStage)
{
    const int widths[] = {1600, 2400, 3200};
    float mean_colour[3][3] = {};
    for (int stage = 0; stage < 3; ++stage) {
        SCOPED_TRACE(stage);
        Picture bg = load("bg" + std::to_string(stage) + ".tga");
        ASSERT_EQ(bg.width, widths[stage]);
        ASSERT_EQ(bg.height, 600);
        EXPECT_EQ(bg.alpha_bits, 8);
        EXPECT_EQ(bg.tga_type, 10);
        std::vector<int> skyline(size_t(bg.width), bg.height);
        for (int x = 0; x < bg.width; ++x) {
            ASSERT_EQ(bg.alpha(x, 0), 0) << "sky at column " << x;
            ASSERT_EQ(bg.alpha(x, bg.height - 1), 255) << "ground at column " << x;
            for (int y = 0; y < bg.height; ++y)
                if (bg.alpha(x, y) == 255) {
                    skyline[size_t(x)] = y;
                    break;
                }
        }
        // Every screen's worth of the stage has its own shape, not a flat strip.
        for (int s = 0; s < bg.width / 800; ++s) {
            auto first = skyline.begin() + s * 800, last = first + 800;
            EXPECT_GT(*std::max_element(first, last) - *std::min_element(first, last), 40) << "screen " << s;
        }
        Ink k = ink(bg);
        mean_colour[stage][0] = k.r, mean_colour[stage][1] = k.g, mean_colour[stage][2] = k.b;
    }
    // Each stage has a look of its own.
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b) {
            float d = std::fabs(mean_colour[a][0] - mean_colour[b][0]) + std::fabs(mean_colour[a][1] - mean_colour[b][1]) +
                      std::fabs(mean_colour[a][2] - mean_colour[b][2]);
            EXPECT_GT(d, 30.0f) << a << " vs " << b;
        }
}

TEST(AssetgenImages, TitleIsA24BitPictureWithALightBandUnderTheLevelLine)
{
    Picture t = read_bmp(assetgen::generate_asset("startscreen.bmp"));
    ASSERT_EQ(t.width, 800);
    ASSERT_EQ(t.height, 600);
    EXPECT_EQ(t.bits, 24);
    // The game writes "welcome to level N" in opaque black at (150, 500), 52 pixels tall.
    float darkest = 255.0f;
    for (int y = 495; y <= 560; ++y)
        for (int x = 0; x < 800; ++x) darkest = std::min(darkest, luma(t.at(x, y)));
    EXPECT_GE(darkest, 180.0f);
    // The rest of the picture is a dark scene, so the band stands out.
    double sum = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 800; ++x) sum += luma(t.at(x, y));
    EXPECT_LT(sum / (480.0 * 800.0), 110.0);
}

}  // namespace
