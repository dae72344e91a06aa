// The Linux entry point: the game's own entry is WinMain, as on Windows. The command line and
// the settings file are the program's, read here and put in force for the layer; the game is
// given none. The game is recorded, or a replay watched in its place (replays/replay_session.h),
// around WinMain.
#include <windows.h>

#include <cstdio>

#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include "board_client/after_game.h"
#endif
#include "program/command_line.h"
#include "replays/replay_session.h"
#include "program/settings_file.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
    program::ProgramOptions options;
    const program::CommandLineOutcome outcome = program::read_command_line(argc, argv, options);
    if (!outcome.start_game) {
        std::fputs(outcome.message.c_str(), outcome.status == 0 ? stdout : stderr);
        return outcome.status;
    }
    std::string report;
    // First: the file may turn recording off.
    program::start_settings(options, report);
    std::fputs(report.c_str(), stderr);
    std::string error, warning;
    if (!program::start_replays(options, replays::Recorder::desktop, error, warning)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (!warning.empty()) std::fprintf(stderr, "zorvalen: %s\n", warning.c_str());
    char command_line[1] = {0};
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    const replays::ReplayRecorder* recorder = replays::active_recorder();
    const std::string recorded = recorder != nullptr && recorder->recording() ? recorder->path() : std::string();
    replays::end_session();
#ifdef ZORVALEN_HAVE_BOARD_CLIENT
    // The game is over and its window gone: the board has the time the program takes to close.
    board_client::BackgroundSubmit submit;
    board_client::submit_after_game(settings::read_settings_in_force().board, recorded, submit);
#else
    (void)recorded;
    if (settings::read_settings_in_force().board.submit != settings::BoardSubmit::never)
        std::fprintf(stderr, "zorvalen: this build cannot submit to a board (it was built without libcurl)\n");
#endif
    report.clear();
    program::finish_settings(report);
    std::fputs(report.c_str(), stderr);
    return status;
}
