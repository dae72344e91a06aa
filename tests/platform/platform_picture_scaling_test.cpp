// Where the 800 x 600 picture goes on any screen, and how it is scaled there.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/picture_fit.h"
#include "picture_scaler.h"

namespace {

using platform::PictureScaler;
using platform::ScaleFilter;

void expect_rect(const PixelRect& rect, int x, int y, int width, int height) {
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

TEST(PictureFit, FillsTheLargestCentredAreaOfItsShapeAndKnowsWholeFactors) {
    PictureFit fit = fit_picture(800, 600, 1920, 1080);
    expect_rect(fit.target, 240, 0, 1440, 1080);
    EXPECT_EQ(fit.whole_factor, 0);
    PixelRect bars[4];
    ASSERT_EQ(bars_around(fit.target, 1920, 1080, bars), 2);
    expect_rect(bars[0], 0, 0, 240, 1080);
    expect_rect(bars[1], 1680, 0, 240, 1080);

    EXPECT_EQ(fit_picture(800, 600, 800, 600).whole_factor, 1);
    EXPECT_EQ(fit_picture(800, 600, 1600, 1200).whole_factor, 2);
    fit = fit_picture(800, 600, 2400, 1900);  // taller than 4:3: bars above and below
    expect_rect(fit.target, 0, 50, 2400, 1800);
    EXPECT_EQ(fit.whole_factor, 3);
    ASSERT_EQ(bars_around(fit.target, 2400, 1900, bars), 2);
    expect_rect(bars[0], 0, 0, 2400, 50);
    expect_rect(bars[1], 0, 1850, 2400, 50);

    // One pixel short of 2 x is not whole: the picture must not be cropped to make it so.
    fit = fit_picture(800, 600, 1599, 1200);
    expect_rect(fit.target, 0, 0, 1599, 1199);
    EXPECT_EQ(fit.whole_factor, 0);
    fit = fit_picture(800, 600, 1024, 768);
    EXPECT_EQ(fit.whole_factor, 0);
    expect_rect(fit.target, 0, 0, 1024, 768);

    fit = fit_picture(800, 600, 0, 1080);
    expect_rect(fit.target, 0, 0, 0, 0);
    EXPECT_EQ(bars_around(fit.target, 0, 1080, bars), 0);
}

TEST(PictureFit, SharpPrescaleCoversTheTargetAndWindowsShrinkToTheUsableArea) {
    EXPECT_EQ(sharp_prescale(800, 600, PixelRect{240, 0, 1440, 1080}), 2);
    EXPECT_EQ(sharp_prescale(800, 600, PixelRect{0, 0, 2880, 2160}), 4);  // 3.6 x
    EXPECT_EQ(sharp_prescale(800, 600, PixelRect{0, 0, 640, 480}), 1);

    int width = 800, height = 600;
    fit_window_size(&width, &height, 1920, 1050);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    fit_window_size(&width, &height, 1024, 560);
    EXPECT_EQ(width, 746);
    EXPECT_EQ(height, 560);
    width = 800, height = 600;
    fit_window_size(&width, &height, 640, 480);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
}

constexpr std::uint32_t BLACK = 0xFF000000u;
constexpr std::uint32_t UNTOUCHED = 0x12345678u;

struct Screen {
    int width, height, pitch;
    std::vector<std::uint32_t> pixels;
    Screen(int w, int h)
        : width(w), height(h), pitch(w + 3), pixels(static_cast<std::size_t>(pitch) * h, UNTOUCHED) {}
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * pitch + x]; }
};

Screen scaled(const std::vector<std::uint32_t>& picture, int picture_width, int picture_height, int width,
              int height, ScaleFilter filter) {
    Screen screen(width, height);
    PictureScaler scaler;
    scaler.prepare(picture_width, picture_height, width, height, filter);
    scaler.scale(picture.data(), picture_width, screen.pixels.data(), screen.pitch);
    return screen;
}

TEST(PictureScaler, WholeFactorsCopyEveryPixelExactlyAndTheBarsAreBlack) {
    EXPECT_EQ(platform::plan_scale(800, 600, 800, 600, ScaleFilter::sharp).way, platform::ScaleWay::one_to_one);
    EXPECT_EQ(platform::plan_scale(800, 600, 1600, 1200, ScaleFilter::sharp).way, platform::ScaleWay::replicate);
    EXPECT_EQ(platform::plan_scale(800, 600, 1920, 1080, ScaleFilter::sharp).way, platform::ScaleWay::filtered);
    // A width that is no multiple of four leaves pixels after the last group of four; every
    // factor from the plain copy to the broadcast of the widest.
    const int w = 10, h = 6;
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = 0x80000000u | static_cast<std::uint32_t>(i * 0x010305);
    for (int factor = 1; factor <= 6; ++factor) {
        SCOPED_TRACE(factor);
        const int width = w * factor + 4, height = h * factor;  // bars of 2 each side
        const Screen screen = scaled(picture, w, h, width, height, ScaleFilter::sharp);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool bar = x < 2 || x >= width - 2;
                const std::uint32_t wanted =
                    bar ? BLACK : picture[static_cast<std::size_t>(y / factor) * w + (x - 2) / factor];
                ASSERT_EQ(screen.at(x, y), wanted) << "at " << x << "," << y;
            }
            for (int x = width; x < screen.pitch; ++x) ASSERT_EQ(screen.at(x, y), UNTOUCHED);  // beyond the width
        }
    }
}

