// The Linux entry point: the game's own entry is WinMain, as on Windows. The command line and
// the settings file are the program's, read here and put in force for the layer; the game is
// given none. The game is recorded, or a replay watched in its place (replays/replay_session.h),
// around WinMain.
#include <windows.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include "board_client/after_game.h"
#endif
#include "program/command_line.h"
#include "program/game_files.h"
#include "replays/replay_session.h"
#include "program/settings_file.h"
#include "settings/settings.h"

namespace {

// Where the packages put the game's files, relative to the binary (set by the install rules).
#ifdef ZORVALEN_BINARY_TO_DATADIR
constexpr const char* installed_data = ZORVALEN_BINARY_TO_DATADIR;
#else
constexpr const char* installed_data = "";
#endif

// The game loads its files from the working folder: go where they are, or say why not.
bool go_to_game_files() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path working = fs::current_path(error);
    const fs::path binary = fs::read_symlink("/proc/self/exe", error);
    const program::GameFilesLookup lookup = program::find_game_files(
        working.string(), error ? std::string() : binary.parent_path().string(), installed_data);
    if (lookup.folder.empty()) {
        std::fprintf(stderr, "zorvalen: %s\n", program::describe_missing_game_files(lookup).c_str());
        return false;
    }
    if (fs::path(lookup.folder) == working) return true;
    // Files the player names on the command line stay relative to where the game was started.
    setenv("ZORVALEN_START_DIR", working.c_str(), 0);
    if (chdir(lookup.folder.c_str()) != 0) {
        std::fprintf(stderr, "zorvalen: cannot go to the game's files in %s\n", lookup.folder.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    program::ProgramOptions options;
    const program::CommandLineOutcome outcome = program::read_command_line(argc, argv, options);
    if (!outcome.start_game) {
        std::fputs(outcome.message.c_str(), outcome.status == 0 ? stdout : stderr);
        return outcome.status;
    }
    if (!go_to_game_files()) return 1;
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
