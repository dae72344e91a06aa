#include "soak.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include <sys/resource.h>

#include "replay_input.h"
#include "runner.h"
#include "world/world.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

namespace replay {

namespace {

enum Stretch { play_stretch, idle_stretch, click_stretch, pause_stretch };

constexpr int movement_keys[] = {DIK_W, DIK_A, DIK_S, DIK_D, DIK_UP, DIK_LEFT, DIK_DOWN, DIK_RIGHT};

// Medkit: invisible for 149 frames after a pickup, counting down to 0.
constexpr int32_t medkit_longest_countdown = 149;
constexpr int32_t kill_message_last_age = 51;

char message[160];

const char* out_of_range(const char* field, int64_t value, int64_t low, int64_t high) {
    if (value >= low && value <= high) return nullptr;
    std::snprintf(message, sizeof message, "%s is %lld (allowed %lld..%lld)", field, static_cast<long long>(value),
                  static_cast<long long>(low), static_cast<long long>(high));
    return message;
}

template <typename Slot, int capacity>
const char* slots_broken(const char* table, const Slot (&slots)[capacity]) {
    int live = 0;
    for (int i = 0; i < capacity; ++i) {
        if (slots[i].active > 1) {
            std::snprintf(message, sizeof message, "%s[%d].active is %d (allowed 0..1)", table, i, slots[i].active);
            return message;
        }
        live += slots[i].active;
    }
    char field[48];
    std::snprintf(field, sizeof field, "live %s", table);
    return out_of_range(field, live, 0, capacity);
}

int64_t peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // kilobytes on Linux
}

bool parse_number(std::string_view text, int64_t& value) {
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && status == std::errc() && end == text.data() + text.size() && value >= 0;
}

}  // namespace

RandomInput::RandomInput(uint64_t seed) : state_(seed) {}

uint64_t RandomInput::below(uint64_t n) {
    // splitmix64: a whole-period stream from any seed, zero included.
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return n == 0 ? 0 : z % n;
}

void RandomInput::start_stretch() {
    held_ = FrameInput{};
    const uint64_t roll = below(1000);
    if (frame_ == 0) {
        kind_ = pause_stretch;  // Space once: from the title screen into play
        left_ = 1;
    } else if (roll < 8) {
        kind_ = pause_stretch;  // Space, a while on the title screen, Space again
        left_ = 2 + static_cast<int64_t>(below(120));
    } else if (roll < 120) {
        // Walking on without a shot, then standing: long enough for the enemies to finish the player off.
        kind_ = idle_stretch;
        left_ = 300 + static_cast<int64_t>(below(3000));
        held_.keys[below(2) == 0 ? DIK_D : DIK_RIGHT] = 0x80;
    } else if (roll < 220) {
        kind_ = click_stretch;
        left_ = 2 + static_cast<int64_t>(below(20));
    } else {
        kind_ = play_stretch;
        left_ = 5 + static_cast<int64_t>(below(200));
        for (int key : movement_keys)
            if (below(4) == 0) held_.keys[key] = 0x80;
        held_.left = below(10) < 6;
        held_.right = below(25) == 0;
    }
}

void RandomInput::next(FrameInput& input) {
    const bool first = left_ <= 0;
    if (first) start_stretch();
    --left_;
    ++frame_;
    input = held_;
    if (kind_ == idle_stretch && left_ < 200) {
        input.keys[DIK_D] = input.keys[DIK_RIGHT] = 0;
    } else if (kind_ == pause_stretch) {
        if (first || left_ == 0) input.keys[DIK_SPACE] = 0x80;
    } else if (kind_ == click_stretch) {
        input.left = (left_ & 1) == 0;  // press, release, press: each press is a fresh click
    } else if (kind_ == play_stretch) {
        if (below(400) == 0) {
            input.dx = static_cast<int>(below(8001)) - 4000;  // a flung mouse, far past the screen
            input.dy = static_cast<int>(below(8001)) - 4000;
        } else {
            input.dx = static_cast<int>(below(41)) - 20;
            input.dy = static_cast<int>(below(41)) - 20;
        }
    }
}

