// Windows only, linked into the exe alone: the game recorded into %APPDATA%\Zorvalen\replays, or
// the replay named by --replay FILE watched in its place (replays/replay_session.h), set up before
// WinMain; the device reads reach the session through the DirectInput wrapper (input_devices.cpp).
//
// The real Direct3D draws and paces every frame the game makes, so here a replay plays at its
// own speed only (pause, from the start, back to the last ten-second mark, quit), and what the
// overlay would say goes into the window's title.
#ifdef _WIN32

#include <windows.h>

#include <cstdlib>
#include <string>

#include "program/command_line.h"
#include "replays/game_probe.h"
#include "replays/replay_session.h"
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
    return true;
}();

}  // namespace

#endif
