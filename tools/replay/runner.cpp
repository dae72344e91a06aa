#include "runner.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app.h"
#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "settings/settings.h"
#include "json_lines.h"
#include "replay_input.h"
#include "world/world.h"

namespace replay {

namespace {

// Output is gathered and written in large pieces: a long run's draw lines reach gigabytes.
class LineSink {
public:
    explicit LineSink(std::FILE* file) : file_(file) {
        if (file_ != nullptr) buffer_.reserve(capacity * 2);
    }
    bool active() const { return file_ != nullptr; }
    std::string& buffer() { return buffer_; }
    void maybe_flush() {
        if (buffer_.size() >= capacity) flush();
    }
    bool flush() {
        if (file_ == nullptr) return true;
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
        buffer_.clear();
        if (std::fflush(file_) != 0) ok_ = false;
        return ok_;
    }

private:
    static constexpr std::size_t capacity = 1 << 20;
    std::FILE* file_;
    std::string buffer_;
    bool ok_ = true;
};

// The window as WinMain makes it: the game binds its devices to this window.
bool open_window() {
    world.app_instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_CLASSDC;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = "Zorvalen";
    RegisterClassExA(&window_class);
    world.main_window = CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480,
                                        GetDesktopWindow(), nullptr, window_class.hInstance, nullptr);
    return world.main_window != nullptr;
}

bool parse_count(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size() && value >= 0;
}

// fopen for an output named on the command line; "-" is standard output.
std::FILE* open_output(const std::string& path) {
    if (path.empty()) return nullptr;
    if (path == "-") return stdout;
    return std::fopen(path.c_str(), "wb");
}

}  // namespace

bool captured_picture(Picture& picture) {
    int width = 0;
    int height = 0;
    const std::uint32_t* pixels = headless::captured_pixels(&width, &height);
    if (pixels == nullptr || width <= 0 || height <= 0) return false;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    return true;
}

namespace {

// Exactly the program's start: a zeroed World and the generator at its first state.
void reset_to_program_start(const RunSettings& settings) {
    headless::set_mode(settings.mode);
    // Recording every quad costs more than the game's own work; only do it when something reads them.
    headless::set_recording(settings.draws_out != nullptr || settings.record_draws);
    // Pictures cost something only on the frames that are kept.
    headless::set_pictures_on_demand(settings.mode == headless::Mode::render);
    std::memset(static_cast<void*>(&world), 0, sizeof(World));
    zv::set_rand_state(1);
    const FrameInput nothing{};
    headless::set_keys(nothing.keys.data());
    headless::set_mouse(0, 0, false, false);
}

// The pictures asked for, in frame order, each written once its frame has been presented.
class ShotQueue {
public:
    explicit ShotQueue(std::vector<Shot> shots) : shots_(std::move(shots)) {
        std::stable_sort(shots_.begin(), shots_.end(), [](const Shot& a, const Shot& b) { return a.frame < b.frame; });
    }

    bool due(int64_t frame) const { return next_ < shots_.size() && shots_[next_].frame == frame; }

    // Writes every shot of this frame from the picture it presented.
    void take(int64_t frame, RunOutcome& outcome) {
        Picture picture;
        const bool captured = captured_picture(picture);
        for (; due(frame); ++next_) {
            const std::string& path = shots_[next_].path;
            if (path.empty()) continue;
            if (!captured) {
                outcome.errors.push_back("no picture was presented at frame " + std::to_string(frame) + "; " + path +
                                         " not written");
            } else if (!write_png(path, picture)) {
                outcome.errors.push_back("cannot write " + path);
            }
        }
    }