TEST(PictureScaler, FilteredScalingKeepsFlatColourExactSymmetryAndBlendsOnlyBetweenNeighbours) {
    for (const ScaleFilter filter : {ScaleFilter::linear, ScaleFilter::sharp}) {
        SCOPED_TRACE(filter == ScaleFilter::linear ? "linear" : "sharp");
        // Flat colour stays exactly itself in every channel at a factor of 1.8.
        const std::vector<std::uint32_t> flat(800 * 600, 0xFF806F01u);
        const Screen wide = scaled(flat, 800, 600, 1920, 1080, filter);
        for (int y = 0; y < 1080; y += 7)
            for (int x = 0; x < 1920; x += 3) ASSERT_EQ(wide.at(x, y), x < 240 || x >= 1680 ? BLACK : 0xFF806F01u);

        // Left half white, right half red, top half opaque, bottom half clear: a symmetric picture
        // gives a symmetric result, and every blended pixel lies between its two neighbours.
        const int w = 10, h = 8;
        std::vector<std::uint32_t> picture(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture[static_cast<std::size_t>(y) * w + x] =
                    (y < h / 2 ? 0xFF000000u : 0u) | (x < w / 2 ? 0xFFFFFFu : 0xFF0000u);
        const Screen screen = scaled(picture, w, h, 18, 15, filter);  // 1.8 x: 18 x 14, centred at y = 0
        for (int y = 0; y < 14; ++y) {
            for (int x = 0; x < 18; ++x) {
                const std::uint32_t pixel = screen.at(x, y);
                const std::uint32_t mirrored_x = screen.at(17 - x, y);
                EXPECT_EQ(pixel >> 24, 255 - (screen.at(x, 13 - y) >> 24)) << x << "," << y;
                EXPECT_EQ(pixel & 0xFF00FF, 0xFF00FFu - ((mirrored_x & 0xFF00FF) - 0xFF0000u)) << x << "," << y;
                EXPECT_EQ((pixel >> 8) & 0xFF, pixel & 0xFF);  // green and blue travel together
                EXPECT_EQ((pixel >> 16) & 0xFF, 0xFFu);
            }
        }
        EXPECT_EQ(screen.at(0, 0), 0xFFFFFFFFu);
        EXPECT_EQ(screen.at(17, 13), 0x00FF0000u);
        for (int x = 0; x < 18; ++x) EXPECT_EQ(screen.at(x, 14), BLACK);  // the bar below
    }
    // Sharp-bilinear blends only at the edges between picture pixels: in each picture pixel's
    // interior the colour is exact. Linear blends wherever the samples fall between pixels.
    std::vector<std::uint32_t> stripes(800 * 600);
    for (std::size_t i = 0; i < stripes.size(); ++i) stripes[i] = (i % 2) != 0 ? 0xFFFFFFFFu : BLACK;
    int sharp_blended = 0, linear_blended = 0;
    const Screen sharp = scaled(stripes, 800, 600, 1920, 1080, ScaleFilter::sharp);
    const Screen linear = scaled(stripes, 800, 600, 1920, 1080, ScaleFilter::linear);
    for (int x = 240; x < 1680; ++x) {
        sharp_blended += sharp.at(x, 500) != BLACK && sharp.at(x, 500) != 0xFFFFFFFFu;
        linear_blended += linear.at(x, 500) != BLACK && linear.at(x, 500) != 0xFFFFFFFFu;
    }
    EXPECT_LE(sharp_blended, 800);  // at most one blended column per edge
    EXPECT_GT(linear_blended, 1200);
}

// A window surface keeps what was scaled into it: scaling only the rows that changed must leave
// it as scaling the whole new picture would, whichever way the plan goes.
TEST(PictureScaler, RowsScaledAgainLeaveThePictureAsAWholeScaleWould) {
    const int w = 12, h = 9;
    std::vector<std::uint32_t> before(static_cast<std::size_t>(w) * h), after;
    for (std::size_t i = 0; i < before.size(); ++i) before[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x0A0B0C);
    after = before;
    for (int x = 0; x < w; ++x) after[4 * w + x] = after[5 * w + x] = 0xFFFFFFFFu;  // rows 4 and 5 change
    for (const auto& [width, height] : {std::pair{12, 9}, std::pair{24, 18}, std::pair{22, 16}, std::pair{40, 21}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        Screen screen(width, height);
        PictureScaler scaler;
        scaler.prepare(w, h, width, height, ScaleFilter::sharp);
        scaler.scale(before.data(), w, screen.pixels.data(), screen.pitch);
        const PixelRect part = scaler.scale_rows(after.data(), w, screen.pixels.data(), screen.pitch, 4, 6);
        const Screen whole = scaled(after, w, h, width, height, ScaleFilter::sharp);
        EXPECT_EQ(screen.pixels, whole.pixels);
        EXPECT_LT(part.height, height) << "only the rows that read the changed ones";
        EXPECT_GT(part.height, 0);
    }
}

}  // namespace
