#include "board_client/after_game.h"

#include <cstdio>
#include <filesystem>

#include "replays/replay_recorder.h"

namespace board_client {

void submit_after_game(const settings::BoardSettings& board, const std::string& replay, BackgroundSubmit& submit) {
    std::error_code failure;
    // A game that never reached its first frame leaves no file.
    if (board.submit == settings::BoardSubmit::never || replay.empty() || !std::filesystem::exists(replay, failure))
        return;
    if (board.url.empty()) {
        std::fprintf(stderr, "zorvalen: the settings' [board] has submit = \"%s\" but no url: nothing is sent\n",
                     std::string(settings::name_board_submit(board.submit)).c_str());
        return;
    }
    if (board.submit == settings::BoardSubmit::best && !replays::is_best_in_its_folder(replay)) return;
    submit.start(board.url, board.name.empty() ? default_player_name() : board.name, replay, AFTER_GAME_WAIT_SECONDS);
}

}  // namespace board_client