    // The shots whose frames the run never reached.
    void report_missed(RunOutcome& outcome) {
        for (; next_ < shots_.size(); ++next_) {
            if (shots_[next_].path.empty()) continue;
            outcome.errors.push_back("the run ended before frame " + std::to_string(shots_[next_].frame) + "; " +
                                     shots_[next_].path + " not written");
        }
    }

private:
    std::vector<Shot> shots_;
    std::size_t next_ = 0;
};

// The state and draw lines of the frame just run, into whichever of the two are wanted.
void write_frame_lines(LineSink& state, LineSink& draws, int64_t frame, const TextureNames& names,
                       RunOutcome& outcome) {
    if (state.active()) {
        append_state_line(state.buffer(), frame);
        state.maybe_flush();
    }
    if (draws.active()) {
        const headless::DrawLog log = headless::presented_draws();
        outcome.quads_dropped += log.dropped;
        append_draws_line(draws.buffer(), frame, log, names);
        draws.maybe_flush();
    }
}

}  // namespace

RunOutcome play(const Script& script, const RunSettings& settings) {
    RunOutcome outcome;
    reset_to_program_start(settings);
    if (!open_window() || !init_game()) return outcome;
    outcome.started = true;
    const int pad = script.uses_pad ? headless::attach_pad() : -1;
    if (script.uses_pad && pad < 0) outcome.errors.push_back("no virtual pad could be plugged in");

    TextureNames names;
    if (settings.draws_out != nullptr) names.learn_from_world();
    ShotQueue shots(settings.shots);
    LineSink state(settings.state_out);
    LineSink draws(settings.draws_out);
    const int64_t every = std::max<int64_t>(settings.every, 1);
    int64_t limit = settings.input_source ? std::max<int64_t>(settings.frame_limit, 0) : script.frame_count();
    if (settings.frame_limit >= 0) limit = std::min(limit, settings.frame_limit);

    ScriptCursor cursor(script);
    FrameInput generated;
    bool running = !world.quit_requested;
    for (int64_t frame = 0; running && frame < limit; ++frame, cursor.advance()) {
        if (settings.input_source) settings.input_source(frame, generated);
        const FrameInput& input = settings.input_source ? generated : cursor.input();
        headless::set_keys(input.keys.data());
        headless::set_mouse(input.dx, input.dy, input.left, input.right);
        if (pad >= 0) headless::set_pad(pad, input.pad);
        const bool shot_frame = shots.due(frame);
        if (shot_frame || (settings.picture_wanted && settings.picture_wanted(frame))) headless::capture_next_present();

        // The main loop's own sequence.
        drain_messages();
        running = run_frame() && !world.quit_requested;
        outcome.frames = frame + 1;

        const bool last = !running || frame + 1 == limit;
        if (frame % every == 0 || last) write_frame_lines(state, draws, frame, names, outcome);
        if (shot_frame) shots.take(frame, outcome);
        if (settings.after_frame) settings.after_frame(FrameReport{frame, last});
        if (settings.keep_going && !settings.keep_going(FrameReport{frame, last})) {
            outcome.stopped_by_caller = true;
            break;
        }
    }
    outcome.stopped_by_game = !running;
    shutdown_game();
    headless::detach_pad(pad);

    shots.report_missed(outcome);
    if (!state.flush()) outcome.errors.push_back("cannot write the state lines");
    if (!draws.flush()) outcome.errors.push_back("cannot write the draw lines");
    return outcome;
}

const char* usage_text() {
    return "usage: zorvalen-replay [options] SCRIPT\n"
           "  --assets DIR       the game's files (default: the build's generated assets)\n"
           "  --frames N         stop after N frames\n"
           "  --state FILE       world state after every frame, one JSON object per line (- for stdout)\n"
           "  --draws FILE       every quad of every frame, one JSON object per line (- for stdout)\n"
           "  --every K          write state and draw lines for frames 0, K, 2K, ... and the last one\n"
           "  --settings FILE    play the script's keys through a player's settings file (its controls)\n"
           "  --shot FRAME:FILE  PNG of the picture presented at the end of FRAME (renders; repeatable)\n"
           "  --random SEED      play a random input stream instead of a script (needs --frames)\n"
           "  --check            test the world's invariants after every frame; stop at the first broken one\n"
           "  --video OUT        render the run to a video file with its sound (--video --help for more)\n"
           "  --record OUT       keep the run as a replay file\n"
           "  --verify REPLAY    play a replay headless and check it and its trailer against its recording\n"
           "                     (exit 1: a desync, or the trailer field the run contradicts)\n"
           "  --info REPLAY      a replay's header and trailer\n"
           "  --to-script REPLAY a replay as a script, on standard output\n"
           "  --submit URL [--name NAME] REPLAY\n"
           "                     send a replay to the board at URL and wait for its verdict (exit 0: verified)\n"
           "SCRIPT is a script or a replay file (zorvalen --replay plays one in the window).\n"
           "SCRIPT lines: COUNT [KEY|LMB|RMB|dx=N|dy=N|pad:INPUT ...], # starts a comment.\n"
           "  pad:lx=N pad:ly=N pad:rx=N pad:ry=N (sticks) pad:lt=N pad:rt=N (triggers)\n"
           "  pad:up pad:down pad:left pad:right pad:start pad:back pad:lb pad:rb pad:a pad:b pad:x pad:y\n"
           "  pad:ls pad:rs (buttons)\n";
}

