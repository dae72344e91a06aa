// The page's entry point (the browser build's program, over platform/web). The game's own entry
// is WinMain, as on Windows. The test page passes arguments:
//   replay options...         plays a script exactly as zorvalen-replay does, unpaced and
//                             undrawn, writing to the console;
//   --play SCRIPT [--state]   runs the game's own loop, paced and drawn, with the script's
//                             input in place of the player's (and each frame's state line),
//                             recorded to a replay in the page's memory, finished as the
//                             script ends;
//   --state                   runs the game for the player (keys, mouse, touch, pads), writing
//                             each frame's state line and, as a script line, the input the
//                             devices gave it, so that the replay runner can play it again;
//   --replay FILE [--state]   watches a replay on the game's own loop, with the player's keys
//                             working the playback (and, with --state, each frame's state line
//                             until the replay's end).
// Without arguments it is the game. A player's game (with or without --state) is recorded in
// the page's memory (/replays): the page offers the replay for download (page/replays.js).
#include <windows.h>

#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <headless.h>

#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "settings/settings.h"
#include "json_lines.h"
#include "replay_input.h"
#include "runner.h"
#include "script.h"

namespace {

struct ScriptedPlay {
    replay::Script script;
    replay::FrameInput held;  // what the devices have been told is down
    int64_t fed = 0;          // frames whose input has been handed over
    int64_t presented = 0;
    int64_t frames = 0;       // the script's or the replay's
    bool write_state = false;
    std::string line;
};
ScriptedPlay play;

void report_done(int status) {
    static bool reported = false;
    if (reported) return;
    reported = true;
    EM_ASM({ if (Module.replayFinished) Module.replayFinished($0); }, status);
}

// Tells the devices what changed since the last frame, as a player's key and button events would.
void feed(const replay::FrameInput& next) {
    for (int code = 1; code < 256; ++code)
        if ((next.keys[code] != 0) != (play.held.keys[code] != 0))
            headless::feed_key(static_cast<uint8_t>(code), next.keys[code] != 0);
    if (next.left != play.held.left) headless::feed_mouse_button(0, next.left);
    if (next.right != play.held.right) headless::feed_mouse_button(1, next.right);
    if (next.dx != 0 || next.dy != 0) headless::feed_mouse_motion(next.dx, next.dy);
    play.held = next;
}

void before_frame() {
    feed(play.script.input_at(play.fed));
    ++play.fed;
}

void after_frame() {
    const int64_t frame = play.presented++;
    if (play.write_state) {
        play.line.clear();
        replay::append_state_line(play.line, frame);
        if (!play.line.empty() && play.line.back() == '\n') play.line.pop_back();
        std::puts(play.line.c_str());
    }
    if (play.presented == play.frames) {
        // The recording of a scripted play ends with its script.
        replays::end_session();
        report_done(0);
    }
}

void write_player_frame() {
    const int64_t frame = play.presented++;
    const headless::DeviceReads reads = headless::take_device_reads();
    replay::FrameInput input;
    for (int code = 0; code < 256; ++code) input.keys[code] = reads.keys[code];
    input.dx = reads.dx;
    input.dy = reads.dy;
    input.left = reads.left;
    input.right = reads.right;
    play.line = "zorvalen-input ";
    replay::append_script_line(play.line, input);
    std::puts(play.line.c_str());
    play.line.clear();
    replay::append_state_line(play.line, frame);
    if (!play.line.empty() && play.line.back() == '\n') play.line.pop_back();
    std::puts(play.line.c_str());
}

int play_for_player() {
    headless::set_frame_hooks({[] {}, write_player_frame});
    replays::start_recording("", "", replays::Recorder::page);
    char command_line[1] = {0};
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    replays::end_session();
    EM_ASM({ if (Module.gameEnded) Module.gameEnded($0); }, status);
    report_done(status);
    return status;
}

int play_script(int argc, char** argv) {
    std::string error;
    if (!replay::load_run_input(argv[2], play.script, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        report_done(2);
        return 2;
    }
    play.write_state = argc > 3 && std::strcmp(argv[3], "--state") == 0;
    play.frames = play.script.frame_count();
    headless::set_frame_hooks({before_frame, after_frame});
    replays::start_recording("", "", replays::Recorder::page);
    char command_line[1] = {0};
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    report_done(status);  // Escape or a failure before the script's end
    return status;
}

void watched_frame() {}

// Watching: the replay answers the game's reads; the test page may ask for the state lines.
bool start_watching(int argc, char** argv) {
    std::string message, warning;
    if (!replays::start_playing(argv[2], replays::ReplayPlayer::Use::watch, message, warning)) {
        std::fprintf(stderr, "zorvalen: %s\n", message.c_str());
        report_done(2);
        return false;
    }
    if (!warning.empty()) std::fprintf(stderr, "zorvalen: %s\n", warning.c_str());
    play.write_state = argc > 3 && std::strcmp(argv[3], "--state") == 0;
    play.frames = replays::active_player()->index().frames;
    if (play.write_state) headless::set_frame_hooks({watched_frame, after_frame});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    replays::install_game_probe();
    char command_line[1] = {0};
    if (argc > 2 && std::strcmp(argv[1], "--play") == 0) return play_script(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--state") == 0) return play_for_player();
    if (argc > 2 && std::strcmp(argv[1], "--replay") == 0) {
        if (!start_watching(argc, argv)) return 2;
        const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
        replays::end_session();
        EM_ASM({ if (Module.gameEnded) Module.gameEnded($0); }, status);
        return status;
    }
    if (argc > 1) {
        // The packaged assets sit at the root of the page's file system.
        const int status = replay::run_command_line(argc, argv, "/");
        report_done(status);
        return status;
    }
    // The settings panel's stored text is in force by now (page/settings.js, before main).
    if (!settings::read_settings_in_force().replays.record) replays::set_recording_enabled(false);
    replays::start_recording("", "", replays::Recorder::page);
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    replays::end_session();
    EM_ASM({ if (Module.gameEnded) Module.gameEnded($0); }, status);
    return status;
}
