// load_sprite on image files written here, byte by byte: good TGA and BMP files in each
// layout the game may meet, and broken ones, which must leave the sprite unloaded.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/image_file.h"
#include "gfx/sprite.h"
#include "support/game_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int WIDTH = 5;
constexpr int HEIGHT = 3;

// Top row first, 0xAARRGGBB. Row 0 is one colour and row 2 has pairs, so that the RLE
// writer below makes run packets as well as raw ones.
std::vector<std::uint32_t> picture() {
    return {0xFF102030u, 0xFF102030u, 0xFF102030u, 0xFF102030u, 0xFF102030u,
            0x00FF0000u, 0x8000FF00u, 0xFF0000FFu, 0x40FFFFFFu, 0xFF000000u,
            0xC0123456u, 0xC0123456u, 0xFF654321u, 0xFF654321u, 0x10ABCDEFu};
}

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void put_pixel(Bytes& out, std::uint32_t argb, int bits) {
    out.push_back(static_cast<std::uint8_t>(argb));
    out.push_back(static_cast<std::uint8_t>(argb >> 8));
    out.push_back(static_cast<std::uint8_t>(argb >> 16));
    if (bits == 32) out.push_back(static_cast<std::uint8_t>(argb >> 24));
}

Bytes tga(int bits, bool top_left, bool rle, const std::vector<std::uint32_t>& pixels = picture()) {
    Bytes out;
    out.push_back(0);                  // no image id
    out.push_back(0);                  // no colour map
    out.push_back(rle ? 10 : 2);       // true colour, run-length encoded or not
    for (int i = 0; i < 9; ++i) out.push_back(0);  // colour map fields, origin
    put16(out, WIDTH);
    put16(out, HEIGHT);
    out.push_back(static_cast<std::uint8_t>(bits));
    out.push_back(static_cast<std::uint8_t>((bits == 32 ? 8 : 0) | (top_left ? 0x20 : 0)));

    std::vector<std::uint32_t> stored;  // in file order
    for (int row = 0; row < HEIGHT; ++row) {
        const int source = top_left ? row : HEIGHT - 1 - row;
        stored.insert(stored.end(), pixels.begin() + source * WIDTH, pixels.begin() + (source + 1) * WIDTH);
    }
    if (!rle) {
        for (std::uint32_t pixel : stored) put_pixel(out, pixel, bits);
        return out;
    }
    for (std::size_t i = 0; i < stored.size();) {
        std::size_t run = 1;
        while (i + run < stored.size() && stored[i + run] == stored[i] && run < 128) ++run;
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            put_pixel(out, stored[i], bits);
            i += run;
            continue;
        }
        std::size_t raw = 1;
        while (i + raw < stored.size() && raw < 128 &&
               !(i + raw + 1 < stored.size() && stored[i + raw] == stored[i + raw + 1]))
            ++raw;
        out.push_back(static_cast<std::uint8_t>(raw - 1));
        for (std::size_t k = 0; k < raw; ++k) put_pixel(out, stored[i + k], bits);
        i += raw;
    }
    return out;
}

Bytes bmp(int bits, bool top_down) {
    const std::vector<std::uint32_t> pixels = picture();
    const int stride = (WIDTH * bits / 8 + 3) / 4 * 4;
    Bytes out{'B', 'M'};
    put32(out, 54 + stride * HEIGHT);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, WIDTH);
    put32(out, static_cast<std::uint32_t>(top_down ? -HEIGHT : HEIGHT));
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);  // uncompressed
    put32(out, static_cast<std::uint32_t>(stride * HEIGHT));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (int row = 0; row < HEIGHT; ++row) {
        const int source = top_down ? row : HEIGHT - 1 - row;
        const std::size_t start = out.size();
        for (int x = 0; x < WIDTH; ++x) put_pixel(out, pixels[source * WIDTH + x], bits);
        while (out.size() - start < static_cast<std::size_t>(stride)) out.push_back(0);
    }
    return out;
}

class ImageLoaderTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        directory_ = std::filesystem::temp_directory_path() /
                     ("zorvalen-images-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        GameFixture::TearDown();
    }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path = directory_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // Loads the file and checks every texel against the picture (alpha 255 where the file has none).
    void expect_picture(const std::string& path, bool has_alpha) {
        Sprite sprite{};
        load_sprite(path.c_str(), sprite, 0);
        ASSERT_NE(sprite.texture, nullptr);
        EXPECT_EQ(sprite.width, WIDTH);
        EXPECT_EQ(sprite.height, HEIGHT);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(sprite.texture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, static_cast<UINT>(WIDTH)) << "coordinates 0..1 must span exactly the image";
        EXPECT_EQ(desc.Height, static_cast<UINT>(HEIGHT));
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(sprite.texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        const std::vector<std::uint32_t> expected = picture();
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < WIDTH; ++x) {
                const std::uint32_t texel =
                    reinterpret_cast<const std::uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch)[x];
                const std::uint32_t want = has_alpha ? expected[y * WIDTH + x] : expected[y * WIDTH + x] | 0xFF000000u;
                EXPECT_EQ(texel, want) << "texel " << x << ", " << y;
            }
        sprite.texture->UnlockRect(0);
        sprite.texture->Release();
    }

    void expect_unloaded(const std::string& path) {
        Sprite sprite{};
        load_sprite(path.c_str(), sprite, 0);
        EXPECT_EQ(sprite.texture, nullptr);
        EXPECT_EQ(sprite.width, 0);
        EXPECT_EQ(sprite.height, 0);
        if (sprite.texture != nullptr) sprite.texture->Release();
    }

    std::filesystem::path directory_;
};

TEST_F(ImageLoaderTest, UncompressedTargaInEitherOriginAndDepth) {
    expect_picture(write("a.tga", tga(32, true, false)), true);
    expect_picture(write("b.tga", tga(32, false, false)), true);
    expect_picture(write("c.tga", tga(24, false, false)), false);
    expect_picture(write("d.tga", tga(24, true, false)), false);
}

TEST_F(ImageLoaderTest, RunLengthEncodedTarga) {
    expect_picture(write("a.tga", tga(32, false, true)), true);
    expect_picture(write("b.tga", tga(24, true, true)), false);
    expect_picture(write("c.tga", tga(32, true, true)), true);
}

TEST_F(ImageLoaderTest, BitmapsBottomUpAndTopDown) {
    expect_picture(write("a.bmp", bmp(24, false)), false);  // 15-byte rows, padded to 16
    expect_picture(write("b.bmp", bmp(32, true)), true);
}

TEST_F(ImageLoaderTest, MissingTruncatedEmptyAndGarbageFilesLeaveTheSpriteUnloaded) {
    expect_unloaded((directory_ / "absent.tga").string());
    expect_unloaded(write("empty.tga", {}));
    expect_unloaded(directory_.string());  // a directory, not a file

    Bytes cut = tga(32, false, false);
    cut.resize(cut.size() - 3);
    expect_unloaded(write("cut.tga", cut));
    Bytes cut_rle = tga(32, false, true);
    cut_rle.resize(cut_rle.size() - 2);
    expect_unloaded(write("cut_rle.tga", cut_rle));
    const Bytes whole_tga = tga(24, false, false);
    expect_unloaded(write("header_only.tga", Bytes(whole_tga.begin(), whole_tga.begin() + 18)));
    Bytes cut_bmp = bmp(24, false);
    cut_bmp.resize(cut_bmp.size() - 5);
    expect_unloaded(write("cut.bmp", cut_bmp));
    const Bytes whole_bmp = bmp(24, false);
    expect_unloaded(write("header_only.bmp", Bytes(whole_bmp.begin(), whole_bmp.begin() + 54)));

    Bytes no_width = tga(32, false, false);
    no_width[12] = no_width[13] = 0;
    expect_unloaded(write("no_width.tga", no_width));
    Bytes no_height = bmp(24, false);
    no_height[22] = no_height[23] = no_height[24] = no_height[25] = 0;
    expect_unloaded(write("no_height.bmp", no_height));

    // An unknown compression id once slipped past the size check, and the decoder read the rows
    // as plain ones, zeros from past the end of the file (found by the image fuzzer).
    Bytes odd_compression = bmp(24, false);
    odd_compression[18] = 0xA0;  // 4000 pixels wide: far more rows than the file holds
    odd_compression[19] = 0x0F;
    odd_compression[32] = odd_compression[33] = 0x8D;
    DecodedImage decoded;
    EXPECT_FALSE(decode_image_bytes(odd_compression.data(), odd_compression.size(), decoded));

    Bytes garbage(4096);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : garbage) byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    expect_unloaded(write("garbage.tga", garbage));
    garbage[0] = 'B';
    garbage[1] = 'M';
    expect_unloaded(write("garbage.bmp", garbage));
}

TEST_F(ImageLoaderTest, TheGamesOwnAssetsLoadAtTheirFileSize) {
    Sprite player{};
    load_sprite("Player.tga", player, 0);
    ASSERT_NE(player.texture, nullptr) << "the generated assets are the working directory";
    EXPECT_GT(player.width, 0);
    EXPECT_GT(player.height, 0);
    Sprite title{};
    load_sprite("startscreen.bmp", title, 0);
    ASSERT_NE(title.texture, nullptr);
    EXPECT_GT(title.width, 0);
    player.texture->Release();
    title.texture->Release();
}

}  // namespace
