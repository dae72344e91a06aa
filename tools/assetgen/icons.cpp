#include "assetgen/icons.h"

#include <fstream>
#include <stdexcept>
#include <string>

#include "assetgen/encode.h"
#include "assetgen/installer_art.h"
#include "assetgen/paint.h"
#include "assetgen/sprites.h"

namespace assetgen {

namespace {

// Area average of square blocks of k x k pixels, premultiplied so clear pixels lend no colour.
Image shrink(const Image& big, int k)
{
    Image out(big.width() / k, big.height() / k);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            Rgba acc{};
            for (int sy = 0; sy < k; ++sy)
                for (int sx = 0; sx < k; ++sx) {
                    const Rgba& c = big.at(x * k + sx, y * k + sy);
                    acc = {acc.r + c.r * c.a, acc.g + c.g * c.a, acc.b + c.b * c.a, acc.a + c.a};
                }
            if (acc.a > 0.0f) out.at(x, y) = {acc.r / acc.a, acc.g / acc.a, acc.b / acc.a, acc.a / float(k * k)};
        }
    return out;
}

// The icon drawn on a canvas of m x m pixels; every measure below is in 256ths of m.
Image draw_badge(int m)
{
    const float s = float(m) / 256.0f;
    Image img(m, m);

    // A round patch of the night sky the game is played against.
    Material sky = body(hex(0x1a2150), 14 * s);
    sky.outline = 3 * s;
    sky.pattern = [&](float, float y) { return mix(hex(0x2a347a), hex(0x090b20), smoothstep(10 * s, 246 * s, y)); };
    paint(img, circle(128 * s, 128 * s, 122 * s), sky);
    const Rgba star = hex(0xdfe8ff);
    const float stars[][3] = {{62, 70, 3.5f}, {186, 58, 2.5f}, {206, 176, 3}, {84, 196, 2}, {140, 40, 2}, {44, 140, 2}};
    for (const auto& p : stars) {
        paint(img, circle(p[0] * s, p[1] * s, p[2] * s), light(star));
        glow(img, circle(p[0] * s, p[1] * s, p[2] * s), star, 6 * s, 0.35f);
    }

    // The ship exactly as the game draws it, cropped to its hull and enlarged to span the badge.
    const Image ship = draw_player();
    const int crop_x = 0, crop_y = 10, crop_w = 62, crop_h = 46;
    Image hull(crop_w, crop_h);
    for (int y = 0; y < crop_h; ++y)
        for (int x = 0; x < crop_w; ++x) hull.at(x, y) = ship.at(crop_x + x, crop_y + y);
    const int w = int(220 * s), h = w * crop_h / crop_w;
    img.draw(hull.resized(w, h), (m - w) / 2, (m - h) / 2 + int(6 * s));
    return img;
}

}  // namespace

const std::vector<int>& icon_sizes()
{
    static const std::vector<int> sizes = {16, 32, 48, 64, 128, 256};
    return sizes;
}

Image draw_icon(int size)
{
    // Drawn at 256 or more and averaged down, so the small sizes stay smooth.
    const int k = (256 + size - 1) / size;
    return k == 1 ? draw_badge(size) : shrink(draw_badge(size * k), k);
}

std::vector<uint8_t> encode_ico(const std::vector<Image>& pictures)
{
    std::vector<std::vector<uint8_t>> pngs;
    for (const Image& p : pictures) {
        if (p.width() != p.height() || p.width() < 1 || p.width() > 256)
            throw std::invalid_argument("an icon picture must be square, 1 to 256 pixels");
        pngs.push_back(encode_png(p));
    }
    std::vector<uint8_t> out;
    auto u16 = [&](uint32_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    u16(0);  // reserved
    u16(1);  // an icon, not a cursor
    u16(uint16_t(pictures.size()));
    uint32_t offset = 6 + 16 * uint32_t(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        out.push_back(uint8_t(pictures[i].width() & 255));  // 256 is written as 0
        out.push_back(uint8_t(pictures[i].height() & 255));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        u16(1);            // colour planes
        u16(32);           // bits per pixel
        u32(uint32_t(pngs[i].size()));
        u32(offset);
        offset += uint32_t(pngs[i].size());
    }
    for (const std::vector<uint8_t>& png : pngs) out.insert(out.end(), png.begin(), png.end());
    return out;
}

void write_icons(const std::filesystem::path& dir)
{
    std::filesystem::create_directories(dir);
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
    };
    std::vector<Image> pictures;
    for (int size : icon_sizes()) {
        pictures.push_back(draw_icon(size));
        write("zorvalen-" + std::to_string(size) + ".png", encode_png(pictures.back()));
    }
    write("zorvalen.ico", encode_ico(pictures));
    write("zorvalen-setup-side.bmp", encode_bmp(draw_setup_side()));
    write("zorvalen-setup-header.bmp", encode_bmp(draw_setup_header()));
}

}  // namespace assetgen
