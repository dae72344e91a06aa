// Windows only, linked into the exe alone: the game recorded into %APPDATA%\Zorvalen\replays, or
// the replay named by --replay FILE watched in its place (replays/replay_session.h), set up before
// WinMain; the device reads reach the session through the DirectInput wrapper (input_devices.cpp).
//
// Watching, the keys are the Linux build's (replays/replay_player.h). A frame the replay hides is
// neither drawn nor presented (screen_scaling.cpp) nor waited for: the game's own limiter is
// linked with --wrap so that it is skipped for such a frame, and fast play holds its speed.
// The overlay is laid over the picture by the same device (overlay_surfaces.h).
//
// A game recorded goes to the board at exit when the settings' [board] section asks for it.
#ifdef _WIN32

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include "board_client/after_game.h"
#endif
#include "program/command_line.h"
#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "settings/settings.h"
#include "exe_options.h"

namespace {

constexpr char GAME_WINDOW_CLASS[] = "Zorvalen";

// At exit, ahead of the session's own end (registered before it): the recording is finished here
// so that the file sent is whole. The game is over by then; its window goes first, so the player
// never sees it wait on the board.
void submit_at_exit() {
    const replays::ReplayRecorder* recorder = replays::active_recorder();
    const std::string recorded = recorder != nullptr && recorder->recording() ? recorder->path() : std::string();
    replays::end_session();
    const settings::BoardSettings& board = settings::read_settings_in_force().board;
#ifdef ZORVALEN_HAVE_BOARD_CLIENT
    if (HWND window = FindWindowA(GAME_WINDOW_CLASS, nullptr); window != nullptr) ShowWindow(window, SW_HIDE);
    board_client::BackgroundSubmit submit;
    board_client::submit_after_game(board, recorded, submit);
#else
    (void)recorded;
    if (board.submit != settings::BoardSubmit::never)
        std::fprintf(stderr, "zorvalen: this build cannot submit to a board (it was built without nlohmann-json)\n");
#endif
}

// Watching: where the replay was left, as the overlay said it, so that it can be found again.
void say_where_left() {
    const std::string status = replays::playback_status();
    if (!status.empty()) std::fprintf(stderr, "zorvalen: replay left at: %s\n", status.c_str());
}

const bool started = [] {
    // The probe's own start-up may come after this one: installed here, in time.
    replays::install_game_probe();
    const program::ProgramOptions& options = windows_exe::options();
    std::string error, warning;
    if (!program::start_replays(options, replays::Recorder::windows, error, warning)) {
        MessageBoxA(nullptr, error.c_str(), "Zorvalen", MB_OK | MB_ICONERROR);
        std::exit(2);
    }
    if (options.replay.empty()) std::atexit(submit_at_exit);
    else std::atexit(say_where_left);
    return true;
}();

}  // namespace

// The game's frame limiter (its frame boundary calls both around each Present). A frame a replay
// hides is not presented, so it is neither waited for nor counted: the frames shown keep 60 a
// second, and each carries as many of the game's frames as the speed asks.
extern "C" void __real__Z23wait_for_frame_deadlinev();
extern "C" void __real__Z15frame_presentedv();
extern "C" void __wrap__Z23wait_for_frame_deadlinev() {
    if (!replays::frame_hidden()) __real__Z23wait_for_frame_deadlinev();
}
extern "C" void __wrap__Z15frame_presentedv() {
    if (!replays::frame_hidden()) __real__Z15frame_presentedv();
}

#endif
