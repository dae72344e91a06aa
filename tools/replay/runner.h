// The replay runner: plays a script through the real game on the layer's headless mode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <headless.h>

#include "png_write.h"
#include "script.h"

namespace replay {

// A picture to keep: the one presented at the end of frame `frame`.
struct Shot {
    int64_t frame = 0;
    std::string path;  // written as PNG; empty to keep the picture for an observer only
};

struct FrameReport {
    int64_t frame;  // from 0
    bool last;      // no frame follows
};

struct RunSettings {
    headless::Mode mode = headless::Mode::record;
    int64_t frame_limit = -1;  // negative: the script alone decides
    int64_t every = 1;         // write lines for every K-th frame (and the last)
    std::FILE* state_out = nullptr;
    std::FILE* draws_out = nullptr;
    std::vector<Shot> shots;  // needs render mode
    // Keep every frame's quads for after_frame to read (always, when draws_out is set).
    bool record_draws = false;
    // Called after each frame has run and its lines are written; the World, the presented draws and,
    // on a shot frame, captured_picture() show that frame.
    std::function<void(const FrameReport&)> after_frame;
    // When set, fills each frame's input in place of the script, and the run lasts frame_limit frames.
    std::function<void(int64_t frame, FrameInput& input)> input_source;
    // When set, asks in render mode for the picture of each frame it says yes to, as a shot would.
    std::function<bool(int64_t frame)> picture_wanted;
    // When set, called last after each frame; false ends the run there.
    std::function<bool(const FrameReport&)> keep_going;
};

struct RunOutcome {
    bool started = false;          // false: no window or device, nothing ran
    int64_t frames = 0;            // frames run
    bool stopped_by_game = false;  // Escape held (or the window closed) ended the run
    bool stopped_by_caller = false;  // keep_going said no
    int64_t quads_dropped = 0;     // quads past the draw log's capacity in written frames
    std::vector<std::string> errors;  // outputs that could not be written
};

// Plays `script` from a freshly zeroed World and generator, as the program would from its start, then
// shuts the game down. The working directory must hold the game's files.
RunOutcome play(const Script& script, const RunSettings& settings);

// The picture kept at the last shot frame; false when none was captured.
bool captured_picture(Picture& picture);

struct Options {
    std::string script_path;
    std::string asset_dir;
    int64_t frame_limit = -1;
    std::string state_path;  // "-" is standard output
    std::string draws_path;
    std::vector<Shot> shots;
    int64_t every = 1;
    std::string settings_path;  // a player's settings file: the script is played through its controls
    std::string record_path;  // --record OUT: the run kept as a replay file
    bool help = false;
};

// Reads the command line (argv[0] is the program). On a bad option returns false with a message.
bool parse_options(int argc, const char* const argv[], Options& options, std::string& error);
const char* usage_text();

// The whole program. Exit status: 0 the run ended, 1 the game could not start or an output could not be
// written, 2 a bad script or option.
int run_command_line(int argc, const char* const argv[], const std::string& default_asset_dir);

}  // namespace replay
