// Every one of the game's files missing, empty, cut at half, or replaced by random bytes of the
// same size, one at a time: the headless game still plays 600 frames to the end with the world's
// invariants intact on every frame, the one broken asset has its documented effect (a sprite left
// unloaded, a silent sound, an empty font) and every other asset loads as usual.
//
// All 88 cases run in this one process: each replay starts from a zeroed World and generator, and
// a clean run at the end must leave exactly the state of the clean run at the start.
#include <cstdint>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <headless.h>

#include "assetgen/assets.h"
#include "dsound_offline.h"
#include "json_lines.h"
#include "runner.h"
#include "soak.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

enum class Fault { none, missing, empty, half, random };

const char* fault_name(Fault fault) {
    switch (fault) {
        case Fault::none: return "intact";
        case Fault::missing: return "missing";
        case Fault::empty: return "empty";
        case Fault::half: return "half";
        case Fault::random: return "random";
    }
    return "?";
}

struct Case {
    std::string file;
    Fault fault;
};

// Space, then walking right while shooting, with two rockets on the way: 600 frames.
constexpr const char* play_script =
    "1 SPACE\n"
    "20\n"
    "200 D LMB dx=2 dy=1\n"
    "5 RMB\n"
    "40 D\n"
    "5 RMB dx=40 dy=-20\n"
    "329 D LMB dx=-1\n";

std::vector<uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The World fields each picture is loaded into.
std::vector<const Sprite*> sprites_of(const std::string& file) {
    static const char* const enemy_files[ENEMY_SPRITE_COUNT] = {"eRed.tga",      "eGreen.tga",    "eBlue.tga",
                                                                "eWhite.tga",    "eThinGrey.tga", "eThinDark.tga",
                                                                "manbearpig.tga"};
    for (int i = 0; i < ENEMY_SPRITE_COUNT; ++i)
        if (file == enemy_files[i]) return {&world.enemy_sprites[i]};
    for (int i = 0; i < STAGE_COUNT; ++i)
        if (file == "bg" + std::to_string(i) + ".tga") return {&world.stages[i].sprite};
    if (file == "Player.tga") return {&world.player_sprite};
    if (file == "bullet.tga") return {&world.bullet_sprite};
    if (file == "crosshair4.tga") return {&world.crosshair_sprite, &world.rocket_crosshair_sprite};
    if (file == "rocket1.tga") return {&world.rocket_sprite};
    if (file == "medkit.tga") return {&world.medkit_sprite};
    if (file == "explosion.tga") return {&world.explosion_sprite};
    if (file == "startscreen.bmp") return {&world.title_sprite};
    return {};
}

const SoundBuffer* sound_of(const std::string& file) {
    if (file == "bgmusic.wav") return &world.music;
    if (file == "bullet.wav") return &world.bullet_sound;
    if (file == "rocket.wav") return &world.rocket_sound;
    if (file == "explodies.wav") return &world.explosion_sound;
    return nullptr;
}

DWORD buffer_bytes(const SoundBuffer& sound) {
    void* samples = nullptr;
    DWORD length = 0;
    if (sound.buffer == nullptr || FAILED(sound.buffer->Lock(0, 0, &samples, &length, nullptr, nullptr,
                                                             DSBLOCK_ENTIREBUFFER)))
        return 0;
    sound.buffer->Unlock(samples, length, nullptr, 0);
    return length;
}

// What the last frame of a run left behind, read before the game shuts down.
struct Result {
    replay::RunOutcome outcome;
    std::string broken;  // the first invariant that broke, if one did
    int64_t broken_frame = -1;
    std::string final_state;
    std::vector<std::string> unloaded;  // every asset that did not load, by file name
    BitmapFont font{};
    DWORD damaged_sound_bytes = 0;
};

