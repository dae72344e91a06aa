// zorvalen-replay's commands on replay files:
//   --verify FILE     plays the replay headless, undrawn, and checks every block's state and then the
//                     trailer's fields; one line (frames, score, level, how it ended). Exit 0: every
//                     check matches; 1: a desync, at the frame named, or the first trailer field the
//                     run contradicts; 2: a file it cannot read.
//   --info FILE       the header and the trailer, without playing.
//   --to-script FILE  the replay as a script, on standard output.
//   --submit URL [--name NAME] FILE
//                     sends the replay to a board and waits for its verdict; exit 0 only verified.
// (--record OUT, which records a script's run, is the runner's own option.)
#pragma once

#include <string>

namespace replay {

bool wants_replay_command(int argc, const char* const argv[]);
int run_replay_command_line(int argc, const char* const argv[], const std::string& default_asset_dir);

}  // namespace replay
