// zorvalen-replay --video OUT: a run rendered to a video file with its sound, faster than the game
// plays it. The pictures are the compositor's (what --shot gives); the sound is the layer's mixer run
// offline, one picture's worth of samples after each frame, so a sound started on frame N starts at
// N/60 s in the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "replay_input.h"
#include "script.h"
#include "video_encoder.h"

namespace replay {

// A video is made from a script or a replay: load_run_input (replay_input.h).

// A time on the command line, as seconds ("75", "75.5") or minutes and seconds ("1:15", "1:15.5"),
// to the frame that starts then (rounded to the nearest). False for anything else.
bool parse_time(std::string_view text, int frame_rate, int64_t& frame);

// True when the command line asks for a video (--video OUT).
bool wants_video(int argc, const char* const argv[]);

// zorvalen-replay --video OUT [--scale 1|2] [--from TIME] [--to TIME] [--lossless] [--codecs h264|vp9]
//                 [--assets DIR] SCRIPT
// Exit status: 0 written; 1 the game could not start, or the file could not be written whole (what
// it holds is said); 2 a bad option, script or OUT, or a missing encoder (before any frame is drawn);
// 128 + the signal when interrupted by SIGINT, SIGTERM or SIGHUP (the file ends where it stopped).
int run_video_command_line(int argc, const char* const argv[], const std::string& default_asset_dir,
                           const EncoderLookup& has_encoder = ffmpeg_has_encoder);

}  // namespace replay
