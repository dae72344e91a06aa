#include "assetgen/contact_sheet.h"

#include <string>

#include "assetgen/backgrounds.h"
#include "assetgen/encode.h"
#include "assetgen/font.h"
#include "assetgen/noise.h"
#include "assetgen/sprites.h"
#include "assetgen/title.h"

namespace assetgen {

namespace {

constexpr int kSheetWidth = 1680;
constexpr int kMargin = 20;
const Rgba kSheetColour = hex(0x262a34);
const Rgba kDarkTile = hex(0x10141e);
const Rgba kLightTile = hex(0xd8dce6);

// The sheet shows what the game will get: colours rounded to 8 bits as in the files.
Image as_stored(const Image& img)
{
    std::vector<uint8_t> px = img.rgba8();
    Image out(img.width(), img.height());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            size_t i = (size_t(y) * size_t(img.width()) + size_t(x)) * 4;
            out.at(x, y) = {px[i] / 255.0f, px[i + 1] / 255.0f, px[i + 2] / 255.0f, px[i + 3] / 255.0f};
        }
    return out;
}

// Additive drawing with a vertex alpha, as the game draws explosions.
void draw_additive(Image& dst, const Image& src, int x, int y, int size, float alpha)
{
    Image scaled = src.resized(size, size);
    for (int sy = 0; sy < size; ++sy)
        for (int sx = 0; sx < size; ++sx) {
            const Rgba& c = scaled.at(sx, sy);
            if (!dst.inside(x + sx, y + sy)) continue;
            Rgba& d = dst.at(x + sx, y + sy);
            float k = c.a * alpha;
            d = {clamp01(d.r + c.r * k), clamp01(d.g + c.g * k), clamp01(d.b + c.b * k), 1.0f};
        }
}

// Stand-in for the game's starfield behind the stage pictures.
Image starry(int w, int h)
{
    Image img(w, h, hex(0x000000));
    Rng rng(99);
    for (int i = 0; i < w * h / 900; ++i) {
        int x = rng.below(w), y = rng.below(h);
        float g = rng.range(0.2f, 0.9f);
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                if (img.inside(x + dx, y + dy)) img.at(x + dx, y + dy) = rgb(g, g, g);
    }
    return img;
}

class Sheet {
public:
    Sheet() : img_(kSheetWidth, 4200, kSheetColour), font_(build_font_strip()), glyphs_(glyph_table(font_)) {}

    void heading(const std::string& text)
    {
        y_ += 14;
        text_at(kMargin, y_, text, hex(0xffc040), 2);
        y_ += 34;
    }
    void text_at(int x, int y, const std::string& text, Rgba colour, int scale)
    {
        draw_game_text(img_, font_, glyphs_, x, y, text, colour, scale);
    }

    // Each sprite twice, on dark and on light, side by side, with its file name below.
    void sprite_tiles(const std::vector<std::pair<std::string, Image>>& sprites)
    {
        int x = kMargin, row_h = 0;
        for (const auto& [name, raw] : sprites) {
            Image sprite = as_stored(raw);
            int scale = std::max(sprite.width(), sprite.height()) <= 16 ? 4 : (sprite.width() <= 128 ? 2 : 1);
            int tw = sprite.width() * scale + 16, th = sprite.height() * scale + 16;
            int block_w = tw * 2 + 4;
            if (x + block_w > kSheetWidth - kMargin) {
                x = kMargin;
                y_ += row_h + 12;
                row_h = 0;
            }
            for (int k = 0; k < 2; ++k) {
                int tx = x + k * (tw + 4);
                fill(tx, y_, tw, th, k == 0 ? kDarkTile : kLightTile);
                img_.draw(sprite, tx + 8, y_ + 8, scale);
            }
            text_at(x, y_ + th + 4, name + (scale > 1 ? "  x" + std::to_string(scale) : ""), hex(0xc8d0e0), 1);
            row_h = std::max(row_h, th + 20);
            x += block_w + 16;
        }
        y_ += row_h + 8;
    }

    void explosion_as_drawn(const Image& explosion)
    {
        // Frames 1, 5 and 11 of an explosion's life: 100, 500 and 1100 pixels wide, shown at half size.
        const int sizes[] = {50, 250, 550};
        const float alphas[] = {245.0f / 255, 205.0f / 255, 145.0f / 255};
        int x = kMargin;
        for (int i = 0; i < 3; ++i) {
            int box = std::max(sizes[i], 60);
            fill(x, y_, box + 20, 570, hex(0x000000));
            draw_additive(img_, explosion, x + 10 + (box - sizes[i]) / 2, y_ + 285 - sizes[i] / 2, sizes[i], alphas[i]);
            x += box + 40;
        }
        y_ += 580;
    }

    void font_samples()
    {
        std::string all;
        for (int c = kFirstCode; c <= kLastCode; ++c) all += char(c);
        for (int scale : {1, 2, 4}) {
            text_at(kMargin, y_, "scale " + std::to_string(scale), hex(0x9ab8ff), 1);
            y_ += 16;
            // Wrap the full character set to the sheet's width.
            std::string line;
            for (char ch : all) {
                if (text_width(glyphs_, line + ch, scale) > kSheetWidth - 2 * kMargin) {
                    text_at(kMargin, y_, line, rgb(1, 1, 1), scale);
                    y_ += 14 * scale;
                    line.clear();
                }
                line += ch;
            }
            text_at(kMargin, y_, line, rgb(1, 1, 1), scale);
            y_ += 14 * scale + 10;
        }
        fill(kMargin - 6, y_ - 4, 820, 60, kLightTile);
        text_at(kMargin, y_, "SCORE: 1230   HIGH SCORE: 98765   HEALTH: 100", hex(0x000000), 1);
        text_at(kMargin, y_ + 18, "YOU LOSE! HAHA PWNT!", hex(0xff0000), 2);
        text_at(kMargin + 420, y_, "The quick brown fox jumps over the lazy dog.", hex(0x000000), 1);
        y_ += 64;
    }

    void backgrounds()
    {
        for (int stage = 0; stage < kStageCount; ++stage) {
            Image bg = as_stored(draw_background(stage));
            Image shown = starry(bg.width() / 2, bg.height() / 2);
            shown.draw(bg.resized(bg.width() / 2, bg.height() / 2), 0, 0);
            img_.draw(shown, kMargin, y_);
            text_at(kMargin, y_ + shown.height() + 4, "bg" + std::to_string(stage) + ".tga  (half size)", hex(0xc8d0e0), 1);
            y_ += shown.height() + 26;
        }
    }

    void title()
    {
        Image t = as_stored(draw_title(font_));
        draw_game_text(t, font_, glyphs_, 150, 500, "welcome to level 1", rgb(0, 0, 0), 4);
        img_.draw(t, kMargin, y_);
        text_at(kMargin, y_ + t.height() + 4, "startscreen.bmp, with the level line the game draws over it", hex(0xc8d0e0), 1);
        y_ += t.height() + 26;
    }

    Image finish()
    {
        Image out(kSheetWidth, y_ + kMargin);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) out.at(x, y) = img_.at(x, y);
        return out;
    }

    int y() const { return y_; }
    void skip(int dy) { y_ += dy; }

private:
    void fill(int x, int y, int w, int h, Rgba c)
    {
        for (int yy = y; yy < y + h; ++yy)
            for (int xx = x; xx < x + w; ++xx)
                if (img_.inside(xx, yy)) img_.at(xx, yy) = c;
    }

    Image img_;
    FontStrip font_;
    GlyphTable glyphs_;
    int y_ = kMargin;
};

}  // namespace

Image draw_contact_sheet()
{
    Sheet s;
    s.text_at(kMargin, s.y(), "ZORVALEN  asset sheet", rgb(1, 1, 1), 4);
    s.skip(56);
    s.heading("Sprites, each on dark and on light");
    s.sprite_tiles({{"Player.tga", draw_player()},
                    {"eRed.tga", draw_enemy_red()},
                    {"eGreen.tga", draw_enemy_green()},
                    {"eBlue.tga", draw_enemy_blue()},
                    {"eWhite.tga", draw_enemy_white()},
                    {"eThinGrey.tga", draw_enemy_thin_grey()},
                    {"eThinDark.tga", draw_enemy_thin_dark()},
                    {"manbearpig.tga", draw_boss()},
                    {"bullet.tga", draw_bullet()},
                    {"rocket1.tga", draw_rocket()},
                    {"crosshair4.tga", draw_crosshair()},
                    {"medkit.tga", draw_medkit()},
                    {"explosion.tga", draw_explosion()}});
    s.heading("explosion.tga drawn additively as it grows (half size)");
    s.explosion_as_drawn(as_stored(draw_explosion()));
    s.heading("font.raw, drawn the way the game draws text");
    s.font_samples();
    s.heading("Stage backgrounds over a starfield");
    s.backgrounds();
    s.heading("Title picture");
    s.title();
    return s.finish();
}

std::vector<uint8_t> contact_sheet_png() { return encode_png(draw_contact_sheet()); }

}  // namespace assetgen
