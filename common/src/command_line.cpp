#include "common/command_line.h"

#include <cstdlib>
#include <string>

#include <CLI/CLI.hpp>

#include "common/replay_session.h"

namespace program {
namespace {

constexpr char PROGRAM_NAME[] = "zorvalen";
constexpr char VERSION_LINE[] = "zorvalen " ZORVALEN_VERSION;

// Every switch, in the order --help lists them. The man page lists the same (a test holds
// the two together).
void add_switches(CLI::App& app, ProgramOptions& options) {
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", VERSION_LINE, "Print the version and exit");
    app.add_option("--replay", options.replay, "Watch a replay of an earlier game")->type_name("FILE");
    app.add_flag_callback("--no-record", [&options] { options.record = false; }, "Do not keep a replay of this game");
}

void describe(CLI::App& app) {
    app.description("Zorvalen, a small side-scrolling space shooter.");
    app.footer("Without switches the game starts in its window on the title screen.");
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
    CLI::App app{"", PROGRAM_NAME};
    describe(app);
    add_switches(app, ignored);
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
    CLI::App app{"", PROGRAM_NAME};
    describe(app);
    add_switches(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return {false, 0, app.help()};
    } catch (const CLI::CallForVersion&) {
        return {false, 0, std::string(VERSION_LINE) + "\n"};
    } catch (const CLI::ParseError& error) {
        return {false, 2, std::string(PROGRAM_NAME) + ": " + error.what() + "\n\n" + app.help()};
    }
    return {};
}

}  // namespace program