const char* broken_invariant() {
    const char* broken = nullptr;
    if ((broken = out_of_range("stage_index", world.stage_index, 0, STAGE_COUNT - 1))) return broken;
    if ((broken = out_of_range("player_health", world.player_health, 0, 100))) return broken;
    if ((broken = out_of_range("rocket_ammo", world.rocket_ammo, 0, INT32_MAX))) return broken;
    if ((broken = out_of_range("camera_y", world.camera_y, 0, 0))) return broken;
    if ((broken = out_of_range("level", world.level, 1, INT32_MAX))) return broken;
    if ((broken = out_of_range("fade_alpha", world.fade_alpha, 0, 255))) return broken;
    if ((broken = out_of_range("screen_width", world.screen_width, 800, 800))) return broken;
    if ((broken = out_of_range("screen_height", world.screen_height, 600, 600))) return broken;
    const CursorBounds& bounds = world.cursor_bounds;
    if ((broken = out_of_range("cursor_x", world.cursor_x, bounds.left, bounds.right))) return broken;
    if ((broken = out_of_range("cursor_y", world.cursor_y, bounds.top, bounds.bottom))) return broken;
    if ((broken = slots_broken("bullets", world.bullets))) return broken;
    if ((broken = slots_broken("rockets", world.rockets))) return broken;
    if ((broken = slots_broken("enemies", world.enemies))) return broken;
    if ((broken = slots_broken("explosions", world.explosions))) return broken;
    const Medkit& medkit = world.medkit;
    if ((broken = out_of_range("medkit.visible", medkit.visible, 0, 1))) return broken;
    if (medkit.visible == 1) {
        if ((broken = out_of_range("medkit.respawn_countdown (visible)", medkit.respawn_countdown, 0, 0)))
            return broken;
    } else if ((broken = out_of_range("medkit.respawn_countdown (hidden)", medkit.respawn_countdown, 1,
                                      medkit_longest_countdown))) {
        return broken;
    }
    for (int i = 0; i < ENEMY_COUNT; ++i) {
        if (world.enemies[i].death_frames < 0 || world.enemies[i].death_frames > kill_message_last_age) {
            char field[48];
            std::snprintf(field, sizeof field, "enemies[%d].death_frames", i);
            return out_of_range(field, world.enemies[i].death_frames, 0, kill_message_last_age);
        }
    }
    return nullptr;
}

bool wants_soak(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") return false;
        if (argument == "--check" || argument == "--random" || argument.starts_with("--random=")) return true;
    }
    return false;
}

namespace {

struct SoakOptions {
    bool random = false;
    bool check = false;
    int64_t seed = 0;
    int64_t frames = -1;
    int64_t every = 1;
    std::string asset_dir;
    std::string script_path;
    std::string state_path;
};

// Sets one option that takes a value; false with a message on stderr when it is not one.
bool set_soak_option(const std::string& name, const std::string& value, SoakOptions& options) {
    bool good = true;
    if (name == "--random") {
        options.random = true;
        good = parse_number(value, options.seed);
    } else if (name == "--frames") {
        good = parse_number(value, options.frames);
    } else if (name == "--every") {
        good = parse_number(value, options.every) && options.every > 0;
    } else if (name == "--assets") {
        options.asset_dir = value;
    } else if (name == "--state") {
        options.state_path = value;
    } else {
        std::fprintf(stderr, "zorvalen-replay: '%s' is not an option of the soak mode (--help)\n", name.c_str());
        return false;
    }
    if (!good) {
        std::fprintf(stderr, "zorvalen-replay: %s needs a non-negative integer, not '%s'\n", name.c_str(),
                     value.c_str());
    }
    return good;
}

bool parse_soak_options(int argc, const char* const argv[], SoakOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        if (name == "--check") {
            options.check = true;
            continue;
        }
        if (name.size() < 2 || name[0] != '-') {
            options.script_path = name;
            continue;
        }
        if (const size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "zorvalen-replay: %s needs a value\n", name.c_str());
            return false;
        }
        if (!set_soak_option(name, value, options)) return false;
    }
    if (options.random == !options.script_path.empty() || (options.random && options.frames < 0)) {
        std::fprintf(stderr, "zorvalen-replay: give either --random SEED with --frames N, or a script\n");
        return false;
    }
    return true;
}

