#include "program/command_line.h"

#include <cstdlib>
#include <string>

#include <CLI/CLI.hpp>

#include "settings/settings.h"
#include "replays/replay_session.h"

namespace program {
namespace {

constexpr char PROGRAM_NAME[] = "zorvalen";
constexpr char VERSION_LINE[] = "zorvalen " ZORVALEN_VERSION;

// Every switch, in the order --help lists them. The man page lists the same (a test holds
// the two together).
void add_switches(CLI::App& app, ProgramOptions& options, bool& write_defaults) {
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", VERSION_LINE, "Print the version and exit");
    app.add_flag("--fullscreen", options.full_screen, "Start in full screen");
    app.add_flag("--window", options.window, "Start in a window");
    app.add_option("--volume", options.volume, "Set the master volume, 0 to 100")
        ->type_name("N")
        ->check(CLI::Range(0, 100).description(""));
    app.add_flag("--mute", options.mute, "Start with the sound muted");
    app.add_option("--settings", options.settings_file, "Read the settings from FILE instead of the usual one")
        ->type_name("FILE");
    app.add_flag("--write-default-settings", write_defaults,
                 "Print a settings file with every entry at its default, and exit");
    app.add_flag("--save-settings", options.save_settings,
                 "Write the settings in force, switches included, to the settings file");
    app.add_option("--replay", options.replay, "Watch a replay of an earlier game")->type_name("FILE");
    app.add_flag_callback("--no-record", [&options] { options.record = false; }, "Do not keep a replay of this game");
}

void describe(CLI::App& app) {
    app.description("Zorvalen, a small side-scrolling space shooter.");
    app.footer("Without switches the game starts on the title screen as its settings file says, in a\n"
               "window unless the file asks for full screen.");
    app.get_formatter()->column_width(30);
}

}  // namespace

std::string path_from_start_folder(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':')) return path;
    const char* start = std::getenv("ZORVALEN_START_DIR");
    if (start == nullptr || start[0] == '\0') return path;
    std::string joined = start;
    if (joined.back() != '/' && joined.back() != '\\') joined += '/';
    return joined + path;
}

std::string usage_text() {
    ProgramOptions ignored;
    bool write_defaults = false;
    CLI::App app{"", PROGRAM_NAME};
    describe(app);
    add_switches(app, ignored, write_defaults);
    return app.help();
}

bool start_replays(const ProgramOptions& options, replays::Recorder recorder, std::string& error, std::string& warning) {
    if (!options.replay.empty()) {
        if (!replays::start_playing(path_from_start_folder(options.replay), replays::ReplayPlayer::Use::watch, error,
                                    warning)) {
            error = std::string(PROGRAM_NAME) + ": " + error;
            return false;
        }
        return true;
    }
    if (!options.record) replays::set_recording_enabled(false);
    replays::start_recording("", "", recorder);
    return true;
}

CommandLineOutcome read_command_line(int argc, const char* const argv[], ProgramOptions& options) {
    bool write_defaults = false;
    CLI::App app{"", PROGRAM_NAME};
    describe(app);
    add_switches(app, options, write_defaults);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return {false, 0, app.help()};
    } catch (const CLI::CallForVersion&) {
        return {false, 0, std::string(VERSION_LINE) + "\n"};
    } catch (const CLI::ParseError& error) {
        return {false, 2, std::string(PROGRAM_NAME) + ": " + error.what() + "\n\n" + app.help()};
    }
    if (options.full_screen && options.window)
        return {false, 2, std::string(PROGRAM_NAME) + ": --fullscreen and --window cannot both be given\n\n" + app.help()};
    if (write_defaults) return {false, 0, settings::write_settings(settings::Settings{})};
    if (!options.settings_file.empty()) options.settings_file = path_from_start_folder(options.settings_file);
    return {};
}

}  // namespace program
