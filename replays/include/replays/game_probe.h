// What replays need to know of the game, and cannot learn from its device reads: its score at
// the end of a run, a digest of its state for the check records, and snapshots of its state for
// jumping about in a replay. Only a module above the game can see its state, so one of those
// (tools/probe, in every program that records or watches) fills this in before the game starts;
// the layer and the exe's modules only ask. Every call is made from inside the game's first
// device read of a frame (or as it shuts down), where its state is that of a frame beginning.
#pragma once

#include <cstddef>
#include <cstdint>

namespace replays {

struct GameFacts {
    std::int32_t score = 0;
    std::int32_t high_score = 0;
    std::int32_t level = 0;
    bool in_play = false;
    bool quit_requested = false;  // the window was closed
};

struct GameProbe {
    void (*read_facts)(GameFacts& facts);
    // The game's state, every field that plays a part, as one number: equal states, equal digests.
    std::uint64_t (*digest_state)();
    // A snapshot is the whole state in `snapshot_size` bytes, taken and put back as the game
    // starts a frame; putting one back makes the game go on from there exactly.
    std::size_t snapshot_size;
    void (*save_snapshot)(void* to);
    void (*restore_snapshot)(const void* from);
};

void set_game_probe(const GameProbe* probe);
// Null in a program that has none: it records no scores and checks nothing.
const GameProbe* game_probe();

// Defined by tools/probe, whose object installs it before main; for a program that links the
// probe from a library instead, where nothing would call it otherwise.
void install_game_probe();

}  // namespace replays
