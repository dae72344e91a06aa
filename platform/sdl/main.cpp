// The Linux entry point: the game's own entry is WinMain, as on Windows. The command line is
// the program's, read here; the game is given none. The game is recorded, or a replay watched
// in its place (common/replay_session.h), around WinMain.
#include <windows.h>

#include <cstdio>

#include "common/command_line.h"
#include "common/replay_session.h"

int main(int argc, char** argv) {
    program::ProgramOptions options;
    const program::CommandLineOutcome outcome = program::read_command_line(argc, argv, options);
    if (!outcome.start_game) {
        std::fputs(outcome.message.c_str(), outcome.status == 0 ? stdout : stderr);
        return outcome.status;
    }
    std::string error, warning;
    if (!program::start_replays(options, replays::Recorder::desktop, error, warning)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (!warning.empty()) std::fprintf(stderr, "zorvalen: %s\n", warning.c_str());
    char command_line[1] = {0};
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    replays::end_session();
    return status;
}