namespace {

// The value of the option in argv[i]: after its '=', or else the next argument, which is then used up.
bool option_value(int argc, const char* const argv[], int& i, std::string& value, std::string& error) {
    const std::string argument = argv[i];
    if (std::size_t equals = argument.find('='); equals != std::string::npos) {
        value = argument.substr(equals + 1);
        return true;
    }
    if (i + 1 >= argc) {
        error = argument + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

bool known_option(const std::string& name) {
    return name == "--assets" || name == "--frames" || name == "--state" || name == "--draws" || name == "--every" ||
           name == "--shot" || name == "--settings" || name == "--record";
}

// Puts one option's value into `options`, checking it first.
bool apply_option(const std::string& name, const std::string& value, Options& options, std::string& error) {
    if (name == "--assets") {
        options.asset_dir = value;
    } else if (name == "--state") {
        options.state_path = value;
    } else if (name == "--draws") {
        options.draws_path = value;
    } else if (name == "--settings") {
        options.settings_path = value;
    } else if (name == "--record") {
        options.record_path = value;
    } else if (name == "--frames") {
        if (!parse_count(value, options.frame_limit)) {
            error = "--frames needs a frame count, not '" + value + "'";
            return false;
        }
    } else if (name == "--every") {
        if (!parse_count(value, options.every) || options.every == 0) {
            error = "--every needs a positive integer, not '" + value + "'";
            return false;
        }
    } else {  // --shot
        const std::size_t colon = value.find(':');
        Shot shot;
        if (colon == std::string::npos || !parse_count(std::string_view(value).substr(0, colon), shot.frame) ||
            colon + 1 == value.size()) {
            error = "--shot needs FRAME:FILE, not '" + value + "'";
            return false;
        }
        shot.path = value.substr(colon + 1);
        options.shots.push_back(shot);
    }
    return true;
}

// What no single option can tell: a script was named, and the two outputs differ.
bool check_options(const Options& options, std::string& error) {
    if (options.script_path.empty()) {
        error = "no script given";
        return false;
    }
    if (!options.state_path.empty() && options.state_path == options.draws_path && options.state_path != "-") {
        error = "--state and --draws name the same file '" + options.state_path + "'";
        return false;
    }
    return true;
}

}  // namespace

bool parse_options(int argc, const char* const argv[], Options& options, std::string& error) {
    options = Options{};
    bool scripts_only = false;  // after "--"
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (scripts_only || argument.size() < 2 || argument[0] != '-' || argument == "-") {
            if (!options.script_path.empty()) {
                error = "more than one script: '" + options.script_path + "' and '" + argument + "'";
                return false;
            }
            options.script_path = argument;
            continue;
        }
        if (argument == "--") {
            scripts_only = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return true;
        }
        // Both "--name value" and "--name=value".
        const std::string name = argument.substr(0, argument.find('='));
        if (!known_option(name)) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        std::string value;
        if (!option_value(argc, argv, i, value, error) || !apply_option(name, value, options, error)) return false;
    }
    return check_options(options, error);
}

namespace {

// An output file named on the command line, closed on the way out (standard output is left open).
struct OutputFile {
    std::FILE* file = nullptr;
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() {
        if (file != nullptr && file != stdout) std::fclose(file);
    }
};

// Opens the state and draw outputs named in `options`; false, having said so, when one cannot be.
bool open_outputs(const Options& options, OutputFile& state, OutputFile& draws) {
    state.file = open_output(options.state_path);
    draws.file = open_output(options.draws_path);
    for (const auto& [path, file] :
         {std::pair{&options.state_path, state.file}, std::pair{&options.draws_path, draws.file}}) {
        if (!path->empty() && file == nullptr) {
            std::fprintf(stderr, "zorvalen-replay: cannot write '%s'\n", path->c_str());
            return false;
        }
    }
    return true;
}

// Back into the folder the runner started in, on the way out, for callers that run more than
// one replay in a process.
struct ReturnTo {
    std::filesystem::path to;
    ~ReturnTo() {
        std::error_code ignored;
        if (!to.empty()) std::filesystem::current_path(to, ignored);
    }
};

// What the run says on stderr, and its exit status.
int report(const RunOutcome& outcome) {
    if (!outcome.started) {
        std::fprintf(stderr, "zorvalen-replay: the game could not start (no window or graphics device)\n");
        return 1;
    }
    if (outcome.quads_dropped > 0) {
        std::fprintf(stderr, "zorvalen-replay: warning: %lld quads past the draw log's capacity are missing\n",
                     static_cast<long long>(outcome.quads_dropped));
    }
    for (const std::string& message : outcome.errors) std::fprintf(stderr, "zorvalen-replay: %s\n", message.c_str());
    return outcome.errors.empty() ? 0 : 1;
}

}  // namespace

namespace {

// As the game reads it, each problem on a line of its own; only a file that cannot be read at all
// stops the run, since a script meant for it would then play other keys.
bool put_settings_file_in_force(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file && !file.eof()) {
        std::fprintf(stderr, "zorvalen-replay: --settings: cannot read '%s'\n", path.c_str());
        return false;
    }
    std::vector<settings::Problem> problems;
    const settings::Settings read = settings::read_settings(text, problems);
    for (const settings::Problem& problem : problems)
        std::fprintf(stderr, "zorvalen-replay: %s:%d: %s\n", path.c_str(), problem.line, problem.message.c_str());
    settings::put_settings_in_force(read);
    return true;
}

}  // namespace