class AssetFaults : public ::testing::TestWithParam<Case> {
public:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/zorvalen-faults-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        for (const std::string& name : assetgen::asset_names()) {
            originals_.push_back(read_file(fs::path(ZORVALEN_ASSET_DIR) / name));
            ASSERT_FALSE(originals_.back().empty()) << name << " was not generated";
            write_file(dir_ / name, originals_.back());
        }
        headless::set_offline_sound(true);
        clean_ = run("");
    }

    static void TearDownTestSuite() {
        // Nothing a broken file did lingers: the same clean run gives the same world.
        const Result again = run("");
        EXPECT_EQ(again.final_state, clean_.final_state);
        headless::set_offline_sound(false);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

protected:
    static Result run(const std::string& damaged) {
        replay::Script script;
        replay::ParseError error;
        EXPECT_TRUE(replay::parse_script(play_script, script, error)) << error.message;
        Result result;
        int16_t block[512 * 2];
        replay::RunSettings settings;
        settings.keep_going = [&](const replay::FrameReport& report) {
            // The mixer plays whatever the buffers hold, as the audio thread would.
            if (world.sound_device != nullptr) audio::render(world.sound_device, block, 512);
            if (const char* broken = replay::broken_invariant()) {
                result.broken = broken;
                result.broken_frame = report.frame;
                return false;
            }
            if (report.last) record_last_frame(damaged, result);
            return true;
        };
        const fs::path back = fs::current_path();
        fs::current_path(dir_);
        result.outcome = replay::play(script, settings);
        fs::current_path(back);
        return result;
    }

    static void record_last_frame(const std::string& damaged, Result& result) {
        replay::append_state_line(result.final_state, 600);
        for (const std::string& name : assetgen::asset_names()) {
            bool loaded = true;
            for (const Sprite* sprite : sprites_of(name))
                loaded = loaded && sprite->texture != nullptr && sprite->width > 0 && sprite->height > 0;
            if (const SoundBuffer* sound = sound_of(name)) loaded = sound->buffer != nullptr;
            if (name == "font.raw") loaded = world.font.texture != nullptr;
            if (!loaded) result.unloaded.push_back(name);
        }
        result.font = world.font;
        if (const SoundBuffer* sound = sound_of(damaged)) result.damaged_sound_bytes = buffer_bytes(*sound);
    }

    static void damage(size_t index, Fault fault) {
        const fs::path path = dir_ / assetgen::asset_names()[index];
        const std::vector<uint8_t>& original = originals_[index];
        switch (fault) {
            case Fault::none: break;
            case Fault::missing: fs::remove(path); break;
            case Fault::empty: write_file(path, {}); break;
            case Fault::half: write_file(path, {original.begin(), original.begin() + original.size() / 2}); break;
            case Fault::random: {
                std::mt19937 generator(static_cast<uint32_t>(16 + index));
                std::vector<uint8_t> noise(original.size());
                for (uint8_t& byte : noise) byte = static_cast<uint8_t>(generator());
                write_file(path, noise);
                break;
            }
        }
    }

    static size_t index_of(const std::string& name) {
        const auto& names = assetgen::asset_names();
        return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
    }

    static inline fs::path dir_;
    static inline std::vector<std::vector<uint8_t>> originals_;
    static inline Result clean_;
};

TEST_P(AssetFaults, GamePlaysOnAndOnlyTheBrokenAssetIsAffected) {
    const Case& c = GetParam();
    ASSERT_TRUE(clean_.outcome.started);
    ASSERT_TRUE(clean_.unloaded.empty()) << "the intact assets do not all load";
    const size_t index = index_of(c.file);
    damage(index, c.fault);
    const Result result = run(c.file);
    write_file(dir_ / c.file, originals_[index]);

    ASSERT_TRUE(result.outcome.started);
    EXPECT_EQ(result.broken, "") << "at frame " << result.broken_frame;
    EXPECT_EQ(result.outcome.frames, 600);
    EXPECT_FALSE(result.outcome.stopped_by_game);
    EXPECT_TRUE(result.outcome.errors.empty());  // what makes the runner exit with 0

    const bool is_sound = sound_of(c.file) != nullptr;
    const bool is_font = c.file == "font.raw";
    // A sound cut at half keeps the samples that are there; a font that opens always gets a texture.
    const bool still_loads = (is_sound && c.fault == Fault::half) || (is_font && c.fault != Fault::missing);
    const std::vector<std::string> expected_unloaded =
        still_loads ? std::vector<std::string>{} : std::vector<std::string>{c.file};
    EXPECT_EQ(result.unloaded, expected_unloaded);

    if (is_sound && c.fault == Fault::half) {
        // The 44-byte header stands; the data chunk is cut to what the file still holds.
        EXPECT_EQ(result.damaged_sound_bytes, originals_[index].size() / 2 - 44);
    }
    if (is_font) {
        int32_t marks_found = 0;
        for (int code = 32; code <= 127; ++code) marks_found += result.font.glyph_width[code] != 0;
        if (c.fault == Fault::missing || c.fault == Fault::empty) {
            EXPECT_EQ(marks_found, 0) << "an empty font draws nothing";
        } else if (c.fault == Fault::half) {
            // The top row, which holds every glyph mark, is in the first half.
            EXPECT_EQ(std::memcmp(result.font.glyph_width, clean_.font.glyph_width, sizeof clean_.font.glyph_width), 0);
            EXPECT_EQ(std::memcmp(result.font.glyph_start, clean_.font.glyph_start, sizeof clean_.font.glyph_start), 0);
        }
    }
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    for (const std::string& name : assetgen::asset_names())
        for (Fault fault : {Fault::missing, Fault::empty, Fault::half, Fault::random}) cases.push_back({name, fault});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryFile, AssetFaults, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.file + "_" + fault_name(info.param.fault);
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace
