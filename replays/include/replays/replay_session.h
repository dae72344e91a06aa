// The replays of one run of the program: the game it plays is recorded, or a replay is watched
// (or verified) in its place. Started before the game; every device read then passes through
// the stage set here (device_reads.h), and the layer asks, frame by frame, what to draw and show.
// The layer, the Windows exe's modules and the tools all drive the same session.
#pragma once

#include <cstdint>
#include <string>

#include "replays/replay_file.h"
#include "replays/replay_player.h"
#include "replays/replay_recorder.h"

namespace replays {

// Recording is on unless turned off here (--no-record, or the settings), before it starts.
void set_recording_enabled(bool on);
bool recording_enabled();

// Records the game about to start into `folder` (default_replay_folder() when empty), or into
// the file `path` when one is given. A folder or file that cannot be had is said on one line of
// stderr, and the game plays unrecorded.
void start_recording(const std::string& folder, const std::string& path, Recorder recorder);

// Plays the replay in `path` in place of the player's input. False, with one line naming what is
// wrong in `message`, for a replay that cannot be played; `warning` is set for one played with
// another asset pack than the one in the working folder.
bool start_playing(const std::string& path, ReplayPlayer::Use use, std::string& message, std::string& warning);

// The game has stopped: the recording gets its trailer (and the folder its pruning). Nothing is
// taken or written after this. Also run at exit, for a program that ends without calling it.
void end_session();

// The game's files changed since the recording began (the page's late ones have landed): the
// recording's asset digest is made again.
void refresh_recorded_assets();

// For the tools: what is being recorded or played.
const ReplayRecorder* active_recorder();
const ReplayPlayer* active_player();

// ---- The layer's side, each frame --------------------------------------------------------------

// The frame being made is to be neither drawn nor shown (nor paced); its sounds stay silent.
bool frame_hidden();
bool effects_muted();
// Playback holds on one frame: the sound holds too. Safe to ask from the sound's own thread.
bool sound_held();

struct OverlayPicture {
    const std::uint32_t* pixels;  // 0xAARRGGBB rows, alpha not premultiplied
    int width, height;
    int left, top;  // where it goes in the game's picture
    std::uint64_t version;
};
// What to lay over the frame being shown; false for nothing.
bool playback_overlay(OverlayPicture& picture);

// Called at each Present of the game's, once the frame is made (and shown, unless hidden). Where
// nothing calls it (the Windows exe), the next frame's first read does its work.
void frame_presented();

// A display that cannot leave frames unseen: no fast play, no jumping forward.
void set_frames_can_be_hidden(bool can);

// The overlay's first line as text (the exe says it at exit, where the replay was left).
std::string playback_status();

}  // namespace replays
