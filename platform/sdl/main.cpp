// The Linux entry point: the game's own entry is WinMain, as on Windows. The command line is
// the program's, read here; the game is given none.
#include <windows.h>

#include <cstdio>

#include "common/command_line.h"

int main(int argc, char** argv) {
    program::ProgramOptions options;
    const program::CommandLineOutcome outcome = program::read_command_line(argc, argv, options);
    if (!outcome.start_game) {
        std::fputs(outcome.message.c_str(), outcome.status == 0 ? stdout : stderr);
        return outcome.status;
    }
    char command_line[1] = {0};
    return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
}
