// The desktop's submit when a game ends, as the settings file's [board] section says: never, only
// a new best of the replay folder, or every game. It goes on a thread of its own, so the game is
// neither held up nor failed by it; its verdict, or why nothing was sent, is one line on stderr.
#pragma once

#include <string>

#include "board_client/board_client.h"
#include "settings/settings.h"

namespace board_client {

// How long the desktop waits after its game for the board's verdict before it says the run is
// still pending (the board goes on verifying it all the same).
constexpr double AFTER_GAME_WAIT_SECONDS = 10;

// `replay` is the finished game's file (empty: none was kept). Starts `submit` when the settings
// ask for this game to be sent; the caller calls submit.finish() before it exits.
void submit_after_game(const settings::BoardSettings& board, const std::string& replay, BackgroundSubmit& submit);

}  // namespace board_client
