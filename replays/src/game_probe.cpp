#include "replays/game_probe.h"

namespace replays {

namespace {
const GameProbe* installed = nullptr;
}

void set_game_probe(const GameProbe* probe) { installed = probe; }
const GameProbe* game_probe() { return installed; }

}  // namespace replays