struct SoakResult {
    RunOutcome outcome;
    double seconds = 0;
    int64_t broken_at = -1;  // the frame whose invariant broke, or -1
    std::string broken;
};

// Plays in the asset directory (the caller is in it), reporting speed and memory at 100,000 frames
// and every tenfold after, and stops at the first broken invariant when asked to check.
SoakResult run_soak(const SoakOptions& options, const Script& script, std::FILE* state_file) {
    SoakResult result;
    RandomInput input(static_cast<uint64_t>(options.seed));
    RunSettings settings;
    settings.frame_limit = options.frames;
    settings.every = options.every;
    settings.state_out = state_file;
    if (options.random)
        settings.input_source = [&input](int64_t, FrameInput& frame_input) { input.next(frame_input); };
    const auto start = std::chrono::steady_clock::now();
    int64_t next_report = 100000;
    settings.keep_going = [&](const FrameReport& report) {
        if (report.frame + 1 == next_report) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("frames %lld: %.0f frames/s, peak RSS %lld KiB\n", static_cast<long long>(next_report),
                        static_cast<double>(next_report) / seconds, static_cast<long long>(peak_rss_kib()));
            std::fflush(stdout);
            next_report *= 10;
        }
        if (!options.check) return true;
        const char* what = broken_invariant();
        if (what == nullptr) return true;
        result.broken_at = report.frame;
        result.broken = what;
        return false;
    };
    result.outcome = play(script, settings);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

int report_soak(const SoakResult& result) {
    const RunOutcome& outcome = result.outcome;
    if (!outcome.started) {
        std::fprintf(stderr, "zorvalen-replay: the game could not start (no window or graphics device)\n");
        return 1;
    }
    std::printf("%lld frames in %.1f s: %.0f frames/s, peak RSS %lld KiB\n", static_cast<long long>(outcome.frames),
                result.seconds, result.seconds > 0 ? static_cast<double>(outcome.frames) / result.seconds : 0.0,
                static_cast<long long>(peak_rss_kib()));
    for (const std::string& line : outcome.errors) std::fprintf(stderr, "zorvalen-replay: %s\n", line.c_str());
    if (result.broken_at >= 0) {
        std::fprintf(stderr, "zorvalen-replay: frame %lld: invariant broken: %s\n",
                     static_cast<long long>(result.broken_at), result.broken.c_str());
        return 3;
    }
    return outcome.errors.empty() ? 0 : 1;
}

}  // namespace

int run_soak_command_line(int argc, const char* const argv[], const std::string& default_asset_dir) {
    SoakOptions options;
    options.asset_dir = default_asset_dir;
    if (!parse_soak_options(argc, argv, options)) return 2;

    Script script;
    std::string error;
    if (!options.random && !load_run_input(options.script_path, script, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    std::FILE* state_file = nullptr;
    if (!options.state_path.empty()) {
        state_file = options.state_path == "-" ? stdout : std::fopen(options.state_path.c_str(), "wb");
        if (state_file == nullptr) {
            std::fprintf(stderr, "zorvalen-replay: cannot write '%s'\n", options.state_path.c_str());
            return 2;
        }
    }
    std::error_code failure;
    const std::filesystem::path return_to = std::filesystem::current_path(failure);
    std::filesystem::current_path(options.asset_dir, failure);
    if (failure) {
        std::fprintf(stderr, "zorvalen-replay: --assets: cannot enter '%s'\n", options.asset_dir.c_str());
        if (state_file != nullptr && state_file != stdout) std::fclose(state_file);
        return 2;
    }
    const SoakResult result = run_soak(options, script, state_file);
    std::filesystem::current_path(return_to, failure);
    if (state_file != nullptr && state_file != stdout) std::fclose(state_file);
    return report_soak(result);
}

}  // namespace replay
