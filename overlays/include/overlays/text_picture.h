// A small picture of the layer's own, laid over the game's picture as that is shown and never
// among the game's quads: rows of 0xAARRGGBB (alpha not premultiplied), filled with a backdrop
// and written on in a plain built-in font. The replay bar and the volume display are drawn so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace overlays {

class TextPicture {
public:
    TextPicture(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    const std::uint32_t* pixels() const { return pixels_.data(); }

    void fill(std::uint32_t colour);
    void fill_rect(int left, int top, int right, int bottom, std::uint32_t colour);
    // The text's top left at (x, y), each of the font's pixels `scale` wide and high.
    void draw_text(const std::string& text, int x, int y, int scale, std::uint32_t colour);
    // How wide the text is drawn at a scale, in pixels.
    static int text_width(const std::string& text, int scale);

private:
    int width_, height_;
    std::vector<std::uint32_t> pixels_;
    std::vector<char> quads_;  // the font's output, had once
    std::vector<char> line_;   // the text as the font takes it
};

}  // namespace overlays
