// Windows only, linked into the exe alone: the game recorded into %APPDATA%\Zorvalen\replays, or
// the replay named by --replay FILE watched in its place (replays/replay_session.h), set up before
// WinMain; the device reads reach the session through the DirectInput wrapper (input_devices.cpp).
//
// The real Direct3D draws and paces every frame the game makes, so here a replay plays at its
// own speed only (pause, from the start, back to the last ten-second mark, quit), and what the
// overlay would say goes into the window's title.
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
constexpr UINT TITLE_MS = 250;

// A thread timer, dispatched by the game's own message pump.
void CALLBACK show_status(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = FindWindowA(GAME_WINDOW_CLASS, nullptr);
    if (window == nullptr) return;
    const std::string title = "Zorvalen replay: " + replays::playback_status();
    char shown[256] = {};
    GetWindowTextA(window, shown, sizeof shown);
    if (title != shown) SetWindowTextA(window, title.c_str());
}

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

const bool started = [] {
    // The probe's own start-up may come after this one: installed here, in time.
    replays::install_game_probe();
    replays::set_frames_can_be_hidden(false);
    const program::ProgramOptions& options = windows_exe::options();
    std::string error, warning;
    if (!program::start_replays(options, replays::Recorder::windows, error, warning)) {
        MessageBoxA(nullptr, error.c_str(), "Zorvalen", MB_OK | MB_ICONERROR);
        std::exit(2);
    }
    if (!options.replay.empty()) SetTimer(nullptr, 0, TITLE_MS, show_status);
    else std::atexit(submit_at_exit);
    return true;
}();

}  // namespace

#endif
