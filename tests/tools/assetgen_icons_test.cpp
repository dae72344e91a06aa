// The game's icon: a round badge at every size, and an .ico directory Windows can read.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "assetgen/icons.h"

namespace {

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + size_t(i)];
    return v;
}

TEST(AssetgenIcons, RoundBadgeWithTheShipAtEverySize)
{
    for (int size : assetgen::icon_sizes()) {
        SCOPED_TRACE(size);
        const assetgen::Image icon = assetgen::draw_icon(size);
        ASSERT_EQ(icon.width(), size);
        ASSERT_EQ(icon.height(), size);
        // Clear corners, so the desktop's background shows round the badge; an opaque centre.
        EXPECT_LT(icon.at(0, 0).a, 0.05f);
        EXPECT_LT(icon.at(size - 1, size - 1).a, 0.05f);
        EXPECT_GT(icon.at(size / 2, size / 2).a, 0.95f);
        // The orange hull crosses the middle of the dark badge.
        int warm = 0;
        for (int x = 0; x < size; ++x) {
            const assetgen::Rgba c = icon.at(x, size / 2);
            if (c.r > 0.5f && c.r > c.b + 0.2f) ++warm;
        }
        EXPECT_GT(warm, size / 4);
    }
}

TEST(AssetgenIcons, IcoDirectoryPointsAtOnePngPerSize)
{
    std::vector<assetgen::Image> pictures;
    for (int size : {16, 256}) pictures.push_back(assetgen::draw_icon(size));
    const std::vector<uint8_t> ico = assetgen::encode_ico(pictures);

    ASSERT_GE(ico.size(), 6u + 2 * 16);
    EXPECT_EQ(le(ico, 0, 2), 0u);
    EXPECT_EQ(le(ico, 2, 2), 1u);  // icon
    ASSERT_EQ(le(ico, 4, 2), 2u);
    uint32_t expected_offset = 6 + 2 * 16;
    for (size_t i = 0; i < 2; ++i) {
        const size_t entry = 6 + 16 * i;
        EXPECT_EQ(ico[entry], i == 0 ? 16 : 0);  // 256 is written as 0
        EXPECT_EQ(le(ico, entry + 6, 2), 32u);
        const uint32_t length = le(ico, entry + 8, 4), offset = le(ico, entry + 12, 4);
        EXPECT_EQ(offset, expected_offset);
        ASSERT_LE(size_t(offset) + length, ico.size());
        EXPECT_EQ(std::memcmp(&ico[offset], "\x89PNG", 4), 0);
        expected_offset += length;
    }
    EXPECT_EQ(expected_offset, ico.size());
    EXPECT_THROW(assetgen::encode_ico({assetgen::Image(16, 8)}), std::invalid_argument);
}

}  // namespace
