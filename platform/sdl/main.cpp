// The Linux entry point: the game's own entry is WinMain, as on Windows. The command line and
// the settings file are the program's, read here and put in force for the layer; the game is
// given none. The game is recorded, or a replay watched in its place (replays/replay_session.h),
// around WinMain.
#include <windows.h>

#include <cstdio>

#include "program/command_line.h"
#include "replays/replay_session.h"
#include "program/settings_file.h"

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
    replays::end_session();
    report.clear();
    program::finish_settings(report);
    std::fputs(report.c_str(), stderr);
    return status;
}
