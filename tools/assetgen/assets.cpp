#include "assetgen/assets.h"

#include <atomic>
#include <exception>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "assetgen/backgrounds.h"
#include "assetgen/encode.h"
#include "assetgen/font.h"
#include "assetgen/sound.h"
#include "assetgen/sprites.h"
#include "assetgen/title.h"

namespace assetgen {

namespace {

using Maker = std::function<std::vector<uint8_t>()>;

struct Entry {
    std::string name;
    Maker make;
};

Maker tga(Image (*draw)()) { return [draw] { return encode_tga(draw()); }; }
Maker wav(Sound (*make)()) { return [make] { return encode_wav(make()); }; }

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> list = {
        {"Player.tga", tga(draw_player)},
        {"eRed.tga", tga(draw_enemy_red)},
        {"eGreen.tga", tga(draw_enemy_green)},
        {"eBlue.tga", tga(draw_enemy_blue)},
        {"eWhite.tga", tga(draw_enemy_white)},
        {"eThinGrey.tga", tga(draw_enemy_thin_grey)},
        {"eThinDark.tga", tga(draw_enemy_thin_dark)},
        {"manbearpig.tga", tga(draw_boss)},
        {"bullet.tga", tga(draw_bullet)},
        {"rocket1.tga", tga(draw_rocket)},
        {"crosshair4.tga", tga(draw_crosshair)},
        {"medkit.tga", tga(draw_medkit)},
        {"explosion.tga", tga(draw_explosion)},
        {"bg0.tga", [] { return encode_tga(draw_background(0)); }},
        {"bg1.tga", [] { return encode_tga(draw_background(1)); }},
        {"bg2.tga", [] { return encode_tga(draw_background(2)); }},
        {"startscreen.bmp", [] { return encode_bmp(draw_title(build_font_strip())); }},
        {"font.raw", [] { return encode_font_raw(build_font_strip()); }},
        {"bullet.wav", wav(make_shot_sound)},
        {"rocket.wav", wav(make_rocket_sound)},
        {"explodies.wav", wav(make_explosion_sound)},
        {"bgmusic.wav", wav(make_music)},
    };
    return list;
}

}  // namespace

const std::vector<std::string>& asset_names()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const Entry& e : entries()) out.push_back(e.name);
        return out;
    }();
    return names;
}

std::vector<uint8_t> generate_asset(std::string_view name)
{
    for (const Entry& e : entries())
        if (e.name == name) return e.make();
    throw std::invalid_argument("the game loads no file named " + std::string(name));
}

std::vector<AssetFile> generate_all()
{
    // The files are independent of each other, so two workers take them in turn from a shared counter.
    // Each result lands in its own slot: the output does not depend on which worker made it.
    const std::vector<Entry>& list = entries();
    std::vector<AssetFile> out(list.size());
    std::atomic<size_t> next{0};
    std::exception_ptr failure[2];
    auto work = [&](int worker) {
        try {
            for (size_t i = next++; i < list.size(); i = next++) out[i] = {list[i].name, list[i].make()};
        } catch (...) {
            failure[worker] = std::current_exception();
        }
    };
    std::thread helper(work, 1);
    work(0);
    helper.join();
    for (const std::exception_ptr& e : failure)
        if (e) std::rethrow_exception(e);
    return out;
}

void write_assets(const std::filesystem::path& dir)
{
    std::filesystem::create_directories(dir);
    for (const AssetFile& f : generate_all()) {
        std::filesystem::path final_path = dir / f.name;
        std::filesystem::path temp_path = dir / (f.name + ".part");
        {
            std::ofstream out(temp_path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(f.bytes.data()), std::streamsize(f.bytes.size()));
            if (!out) throw std::runtime_error("cannot write " + temp_path.string());
        }
        std::filesystem::rename(temp_path, final_path);
    }
}

}  // namespace assetgen
