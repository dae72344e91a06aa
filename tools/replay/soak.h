// Long unattended play: a deterministic random input stream, and the world's invariants tested
// after every frame.
#pragma once

#include <cstdint>
#include <string>

#include "script.h"

namespace replay {

// Play as a restless player would: held movement keys, both buttons, mouse motion with rare large
// jumps, rare pauses to the title screen, and long idle stretches in which the player dies, followed
// by the click that restarts. Never Escape. The same seed gives the same stream on every machine.
class RandomInput {
public:
    explicit RandomInput(uint64_t seed);
    void next(FrameInput& input);

private:
    uint64_t below(uint64_t n);  // 0..n-1
    void start_stretch();

    uint64_t state_;
    int64_t left_ = 0;  // frames left in the current stretch
    int kind_ = 0;
    FrameInput held_;
    int64_t frame_ = 0;
};

// Null when every invariant of the World holds; otherwise a description of the first broken one
// (field, value and allowed range), valid until the next call.
const char* broken_invariant();

// True when the command line asks for the soak mode (--random or --check).
bool wants_soak(int argc, const char* const argv[]);

// zorvalen-replay --random SEED --frames N [--check] [--assets DIR] [--state FILE] [--every K]
//                 or --check [--frames N] ... SCRIPT
// Prints frames per second and peak resident memory at the end (and at every power of ten from
// 100,000 frames on). Exit status as run_command_line's, and 3 when an invariant broke.
int run_soak_command_line(int argc, const char* const argv[], const std::string& default_asset_dir);

}  // namespace replay