int run_command_line(int argc, const char* const argv[], const std::string& default_asset_dir) {
    Options options;
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s (--help lists the options)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }

    Script script;
    if (!load_run_input(options.script_path, script, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    if (!options.settings_path.empty() && !put_settings_file_in_force(options.settings_path)) return 2;

    // Outputs are named relative to where the runner was started, before it moves into the asset directory.
    RunSettings settings;
    settings.frame_limit = options.frame_limit;
    settings.every = options.every;
    settings.mode = options.shots.empty() ? headless::Mode::record : headless::Mode::render;
    OutputFile state_file, draws_file;
    if (!open_outputs(options, state_file, draws_file)) return 2;
    settings.state_out = state_file.file;
    settings.draws_out = draws_file.file;
    std::error_code failure;
    for (Shot& shot : options.shots) {
        shot.path = std::filesystem::absolute(shot.path, failure).string();
        settings.shots.push_back(shot);
    }

    const std::string record_path =
        options.record_path.empty() ? std::string() : std::filesystem::absolute(options.record_path, failure).string();
    const std::string asset_dir = options.asset_dir.empty() ? default_asset_dir : options.asset_dir;
    const ReturnTo return_to{std::filesystem::current_path(failure)};
    std::filesystem::current_path(asset_dir, failure);
    if (failure) {
        std::fprintf(stderr, "zorvalen-replay: --assets: cannot enter '%s': %s\n", asset_dir.c_str(),
                     failure.message().c_str());
        return 2;
    }
    if (!record_path.empty()) {
        replays::install_game_probe();
        replays::start_recording("", record_path, replays::Recorder::runner);
        if (replays::active_recorder() == nullptr) return 1;
    }
    const RunOutcome outcome = play(script, settings);
    replays::end_session();
    return report(outcome);
}

}  // namespace replay
