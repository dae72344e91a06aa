// The program's command line around the game, the same on the desktop and in the Windows exe:
// the game itself takes none, so everything here is for the layer and the exe's own modules.
#pragma once

#include <string>

#include "replays/replay_file.h"

namespace program {

struct ProgramOptions {
    // Filled in by the command line; each feature around the game adds its own.
    bool full_screen = false;    // --fullscreen
    bool window = false;         // --window
    int volume = -1;             // --volume N, the master level; -1 when not given
    bool mute = false;           // --mute
    std::string settings_file;   // --settings FILE, from the folder the program was started in
    bool save_settings = false;  // --save-settings
    std::string replay;  // --replay FILE: watch this replay instead of playing
    bool record = true;  // --no-record turns the recording of the game off
};

// Where a relative path the player typed starts from: the folder the program was started in.
// The launcher changes to the game's data folder before starting it, and says where it came
// from in ZORVALEN_START_DIR; a path already absolute is returned as it is.
std::string path_from_start_folder(const std::string& path);

struct CommandLineOutcome {
    bool start_game = true;  // false: the program ends at once, with `status`
    int status = 0;          // 0 after --help, --version or --write-default-settings, 2 after a bad switch
    std::string message;     // what to print before ending: the help, version or default settings, or
                             // the error and the usage
};

// Reads the command line (argv[0] is the program) into `options`.
CommandLineOutcome read_command_line(int argc, const char* const argv[], ProgramOptions& options);

// The usage that --help prints.
std::string usage_text();

// Starts the program's replays as the options ask (replays/replay_session.h): the replay to watch,
// or else the game about to start recorded into the player's replay folder, unless turned off.
// False, with one line in `error`, for a replay that cannot be watched (the program then exits
// with status 2); a warning worth printing (another asset pack) comes in `warning`.
bool start_replays(const ProgramOptions& options, replays::Recorder recorder, std::string& error, std::string& warning);

}  // namespace program
