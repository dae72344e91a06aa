// The bitmap font: the glyph table read from the strip's marks, the texture built from the
// file, and the quads that strings and numbers are drawn with.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <headless.h>

#include "gfx/font.h"
#include "support/game_fixture.h"
#include "world/world.h"

namespace {

// The game's strip: its size and glyph spacing, and the byte values of a glyph mark and of ink.
constexpr int32_t strip_width = 648, strip_height = 12, spacing = 2;
constexpr uint8_t mark = 255, ink = 100;

// A top row with one cell per width: a lead column, the glyph's columns, a mark. A width of
// -1 is a cell that begins on a mark, i.e. two marks in a row.
std::vector<uint8_t> top_row(const std::vector<int>& widths, int32_t total = strip_width) {
    std::vector<uint8_t> row;
    for (int w : widths) {
        if (w < 0) {
            row.push_back(mark);
            continue;
        }
        row.push_back(0);
        row.insert(row.end(), static_cast<size_t>(w), ink);
        row.push_back(mark);
    }
    EXPECT_LE(row.size(), static_cast<size_t>(total));
    row.resize(static_cast<size_t>(total), 0);
    return row;
}

// Widths for all 96 codes that differ from neighbour to neighbour.
std::vector<int> varied_widths() {
    std::vector<int> widths;
    for (int c = 32; c <= 127; ++c) widths.push_back(1 + c % 5);
    return widths;
}

TEST(GlyphTable, EachCellGivesItsStartAndWidth) {
    const std::vector<int> widths = varied_widths();
    BitmapFont font{};
    build_glyph_table(top_row(widths).data(), strip_width, font);
    int32_t p = 0;
    for (int c = 32; c <= 127; ++c) {
        const int w = widths[static_cast<size_t>(c - 32)];
        EXPECT_EQ(font.glyph_start[c], p + 1) << "code " << c;
        EXPECT_EQ(font.glyph_width[c], w) << "code " << c;
        p += w + 2;
    }
    // Codes outside 32..127 have no entry.
    for (int c : {0, 10, 31, 128, 200, 255}) {
        EXPECT_EQ(font.glyph_start[c], 0);
        EXPECT_EQ(font.glyph_width[c], 0);
    }
}

TEST(GlyphTable, ACellBeginningOnAMarkHasWidthMinusOne) {
    std::vector<int> widths = varied_widths();
    widths['B' - 32] = -1;
    BitmapFont font{};
    build_glyph_table(top_row(widths).data(), strip_width, font);
    const int32_t a_end = font.glyph_start['A'] + font.glyph_width['A'];  // A's mark column
    EXPECT_EQ(font.glyph_width['B'], -1);
    EXPECT_EQ(font.glyph_start['B'], a_end + 2);
    // The next cell begins right after that second mark.
    EXPECT_EQ(font.glyph_start['C'], a_end + 3);
    EXPECT_EQ(font.glyph_width['C'], widths['C' - 32]);
}

TEST(GlyphTable, AStripWithFewerThan96MarksLeavesTheRestWithoutGlyphs) {
    // Ten cells exactly fill a narrow strip; the scan must stop at its end.
    const std::vector<int> widths(10, 3);
    const std::vector<uint8_t> row = top_row(widths, 50);
    BitmapFont font{};
    build_glyph_table(row.data(), static_cast<int32_t>(row.size()), font);
    EXPECT_EQ(font.glyph_width[41], 3);
    for (int c = 42; c <= 127; ++c) {
        EXPECT_EQ(font.glyph_start[c], 0) << "code " << c;
        EXPECT_EQ(font.glyph_width[c], 0) << "code " << c;
    }

    // No marks at all: no glyphs at all.
    const std::vector<uint8_t> blank(64, 0);
    build_glyph_table(blank.data(), 64, font);
    for (int c = 32; c <= 127; ++c) EXPECT_EQ(font.glyph_width[c], 0);
}

// "font.raw" bytes: three per pixel, the coverage in the third; the first two hold other values.
std::vector<uint8_t> font_file(const std::vector<uint8_t>& first_row, int rows, uint8_t body = 0x40) {
    std::vector<uint8_t> bytes;
    for (int r = 0; r < rows; ++r)
        for (size_t i = 0; i < first_row.size(); ++i) {
            bytes.push_back(0x11);
            bytes.push_back(0x22);
            bytes.push_back(r == 0 ? first_row[i] : static_cast<uint8_t>(body + r));
        }
    return bytes;
}

using Quads = std::vector<headless::QuadRecord>;

class Font : public GameFixture {
protected:
    void TearDown() override {
        if (world.font.texture != nullptr) world.font.texture->Release();
        world.font.texture = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(folder(), ignored);
        GameFixture::TearDown();
    }

