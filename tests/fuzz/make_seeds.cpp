// Writes the fuzzers' seed corpora: the game's own pictures, sounds and font, made by the asset
// generator and cut down to a few kilobytes each (a fuzzer fed full-size backgrounds crawls), in
// every variant of their formats, plus the tracked replay scripts and a few settings files.
//
// usage: make_seeds OUT_DIR SCRIPT_DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "assetgen/encode.h"
#include "assetgen/font.h"
#include "assetgen/sound.h"
#include "assetgen/sprites.h"
#include "settings/settings.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

void write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void tag(Bytes& out, const char* four) { out.insert(out.end(), four, four + 4); }

// An uncompressed TGA (type 2, or 3 for grey) with 1, 3 or 4 bytes per pixel, rows bottom first
// unless top_first, which sets the descriptor's origin bit.
Bytes plain_tga(const assetgen::Image& image, int channels, bool top_first) {
    const std::vector<uint8_t> rgba = image.rgba8();
    Bytes out(18, 0);
    out[2] = channels == 1 ? 3 : 2;
    out[12] = uint8_t(image.width());
    out[13] = uint8_t(image.width() >> 8);
    out[14] = uint8_t(image.height());
    out[15] = uint8_t(image.height() >> 8);
    out[16] = uint8_t(channels * 8);
    out[17] = uint8_t((channels == 4 ? 8 : 0) | (top_first ? 0x20 : 0));
    for (int row = 0; row < image.height(); ++row) {
        const int y = top_first ? row : image.height() - 1 - row;
        for (int x = 0; x < image.width(); ++x) {
            const uint8_t* p = &rgba[(size_t(y) * size_t(image.width()) + size_t(x)) * 4];
            if (channels == 1) {
                out.push_back(p[1]);
                continue;
            }
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
            if (channels == 4) out.push_back(p[3]);
        }
    }
    return out;
}

// The generator's BMP with its rows stored top first (a negative height).
Bytes top_down_bmp(Bytes bmp) {
    int32_t height = int32_t(bmp[22] | (bmp[23] << 8) | (bmp[24] << 16) | (uint32_t(bmp[25]) << 24));
    const uint32_t flipped = uint32_t(-height);
    for (int i = 0; i < 4; ++i) bmp[size_t(22 + i)] = uint8_t(flipped >> (8 * i));
    return bmp;  // the rows stay where they are: only the order they are read in changes
}

// A RIFF/WAVE file with chosen channels and bits, and optional chunks before and between.
Bytes wave(const std::vector<int16_t>& samples, int channels, int bits, bool extra_chunks) {
    Bytes body;
    tag(body, "WAVE");
    if (extra_chunks) {
        tag(body, "LIST");
        put32(body, 9);
        tag(body, "INFOx");
        for (int i = 0; i < 5; ++i) body.push_back(0);  // 9 bytes and a pad byte
    }
    tag(body, "fmt ");
    put32(body, 16);
    put16(body, 1);
    put16(body, uint32_t(channels));
    put32(body, 22050);
    put32(body, 22050u * uint32_t(channels * bits / 8));
    put16(body, uint32_t(channels * bits / 8));
    put16(body, uint32_t(bits));
    if (extra_chunks) {
        tag(body, "fact");
        put32(body, 4);
        put32(body, uint32_t(samples.size()));
    }
    Bytes data;
    for (int16_t s : samples)
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) data.push_back(uint8_t((s >> 8) + 128));
            else put16(data, uint16_t(s));
        }
    tag(body, "data");
    put32(body, uint32_t(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() & 1) body.push_back(0);
    Bytes out;
    tag(out, "RIFF");
    put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds OUT_DIR SCRIPT_DIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* harness : {"image", "wave", "font", "script", "settings"}) fs::create_directories(out / harness);

    // Pictures: two sprites shrunk to a few hundred pixels, in each encoding.
    const assetgen::Image player = assetgen::draw_player().resized(16, 16);
    const assetgen::Image boss = assetgen::draw_boss().resized(12, 24);
    const assetgen::Image bullet = assetgen::draw_bullet();
    int n = 0;
    for (const assetgen::Image* image : {&player, &boss, &bullet}) {
        const std::string stem = out.string() + "/image/" + std::to_string(n++);
        write(stem + "-rle32.tga", assetgen::encode_tga(*image));
        write(stem + "-plain32.tga", plain_tga(*image, 4, false));
        write(stem + "-plain24-top.tga", plain_tga(*image, 3, true));
        write(stem + "-grey.tga", plain_tga(*image, 1, false));
        const Bytes bmp = assetgen::encode_bmp(*image);
        write(stem + "-24.bmp", bmp);
        write(stem + "-24-top.bmp", top_down_bmp(bmp));
    }

    // Sounds: the first few hundred samples of the shot, as the generator writes them and in the
    // other layouts a WAVE file may have.
    assetgen::Sound shot = assetgen::make_shot_sound();
    shot.samples.resize(300);
    write(out / "wave" / "shot.wav", assetgen::encode_wav(shot));
    write(out / "wave" / "stereo16-chunks.wav", wave(shot.samples, 2, 16, true));
    write(out / "wave" / "mono8.wav", wave(shot.samples, 1, 8, false));
    write(out / "wave" / "stereo8-odd.wav", wave(std::vector<int16_t>(shot.samples.begin(), shot.samples.begin() + 77), 2, 8, true));

    // The font: the real strip (its size is what the game reads), and its top row alone.
    const Bytes font = assetgen::encode_font_raw(assetgen::build_font_strip());
    write(out / "font" / "font.raw", font);
    write(out / "font" / "top-row.raw", Bytes(font.begin(), font.begin() + assetgen::kStripWidth * 3));

    // The scripts, the longest cut at a line end near 16 KB.
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[2])) {
        if (entry.path().extension() != ".txt") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (text.size() > 16384) text.resize(text.rfind('\n', 16384) + 1);
        write(out / "script" / entry.path().filename(), Bytes(text.begin(), text.end()));
    }

    // Settings: the default file and one with every entry moved, without their whole-line comments
    // (short seeds keep the runs quick), and a short one with mistakes and comments.
    const auto write_text = [&](const char* name, const std::string& file) {
        std::string text;
        for (std::size_t at = 0; at < file.size();) {
            std::size_t end = file.find('\n', at);
            end = end == std::string::npos ? file.size() : end + 1;
            if (file[at] != '#') text.append(file, at, end - at);
            at = end;
        }
        write(out / "settings" / name, Bytes(text.begin(), text.end()));
    };
    write_text("default.toml", settings::write_settings(settings::Settings{}));
    settings::Settings moved;
    moved.controls.keys[static_cast<int>(settings::Action::fire)] = {0x39, settings::mouse_button(0)};
    moved.controls.keys[static_cast<int>(settings::Action::pause)] = {0x19, settings::no_input};
    moved.controls.swap_mouse_buttons = true;
    moved.controls.aim_speed = 125;
    moved.sound.levels = {40, 30, 20, true};
    moved.display = {true, settings::ScaleFilter::whole, 2};
    write_text("moved.toml", settings::write_settings(moved));
    const std::string mistakes = "# by hand\n[controls]\nfire = [\"Spcae\"]  # typo\njump = [\"J\"]\nquit = []\n"
                                 "[sound]\nmusic = 150\nmaster = = 40\n[pad]\nfire = [\"Start\"]\n";
    write(out / "settings" / "mistakes.toml", Bytes(mistakes.begin(), mistakes.end()));
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "make_seeds: %s\n", failure.what());
    return 1;
}
