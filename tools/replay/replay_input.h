// What a run is played from: a text script, or a replay file (replays/replay_file.h) turned into
// one. Every tool that takes a script takes a replay as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replays/replay_file.h"
#include "script.h"

namespace replay {

// A replay's frames as a script: the keys held (0x80), the mouse's counts and its left and right
// buttons, one line to each run of equal frames. What the game never reads (the middle buttons)
// is left out.
Script script_of_replay(const std::uint8_t* data, const replays::ReplayIndex& index);

// Reads a script or a replay (told apart by the replay's magic). On failure `error` names the file
// and what is wrong with it.
bool load_run_input(const std::string& path, Script& script, std::string& error);

}  // namespace replay