    static std::filesystem::path folder() {
        return std::filesystem::temp_directory_path() /
               ("zorvalen-font-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    }
    static std::string write(const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(folder());
        const std::filesystem::path path = folder() / "font.raw";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    void load(const std::vector<int>& widths) {
        load_font(write(font_file(top_row(widths), strip_height)).c_str(), world.font, strip_width, strip_height,
                  spacing);
        ASSERT_NE(world.font.texture, nullptr);
    }

    // The texel at (x, y) of the font's texture.
    static uint32_t texel(int x, int y) {
        D3DLOCKED_RECT locked{};
        if (FAILED(world.font.texture->LockRect(0, &locked, nullptr, 0))) return 0xDEADBEEF;
        uint32_t value;
        std::memcpy(&value, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
        world.font.texture->UnlockRect(0);
        return value;
    }

    template <typename Action>
    static Quads drawn_by(Action&& action) {
        const int before = headless::current_draws().count;
        action();
        const headless::DrawLog log = headless::current_draws();
        return Quads(log.quads + before, log.quads + log.count);
    }

    static float quad_width(const headless::QuadRecord& q) { return q.x[1] - q.x[0]; }
    static float quad_height(const headless::QuadRecord& q) { return q.y[2] - q.y[0]; }
    // The glyph column a quad's left texture edge samples.
    static float first_column(const headless::QuadRecord& q) { return q.u[0] * strip_width; }
};

TEST_F(Font, TheTextureTakesTheThirdByteOfEachPixelAsGreyAndAlpha) {
    load(varied_widths());
    EXPECT_EQ(world.font.strip_width, strip_width);
    EXPECT_EQ(world.font.strip_height, strip_height);
    EXPECT_EQ(world.font.spacing, spacing);
    EXPECT_EQ(texel(0, 0), 0u);                       // a lead column
    EXPECT_EQ(texel(1, 0), 0x64646464u);              // ink
    EXPECT_EQ(texel(world.font.glyph_start[32] + world.font.glyph_width[32], 0), 0xFFFFFFFFu);  // the mark
    EXPECT_EQ(texel(5, 3), 0x43434343u);
    EXPECT_EQ(texel(strip_width - 1, strip_height - 1), 0x4B4B4B4Bu);
}

TEST_F(Font, AShortFileLeavesTheRestOfTheStripEmpty) {
    std::vector<uint8_t> bytes = font_file(top_row(varied_widths()), strip_height);
    bytes.resize(static_cast<size_t>(strip_width) * 3 * 4 + 30);  // four rows and ten pixels
    load_font(write(bytes).c_str(), world.font, strip_width, strip_height, spacing);
    ASSERT_NE(world.font.texture, nullptr);
    EXPECT_EQ(texel(9, 4), 0x44444444u);
    EXPECT_EQ(texel(10, 4), 0u);
    EXPECT_EQ(texel(0, 5), 0u);
    EXPECT_EQ(texel(strip_width - 1, strip_height - 1), 0u);
    EXPECT_EQ(world.font.glyph_width['A'], varied_widths()['A' - 32]);
}

TEST_F(Font, AMissingFileLeavesTheFontAsItWas) {
    load(varied_widths());
    IDirect3DTexture9* texture = world.font.texture;
    const int32_t width_of_a = world.font.glyph_width['A'];
    load_font((folder() / "missing.raw").string().c_str(), world.font, 100, 5, 9);
    EXPECT_EQ(world.font.texture, texture);
    EXPECT_EQ(world.font.strip_width, strip_width);
    EXPECT_EQ(world.font.spacing, spacing);
    EXPECT_EQ(world.font.glyph_width['A'], width_of_a);
}

TEST_F(Font, LoadingAgainReleasesTheEarlierTexture) {
    load(varied_widths());
    IDirect3DTexture9* earlier = world.font.texture;
    earlier->AddRef();
    std::vector<int> widths = varied_widths();
    widths[0] = 6;
    load(widths);
    EXPECT_NE(world.font.texture, earlier);
    EXPECT_EQ(earlier->Release(), 0u);  // ours was the last reference
    EXPECT_EQ(world.font.glyph_width[' '], 6);
}

TEST_F(Font, EachCharacterIsAQuadOnePixelWiderThanItsGlyphAndOneTallerThanTheStrip) {
    load(varied_widths());
    const Quads quads = drawn_by([] { draw_text(100, 50, "Az", world.font, 0xFFFF0000u); });
    ASSERT_EQ(quads.size(), 2u);
    const int32_t wa = world.font.glyph_width['A'];
    const int32_t wz = world.font.glyph_width['z'];

    EXPECT_EQ(quads[0].x[0], 100.0f);
    EXPECT_EQ(quads[0].y[0], 50.0f);
    EXPECT_EQ(quad_width(quads[0]), static_cast<float>(wa + 1));
    EXPECT_EQ(quad_height(quads[0]), 13.0f);
    EXPECT_EQ(quads[1].x[0], static_cast<float>(100 + wa + spacing));
    EXPECT_EQ(quad_width(quads[1]), static_cast<float>(wz + 1));

    const float s = static_cast<float>(world.font.glyph_start['A']);
    EXPECT_FLOAT_EQ(quads[0].u[0], s / strip_width);
    EXPECT_FLOAT_EQ(quads[0].u[1], (s + static_cast<float>(wa)) / strip_width);
    EXPECT_EQ(quads[0].v[0], 0.0f);
    EXPECT_EQ(quads[0].v[2], 1.0f);

    for (const auto& q : quads) {
        EXPECT_EQ(q.texture, world.font.texture);
        EXPECT_EQ(q.color, 0xFFFF0000u);
        EXPECT_TRUE(q.blend);
        EXPECT_EQ(q.src_blend, static_cast<uint32_t>(D3DBLEND_SRCALPHA));
        EXPECT_EQ(q.dest_blend, static_cast<uint32_t>(D3DBLEND_INVSRCALPHA));
    }
}

TEST_F(Font, OddCodesDrawAsTheTableSays) {
    std::vector<int> widths = varied_widths();
    widths['B' - 32] = -1;
    load(widths);

    // Two marks in a row: a 0-wide quad, and the pen moves by spacing - 1.
    Quads quads = drawn_by([] { draw_text(0, 0, "BA", world.font, 0xFFFFFFFFu); });
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quad_width(quads[0]), 0.0f);
    EXPECT_EQ(quads[1].x[0], static_cast<float>(spacing - 1));

    // Below 32 and above 127: a 1-pixel quad sampling column 0, advancing by the spacing.
    quads = drawn_by([] { draw_text(10, 0, "\n\xE9!", world.font, 0xFFFFFFFFu); });
    ASSERT_EQ(quads.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(quads[i].x[0], static_cast<float>(10 + spacing * i));
        EXPECT_EQ(quad_width(quads[i]), 1.0f);
        EXPECT_EQ(quads[i].u[0], 0.0f);
        EXPECT_EQ(quads[i].u[1], 0.0f);
    }
    EXPECT_EQ(quads[2].x[0], static_cast<float>(10 + 2 * spacing));

    EXPECT_TRUE(drawn_by([] { draw_text(0, 0, "", world.font, 0xFFFFFFFFu); }).empty());
}

TEST_F(Font, ScaledTextMultipliesEverySize) {
    load(varied_widths());
    const char* text = "SCORE:";
    const Quads single = drawn_by([&] { draw_text(20, 30, text, world.font, 0xFFFFFFFFu); });
    const Quads doubled = drawn_by([&] { draw_text_scaled(20, 30, text, world.font, 0xFFFFFFFFu, 2); });
    ASSERT_EQ(doubled.size(), 6u);
    ASSERT_EQ(single.size(), 6u);
    for (size_t i = 0; i < doubled.size(); ++i) {
        EXPECT_EQ(quad_height(doubled[i]), 26.0f);
        EXPECT_EQ(quad_width(doubled[i]), 2 * quad_width(single[i]));
        EXPECT_EQ(doubled[i].x[0] - 20.0f, 2 * (single[i].x[0] - 20.0f));
        EXPECT_EQ(doubled[i].u[0], single[i].u[0]);
        EXPECT_EQ(doubled[i].u[1], single[i].u[1]);
    }
}

TEST_F(Font, NumbersAreDrawnAsTheirDecimalDigits) {
    load(varied_widths());
    const auto glyphs_of = [](int32_t value) {
        std::string drawn;
        for (const auto& q : drawn_by([&] { draw_number(0, 0, value, world.font, 0xFFFFFFFFu); })) {
            // Find the code whose glyph starts at the column this quad samples.
            for (int c = 32; c <= 127; ++c)
                if (world.font.glyph_start[c] == std::lround(first_column(q))) drawn += static_cast<char>(c);
        }
        return drawn;
    };
    EXPECT_EQ(glyphs_of(0), "0");
    EXPECT_EQ(glyphs_of(-5), "-5");
    EXPECT_EQ(glyphs_of(1234567), "1234567");
    EXPECT_EQ(glyphs_of(INT32_MAX), "2147483647");
    EXPECT_EQ(glyphs_of(INT32_MIN), "-2147483648");
}

TEST_F(Font, AFontThatNeverLoadedDrawsNothing) {
    load_font((folder() / "missing.raw").string().c_str(), world.font, strip_width, strip_height, spacing);
    EXPECT_EQ(world.font.texture, nullptr);
    const Quads quads = drawn_by([] {
        draw_text(0, 0, "HELLO", world.font, 0xFFFFFFFFu);
        draw_text_scaled(0, 0, "HELLO", world.font, 0xFFFFFFFFu, 4);
        draw_number(0, 0, -12345, world.font, 0xFFFFFFFFu);
    });
    EXPECT_TRUE(quads.empty());
}

}  // namespace
